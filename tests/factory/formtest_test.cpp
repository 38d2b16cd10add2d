// The factory test window against the in-process radio or the fake port. The window's clock is
// the test's: each poll moves the clock, the radio and the fake on together and then runs the
// window's ExchangeTimer handler, so every exchange sees the same bytes at the same times.

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/mainwindow.h"
#include "app/windows.h"
#include "factory/formtest.h"
#include "tests/support/windowfixture.h"

namespace {

const QColor Red(255, 0, 0);
const QColor HotLight(0x00, 0x66, 0xCC);

// Registers 0 to 32 of the simulated radio, which holds 7 * n + 3 in register n.
const QString RadioDump = QStringLiteral(
    "03 0A 11 18 1F 26 2D 34 3B 42 49 50 57 5E 65 6C 73 7A 81 88 8F 96 9D A4 AB B2 B9 C0 C7 CE "
    "D5 DC E3 ");

// A valid read-register reply carrying `value`.
QByteArray RegisterReply(uint8_t value) {
    QByteArray reply = QByteArray::fromHex("55AA0399");
    reply.append(char(value));
    const int sum = 0x03 + 0x99 + value;
    reply.append(char(sum >> 8)).append(char(sum & 0xFF));
    return reply;
}

// The fake answers each read-register request from `reply` (register number in, reply out).
FakeSerialDevice::Script RegisterScript(std::function<QByteArray(int reg)> reply) {
    return [reply](const QByteArray& written) {
        return FakeSerialDevice::Answer{reply(uint8_t(written.at(4)))};
    };
}

}  // namespace

class FormTestTest : public QObject {
    Q_OBJECT

    WindowFixture fx;
    int64_t nowMs_ = 0;           // the window's clock
    int64_t startedMs_ = 0;       // when the last exchange began
    QList<QByteArray> framesIn_;  // command frames the radio took in

    void useRadio(RadioParameters parameters = {}, RadioFaults faults = {}, uint8_t baudIndex = 4,
                  uint8_t parityIndex = 0) {
        fx.useRadio(parameters, faults);
        fx.radio->setFrameLog([this](bool incoming, const std::vector<uint8_t>& frame) {
            if (incoming)
                framesIn_ << QByteArray(reinterpret_cast<const char*>(frame.data()),
                                        qsizetype(frame.size()));
        });
        fx.openPort(baudIndex, parityIndex);
    }

    // A fake that answers each request from the script; without one it stays silent.
    void useFake(FakeSerialDevice::Script script = {}, uint8_t baudIndex = 4) {
        fx.useFake(std::move(script));
        fx.openPort(baudIndex);
    }

    QPushButton* button(const char* name) {
        auto* found = FormTest->findChild<QPushButton*>(QString::fromLatin1(name));
        if (!found) qFatal("no button %s", name);
        return found;
    }

    QList<QPushButton*> exchangeButtons() {
        QList<QPushButton*> all;
        for (const char* name : {"Button1", "Button5", "Button6", "Button7", "Button8", "Button9",
                                 "Button3", "Button4", "Button2"}) {
            all << button(name);
        }
        return all;
    }

    bool running() const { return FormTest->ExchangeTimer->isActive(); }

    int pollMs() const { return FormTest->ExchangeTimer->interval(); }

    int timeOutMs() const { return ReplyTimeoutMs(Link().WaitFactor); }

    void click(QPushButton* which) {
        startedMs_ = nowMs_;
        which->click();
    }

    // `ms` pass on the clock, the radio and the fake; then the window polls.
    void poll(int ms) {
        nowMs_ += ms;
        if (fx.radio) fx.radio->advance(std::chrono::milliseconds(ms));
        if (fx.fake) fx.fake->deliver();
        FormTest->ExchangeTimerTimer();
    }

    // Polls at the window's rate while the exchange runs, the last poll at `sinceStart` ms
    // after it began.
    void pollUntil(int64_t sinceStart) {
        while (running() && nowMs_ < startedMs_ + sinceStart) {
            poll(int(std::min<int64_t>(pollMs(), startedMs_ + sinceStart - nowMs_)));
        }
    }

    // Polls at the window's rate until the exchange is over, and shows its messages.
    void finish() {
        pollUntil(60'000);
        Settle();
    }

    // Clicks and runs the exchange to its end.
    void exchange(QPushButton* which) {
        click(which);
        finish();
        QVERIFY(!running());
    }

    QColor replyColour() const { return FormTest->EditDis->palette().color(QPalette::Text); }

  private slots:
    void initTestCase() {
        fx.createWindows();
        FormTest->setClock([this] { return nowMs_; });
    }

    void init() {
        LanguageFlag = 1;
        FormTest->CancelExchange();
        fx.messages.clear();
        framesIn_.clear();
        Form1->Timer_RecData->stop();
        FormTest->Edit1->setText(QStringLiteral("Edit1"));
        FormTest->Edit6->setText(QStringLiteral("Edit6"));
        FormTest->Edit2->setText(QStringLiteral("00"));
        FormTest->Edit3->setText(QStringLiteral("00"));
        FormTest->Edit4->setText(QStringLiteral("00"));
        FormTest->ComboBox1->setCurrentIndex(0);
    }

    void fixedTextsAndHiddenGroups() {
        // The window's texts do not follow the language.
        const QList<QPair<const char*, QString>> texts{
            {"Button1", "发射测试"}, {"Button6", "灵敏度频率"}, {"Button5", "结束测试"},
            {"Button7", "读场强"},   {"Button8", "功率设置"},   {"Button9", "功率读取"},
            {"Button3", "ReadOne"},  {"Button4", "WriteOne"},   {"Button2", "ReadAll"},
        };
        for (const auto& [name, text] : texts) QCOMPARE(button(name)->text(), text);
        QCOMPARE(FormTest->windowTitle(), QStringLiteral("测试"));
        QCOMPARE(FormTest->GroupBox3->title(), QStringLiteral("生产测试"));
        QCOMPARE(FormTest->GroupBox1->title(), QStringLiteral("寄存器操作"));
        QCOMPARE(FormTest->GroupBox2->title(), QStringLiteral("读所有寄存器"));
        QVERIFY(FormTest->GroupBox1->isHidden());
        QVERIFY(FormTest->GroupBox2->isHidden());
        QVERIFY(!FormTest->GroupBox3->isHidden());
        QCOMPARE(FormTest->ComboBox1->count(), 8);
        QCOMPARE(FormTest->ComboBox1->itemText(0), QStringLiteral("1级"));
        QCOMPARE(FormTest->ComboBox1->itemText(7), QStringLiteral("8级"));
        QCOMPARE(FormTest->Edit5->text(), QStringLiteral("Edit5"));
        QCOMPARE(FormTest->Memo1->toPlainText(), QStringLiteral("Memo1"));
    }

    void openingStopsTheReceiveDisplayAndClosingRestartsIt() {
        Form1->startReceivePoll();
        Form1->show();
        Form1->Test_MClick();
        QVERIFY(FormTest->isVisible());
        QVERIFY(!Form1->Timer_RecData->isActive());
        QCOMPARE(FormTest->frameGeometry().center(), Form1->frameGeometry().center());
        QVERIFY(FormTest->close());
        QVERIFY(!FormTest->isVisible());
        QVERIFY(Form1->Timer_RecData->isActive());
        // Closing restarts it whatever the port state; a closed port has stopped it.
        Link().ClosePort();
        Form1->stopReceivePoll();
        Form1->Test_MClick();
        QVERIFY(FormTest->close());
        QVERIFY(Form1->Timer_RecData->isActive());
        Form1->hide();
    }

    void everyButtonSendsItsFrame_data() {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QString>("reg");    // Edit2, or Edit3 for WriteOne
        QTest::addColumn<QString>("value");  // Edit4
        QTest::addColumn<QString>("level");  // ComboBox1's text
        QTest::addColumn<QByteArray>("frame");
        const auto row = [](const char* name, const char* button, const char* reg,
                            const char* value, const char* level, const char* frame) {
            QTest::newRow(name) << QByteArray(button) << QString::fromUtf8(reg)
                                << QString::fromUtf8(value) << QString::fromUtf8(level)
                                << QByteArray::fromHex(frame);
        };
        row("transmit test", "Button1", "", "", "1级", "55AA030D000010");
        row("end test", "Button5", "", "", "1级", "55AA030E000011");
        row("sensitivity", "Button6", "", "", "1级", "55AA030C00000F");
        row("field strength", "Button7", "", "", "1级", "55AA0311000014");
        row("power 1", "Button8", "", "", "1级", "55AA0312010016");
        row("power 3", "Button8", "", "", "3级", "55AA0312030018");
        row("power 8", "Button8", "", "", "8级", "55AA031208001D");
        row("power typed, no item", "Button8", "", "", "9级", "55AA0312000015");
        row("power read", "Button9", "", "", "1级", "55AA0313000016");
        row("read 05", "Button3", "05", "", "1级", "55AA03990500A1");
        row("read 1a2", "Button3", "1a2", "", "1级", "55AA0399A2013E");
        row("write 05 80", "Button4", "05", "80", "1级", "55AA048805800111");
        row("write 3F ff", "Button4", "3F", "ff", "1级", "55AA04883FFF01CA");
    }
    void everyButtonSendsItsFrame() {
        QFETCH(QByteArray, button);
        QFETCH(QString, reg);
        QFETCH(QString, value);
        QFETCH(QString, level);
        QFETCH(QByteArray, frame);
        useRadio();
        if (button == "Button4") {
            FormTest->Edit3->setText(reg);
            FormTest->Edit4->setText(value);
        } else {
            FormTest->Edit2->setText(reg);
        }
        FormTest->ComboBox1->setCurrentText(level);
        exchange(this->button(button.constData()));
        QCOMPARE(framesIn_.size(), 1);
        QCOMPARE(framesIn_.first().toHex(' '), frame.toHex(' '));
        QCOMPARE(Link().BytesToWrite, uint32_t(frame.size()));
        QVERIFY(fx.messages.texts().isEmpty());
        // The radio answered, and the exchange ended with its reply.
        QVERIFY(FormTest->EditDis->text().startsWith(QStringLiteral("55 AA ")));
        QVERIFY(nowMs_ - startedMs_ < timeOutMs() / 10);
    }

    // The field strength as minus three digits, the power level as one character.
    void readingsAreShown_data() {
        QTest::addColumn<bool>("power");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("shown");
        QTest::newRow("strength 7") << false << 7 << "-007";
        QTest::newRow("strength 85") << false << 85 << "-085";
        QTest::newRow("strength 120") << false << 120 << "-120";
        QTest::newRow("strength 0") << false << 0 << "-000";
        QTest::newRow("strength 255") << false << 255 << "-255";
        QTest::newRow("power 3") << true << 3 << "3";
        QTest::newRow("power 0") << true << 0 << "0";
        QTest::newRow("power 9") << true << 9 << "9";
        QTest::newRow("power 17") << true << 17 << "A";
        QTest::newRow("power 208 gives no character") << true << 208 << "";
    }
    void readingsAreShown() {
        QFETCH(bool, power);
        QFETCH(int, value);
        QFETCH(QString, shown);
        RadioParameters parameters;
        (power ? parameters.powerLevel : parameters.fieldStrength) = uint8_t(value);
        useRadio(parameters);
        exchange(power ? FormTest->Button9 : FormTest->Button7);
        QCOMPARE((power ? FormTest->Edit6 : FormTest->Edit1)->text(), shown);
    }

    void powerAboveTenIsRefused() {
        useRadio();
        for (int level = 9; level <= 11; ++level) {
            FormTest->ComboBox1->addItem(QStringLiteral("%1级").arg(level));
        }
        FormTest->ComboBox1->setCurrentIndex(9);  // level 10 is still allowed
        exchange(FormTest->Button8);
        QCOMPARE(framesIn_.size(), 1);
        QCOMPARE(framesIn_.first().toHex(' '), QByteArray::fromHex("55AA03120A001F").toHex(' '));
        FormTest->ComboBox1->setCurrentIndex(10);
        click(FormTest->Button8);
        QVERIFY(!running());
        finish();
        while (FormTest->ComboBox1->count() > 8) FormTest->ComboBox1->removeItem(8);
        QCOMPARE(framesIn_.size(), 1);
        QCOMPARE(fx.messages.texts(), QStringList{QStringLiteral("功率不能大于10mW")});
        QCOMPARE(fx.messages.shown.first().kind, MessageKind::Plain);
    }

    void identicalRepliesAlternateTheColour() {
        useRadio();
        exchange(FormTest->Button1);
        const QString text = FormTest->EditDis->text();
        const QColor first = replyColour();
        QVERIFY(first == Red || first == HotLight);
        exchange(FormTest->Button1);
        QCOMPARE(FormTest->EditDis->text(), text);
        QCOMPARE(replyColour(), first == Red ? HotLight : Red);
        exchange(FormTest->Button1);
        QCOMPARE(replyColour(), first);

        // No reply leaves the colour as it was.
        fx.radio->setFaults({.silent = true});
        exchange(FormTest->Button1);
        QCOMPARE(replyColour(), first);
    }

    void silentRadioGivesNoRespond_data() {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("text");
        for (const char* name : {"Button1", "Button5", "Button6", "Button7", "Button8", "Button9",
                                 "Button3", "Button4"}) {
            QTest::newRow(name) << QByteArray(name) << 1 << "No respond";
        }
        QTest::newRow("Button7 Chinese") << QByteArray("Button7") << 0 << "无响应";
    }
    void silentRadioGivesNoRespond() {
        QFETCH(QByteArray, button);
        QFETCH(int, language);
        QFETCH(QString, text);
        useRadio({}, {.silent = true});
        FormTest->EditDis->setText(QStringLiteral("55 AA "));
        LanguageFlag = uint8_t(language);
        exchange(this->button(button.constData()));
        QCOMPARE(fx.messages.texts(), QStringList{text});
        QCOMPARE(fx.messages.shown.first().kind, MessageKind::Plain);
        QCOMPARE(fx.messages.shown.first().caption, ApplicationTitle());
        QCOMPARE(FormTest->EditDis->text(), QStringLiteral(" "));
        // Nothing arrived, so the readings stay.
        QCOMPARE(FormTest->Edit1->text(), QStringLiteral("Edit1"));
        QCOMPARE(FormTest->Edit6->text(), QStringLiteral("Edit6"));
    }

    // The silence lasts the rate's time-out to the millisecond: WaitFactor x 50 ms.
    void silenceEndsExactlyAtTheTimeOut_data() {
        QTest::addColumn<int>("baudIndex");
        QTest::addColumn<int>("timeOut");
        QTest::newRow("600, factor 12") << 0 << 600;
        QTest::newRow("4800, factor 9") << 3 << 450;
        QTest::newRow("9600, factor 10") << 4 << 500;
        QTest::newRow("115200, factor 10") << 8 << 500;
    }
    void silenceEndsExactlyAtTheTimeOut() {
        QFETCH(int, baudIndex);
        QFETCH(int, timeOut);
        useFake({}, uint8_t(baudIndex));
        click(FormTest->Button7);
        pollUntil(timeOut - 1);
        QVERIFY(running());
        QVERIFY(fx.messages.texts().isEmpty());
        poll(1);
        QVERIFY(!running());
        QCOMPARE(fx.messages.texts(), QStringList{QStringLiteral("No respond")});
        QCOMPARE(fx.fake->writes.size(), 1);
    }

    void exchangeEndsOnTheCompleteFrame() {
        useFake();
        const QByteArray reply = QByteArray::fromHex("55AA0311550069");
        click(FormTest->Button7);
        poll(pollMs());
        fx.fake->feed(reply.left(6));
        poll(pollMs());
        QVERIFY(running());
        fx.fake->feed(reply.mid(6));
        poll(pollMs());
        QVERIFY(!running());
        QCOMPARE(nowMs_ - startedMs_, 3 * pollMs());
        QCOMPARE(FormTest->EditDis->text(), QStringLiteral("55 AA 03 11 55 00 69 "));
        QCOMPARE(FormTest->Edit1->text(), QStringLiteral("-085"));
        QVERIFY(fx.messages.texts().isEmpty());
    }

    // A reply the length byte does not complete is taken as it stands at the time-out; one
    // that overflows ends the exchange at once and is dropped unseen.
    void replySizeLimits_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("atTimeOut");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("strength");
        const QByteArray twenty = QByteArray::fromHex("55AA031100000102030405060708090A0B0C0D0E");
        QTest::newRow("20 bytes, a frame first")
            << twenty << false << "55 AA 03 11 00 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E "
            << "-000";
        QTest::newRow("21 bytes are dropped") << twenty + char(0x0F) << false << " "
                                              << "Edit1";
        QTest::newRow("one byte") << QByteArray::fromHex("12") << true << "12 "
                                  << "Edit1";
        QTest::newRow("no header") << QByteArray::fromHex("123456789A") << true << "12 34 56 78 9A "
                                   << "-154";
        QTest::newRow("20 bytes, no header")
            << twenty.mid(1) + char(0x0F) << true
            << "AA 03 11 00 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F "
            << "-000";
        QTest::newRow("frame cut short")
            << QByteArray::fromHex("55AA0311") << true << "55 AA 03 11 "
            << "Edit1";
    }
    void replySizeLimits() {
        QFETCH(QByteArray, reply);
        QFETCH(bool, atTimeOut);
        QFETCH(QString, shown);
        QFETCH(QString, strength);
        useFake([reply](const QByteArray&) { return FakeSerialDevice::Answer{reply}; });
        click(FormTest->Button7);
        if (atTimeOut) {
            pollUntil(timeOutMs() - 1);
            QVERIFY(running());
            QCOMPARE(FormTest->EditDis->text(), QStringLiteral(" "));
            poll(1);
        } else {
            poll(pollMs());
        }
        QVERIFY(!running());
        QVERIFY(fx.messages.texts().isEmpty());
        QCOMPARE(FormTest->EditDis->text(), shown);
        QCOMPARE(FormTest->Edit1->text(), strength);
    }

    // However an exchange ends, the buttons come back; the port's loss has its own message.
    void exchangeEndings_data() {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QString>("device");  // radio, silent radio or fake
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QStringList>("messages");
        const QStringList none;
        const QStringList lost{QStringLiteral("Port disconnected!")};
        QTest::newRow("reply") << QByteArray("Button7") << "radio"
                               << "run" << none;
        QTest::newRow("time-out") << QByteArray("Button7") << "silent radio"
                                  << "run" << QStringList{QStringLiteral("No respond")};
        QTest::newRow("dump") << QByteArray("Button2") << "radio"
                              << "run" << QStringList{QStringLiteral("Read End")};
        QTest::newRow("radio vanishes") << QByteArray("Button7") << "radio"
                                        << "vanish" << lost;
        QTest::newRow("radio vanishes in the dump") << QByteArray("Button2") << "radio"
                                                    << "vanish" << lost;
        QTest::newRow("fake vanishes") << QByteArray("Button9") << "fake"
                                       << "vanish" << lost;
        QTest::newRow("port closed from the main window") << QByteArray("Button1") << "radio"
                                                          << "close button" << none;
        QTest::newRow("port closed under the exchange") << QByteArray("Button2") << "radio"
                                                        << "close link" << none;
        QTest::newRow("window closed") << QByteArray("Button7") << "silent radio"
                                       << "close window" << none;
    }
    void exchangeEndings() {
        QFETCH(QByteArray, button);
        QFETCH(QString, device);
        QFETCH(QString, ending);
        QFETCH(QStringList, messages);
        if (device == "fake") {
            useFake();
        } else {
            useRadio({}, {.silent = device == "silent radio"});
        }
        FormTest->show();
        FormTest->EditDis->setText(QStringLiteral("55 AA "));
        FormTest->Memo1->setPlainText(QStringLiteral("Memo1"));
        click(this->button(button.constData()));
        QVERIFY(running());
        for (QPushButton* each : exchangeButtons())
            QVERIFY2(!each->isEnabled(), each->objectName().toLatin1());
        poll(pollMs());
        QVERIFY(running());

        if (ending == "vanish") {
            if (fx.radio) {
                fx.radio->vanish();
            } else {
                fx.fake->vanish();
                fx.fake = nullptr;  // deleted once control is back in an event loop
            }
        } else if (ending == "close button") {
            Form1->Speed_CClick();
        } else if (ending == "close link") {
            Link().ClosePort();
        } else if (ending == "close window") {
            QVERIFY(FormTest->close());
        }
        finish();
        FormTest->hide();
        Form1->Timer_RecData->stop();

        QVERIFY(!running());
        for (QPushButton* each : exchangeButtons())
            QVERIFY2(each->isEnabled(), each->objectName().toLatin1());
        QCOMPARE(fx.messages.texts(), messages);
        // Cut short, an exchange shows nothing beyond what its start cleared.
        if (ending != "run") {
            const bool dump = button == "Button2";
            QCOMPARE(FormTest->EditDis->text(),
                     dump ? QStringLiteral("55 AA ") : QStringLiteral(" "));
            QCOMPARE(FormTest->Memo1->toPlainText(),
                     dump ? QStringLiteral(" ") : QStringLiteral("Memo1"));
        }
    }

    // Each register waits for its reply up to the time-out, however long the radio takes
    // to turn round.
    void dumpReachesReadEnd_data() {
        QTest::addColumn<int>("baudIndex");
        QTest::addColumn<int>("parityIndex");
        QTest::addColumn<int>("replyDelay");
        QTest::newRow("9600 N") << 4 << 0 << 0;
        QTest::newRow("2400 E") << 2 << 2 << 0;
        QTest::newRow("30 ms turnaround") << 4 << 0 << 30;
        QTest::newRow("450 ms turnaround") << 4 << 0 << 450;
    }
    void dumpReachesReadEnd() {
        QFETCH(int, baudIndex);
        QFETCH(int, parityIndex);
        QFETCH(int, replyDelay);
        RadioParameters parameters;
        parameters.line = {SerialRates[baudIndex],
                           parityIndex == 2 ? ParityMode::Even : ParityMode::None, 1};
        useRadio(parameters, {.replyDelayMs = replyDelay}, uint8_t(baudIndex),
                 uint8_t(parityIndex));
        FormTest->Memo1->setPlainText(QStringLiteral("Memo1"));
        exchange(FormTest->Button2);
        QCOMPARE(fx.messages.texts(), QStringList{QStringLiteral("Read End")});
        QCOMPARE(fx.messages.shown.first().kind, MessageKind::Plain);
        QCOMPARE(FormTest->Memo1->toPlainText().size(), 99);
        QCOMPARE(FormTest->Memo1->toPlainText(), RadioDump);
        QCOMPARE(framesIn_.size(), 33);
        QCOMPARE(framesIn_.first().toHex(' '), QByteArray::fromHex("55AA039900009C").toHex(' '));
        QCOMPARE(framesIn_.last().toHex(' '), QByteArray::fromHex("55AA03992000BC").toHex(' '));
    }

    void dumpEndsAtTheFirstSilentRegister() {
        useFake(
            RegisterScript([](int reg) { return reg == 10 ? QByteArray() : RegisterReply(0x42); }));
        FormTest->Memo1->setPlainText(QStringLiteral("Memo1"));
        exchange(FormTest->Button2);
        QCOMPARE(fx.fake->writes.size(), 11);
        QCOMPARE(fx.messages.texts(), QStringList{QStringLiteral("Read Error")});
        QCOMPARE(FormTest->Memo1->toPlainText(), QStringLiteral(" "));
    }

    void dumpOutcomes_data() {
        QTest::addColumn<int>("badRegister");    // its reply fails the frame check
        QTest::addColumn<int>("noiseRegister");  // answers with noise instead
        QTest::addColumn<int>("noiseBytes");
        QTest::addColumn<int>("exchanges");
        QTest::addColumn<QString>("message");
        QTest::newRow("bad checksum at 5") << 5 << -1 << 0 << 33 << "Read End";
        QTest::newRow("bad checksum at 32") << 32 << -1 << 0 << 33 << "Read Error";
        QTest::newRow("100 bytes of noise at 20") << -1 << 20 << 100 << 33 << "Read End";
        QTest::newRow("101 bytes at 0") << -1 << 0 << 101 << 1 << "Read Error";
        QTest::newRow("101 bytes at 20") << -1 << 20 << 101 << 21 << "Read Error";
    }
    void dumpOutcomes() {
        QFETCH(int, badRegister);
        QFETCH(int, noiseRegister);
        QFETCH(int, noiseBytes);
        QFETCH(int, exchanges);
        QFETCH(QString, message);
        useFake(RegisterScript([=](int reg) {
            if (reg == noiseRegister) return QByteArray(noiseBytes, char(0x55));
            QByteArray reply = RegisterReply(uint8_t(0xC0 + reg));
            if (reg == badRegister) reply[6] = char(reply[6] + 1);
            return reply;
        }));
        exchange(FormTest->Button2);
        QCOMPARE(fx.fake->writes.size(), exchanges);
        QCOMPARE(fx.messages.texts(), QStringList{message});
    }

    void eachDumpStartsAfresh() {
        useFake(RegisterScript([](int reg) { return RegisterReply(uint8_t(0xC0 + reg)); }));
        exchange(FormTest->Button2);
        QCOMPARE(fx.messages.last(), QStringLiteral("Read End"));
        QCOMPARE(FormTest->Memo1->toPlainText().mid(12, 9), QStringLiteral("C4 C5 C6 "));
        // Register 5 now answers with a damaged frame: it shows no byte of the last dump.
        useFake(RegisterScript([](int reg) {
            QByteArray reply = RegisterReply(uint8_t(0xA0 + reg));
            if (reg == 5) reply[0] = char(0x54);
            return reply;
        }));
        exchange(FormTest->Button2);
        QCOMPARE(fx.messages.last(), QStringLiteral("Read End"));
        const QString text = FormTest->Memo1->toPlainText();
        QCOMPARE(text.size(), 99);
        QCOMPARE(text.left(24), QStringLiteral("A0 A1 A2 A3 A4 -- A6 A7 "));
        QVERIFY(text.endsWith(QStringLiteral("BF C0 ")));
    }

    void noPortSendsNothing_data() {
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<int>("language");
        for (const char* name : {"Button1", "Button5", "Button6", "Button7", "Button8", "Button9",
                                 "Button3", "Button4", "Button2"}) {
            QTest::newRow(name) << QByteArray(name) << 1;
        }
        QTest::newRow("Button1 Chinese") << QByteArray("Button1") << 0;
        QTest::newRow("Button2 Chinese") << QByteArray("Button2") << 0;
    }
    void noPortSendsNothing() {
        QFETCH(QByteArray, button);
        QFETCH(int, language);
        useRadio();
        Link().ClosePort();
        FormTest->EditDis->setText(QStringLiteral("55 AA "));
        FormTest->Memo1->setPlainText(QStringLiteral("Memo1"));
        LanguageFlag = uint8_t(language);
        click(this->button(button.constData()));
        QVERIFY(!running());
        const QStringList texts = fx.messages.texts();
        QCOMPARE(texts.size(), 1);
        const Message& shown = fx.messages.shown.first();
        if (language == 1) {
            QCOMPARE(shown.kind, MessageKind::Plain);
            QCOMPARE(shown.text, QStringLiteral("Port not opened"));
            QCOMPARE(shown.caption, ApplicationTitle());
        } else {
            QCOMPARE(shown.kind, MessageKind::System);
            QCOMPARE(shown.text, QStringLiteral("串口未打开"));
            QCOMPARE(shown.caption, QStringLiteral("ERROR"));
        }
        QVERIFY(framesIn_.isEmpty());
        QCOMPARE(FormTest->EditDis->text(), QStringLiteral("55 AA "));
        QCOMPARE(FormTest->Memo1->toPlainText(), QStringLiteral("Memo1"));
        QCOMPARE(FormTest->Edit1->text(), QStringLiteral("Edit1"));
    }
};

QTEST_MAIN(FormTestTest)
#include "formtest_test.moc"
