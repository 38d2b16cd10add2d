// The factory test window against the in-process radio: its wait moves the radio on instead
// of sleeping, so every exchange sees the same bytes on every run.

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <list>

#include "app/mainwindow.h"
#include "app/windows.h"
#include "core/language.h"
#include "core/messages.h"
#include "factory/formtest.h"
#include "serial/portnames.h"
#include "serial/seriallink.h"
#include "sim/simulatedport.h"
#include "sim/simulatedradio.h"
#include "tests/support/scripteddevice.h"

using namespace std::chrono_literals;

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

}  // namespace

class FormTestTest : public QObject {
    Q_OBJECT

    std::list<std::unique_ptr<SimulatedRadio>> radios_;
    SimulatedRadio* radio_ = nullptr;
    ScriptedDevice* scripted_ = nullptr;
    QList<QByteArray> framesIn_;  // command frames the radio took in
    QList<Message> messages_;
    QList<int> sleeps_;
    QList<int> writesBeforeSleep_;  // scripted port: frames written when each wait began

    void openPort() {
        QVERIFY(Link().OpenPortByName(1));
        Link().BaudIndex = 4;  // 9600, no parity: the radio's own settings
        Link().ParityIndex = 0;
        Link().ApplyPortSettings();
        QCOMPARE(int(Link().WaitFactor), 10);
    }

    void useRadio(RadioParameters parameters = {}, RadioFaults faults = {}) {
        Link().ClosePort();
        radios_.push_back(std::make_unique<SimulatedRadio>(parameters));
        radio_ = radios_.back().get();
        radio_->setFaults(faults);
        radio_->setFrameLog([this](bool incoming, const std::vector<uint8_t>& frame) {
            if (incoming)
                framesIn_ << QByteArray(reinterpret_cast<const char*>(frame.data()),
                                        qsizetype(frame.size()));
        });
        scripted_ = nullptr;
        Link().setOpener([this](const QString&) -> std::unique_ptr<SerialDevice> {
            return std::make_unique<SimulatedPort>(*radio_);
        });
        openPort();
    }

    void useScript(ScriptedDevice::Script script) {
        Link().ClosePort();
        radio_ = nullptr;
        Link().setOpener([this, script](const QString&) -> std::unique_ptr<SerialDevice> {
            auto device = std::make_unique<ScriptedDevice>(script);
            scripted_ = device.get();
            return device;
        });
        openPort();
    }

    // Answers every read-register request from `reply` (register number in, reply out).
    void useRegisterScript(std::function<QByteArray(int reg)> reply) {
        useScript([reply](const QByteArray& written) {
            return std::pair{reply(uint8_t(written.at(4))), 0u};
        });
    }

    QPushButton* button(const char* name) {
        auto* found = FormTest->findChild<QPushButton*>(QString::fromLatin1(name));
        if (!found) qFatal("no button %s", name);
        return found;
    }

    QColor replyColour() const { return FormTest->EditDis->palette().color(QPalette::Text); }

    QString lastMessage() const { return messages_.isEmpty() ? QString() : messages_.last().text; }

  private slots:
    void initTestCase() {
        LanguageFlag = 1;
        SetPinnedPorts({QStringLiteral("SIM")});
        SetMessagePresenter([this](const Message& m) {
            messages_ << m;
            return MessageAnswer::Ok;
        });
        CreateWindows();
        FormTest->setSleep([this](int ms) {
            sleeps_ << ms;
            if (scripted_) writesBeforeSleep_ << int(scripted_->written.size());
            if (radio_) radio_->advance(std::chrono::milliseconds(ms));
            if (scripted_) scripted_->deliver();
        });
    }

    void init() {
        LanguageFlag = 1;
        messages_.clear();
        framesIn_.clear();
        sleeps_.clear();
        writesBeforeSleep_.clear();
        FormTest->Edit1->setText(QStringLiteral("Edit1"));
        FormTest->Edit6->setText(QStringLiteral("Edit6"));
        FormTest->Edit2->setText(QStringLiteral("00"));
        FormTest->Edit3->setText(QStringLiteral("00"));
        FormTest->Edit4->setText(QStringLiteral("00"));
        FormTest->ComboBox1->setCurrentIndex(0);
    }

    void fixedTextsAndHiddenGroups() {
        LanguageFlag = 1;  // the window's texts do not follow the language
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
        QTest::newRow("transmit test") << QByteArray("Button1") << ""
                                       << ""
                                       << "1级" << QByteArray::fromHex("55AA030D000010");
        QTest::newRow("end test") << QByteArray("Button5") << ""
                                  << ""
                                  << "1级" << QByteArray::fromHex("55AA030E000011");
        QTest::newRow("sensitivity") << QByteArray("Button6") << ""
                                     << ""
                                     << "1级" << QByteArray::fromHex("55AA030C00000F");
        QTest::newRow("field strength") << QByteArray("Button7") << ""
                                        << ""
                                        << "1级" << QByteArray::fromHex("55AA0311000014");
        QTest::newRow("power 1") << QByteArray("Button8") << ""
                                 << ""
                                 << "1级" << QByteArray::fromHex("55AA0312010016");
        QTest::newRow("power 3") << QByteArray("Button8") << ""
                                 << ""
                                 << "3级" << QByteArray::fromHex("55AA0312030018");
        QTest::newRow("power 8") << QByteArray("Button8") << ""
                                 << ""
                                 << "8级" << QByteArray::fromHex("55AA031208001D");
        QTest::newRow("power typed, no item") << QByteArray("Button8") << ""
                                              << ""
                                              << "9级" << QByteArray::fromHex("55AA0312000015");
        QTest::newRow("power read") << QByteArray("Button9") << ""
                                    << ""
                                    << "1级" << QByteArray::fromHex("55AA0313000016");
        QTest::newRow("read 05") << QByteArray("Button3") << "05"
                                 << ""
                                 << "1级" << QByteArray::fromHex("55AA03990500A1");
        QTest::newRow("read 1a2") << QByteArray("Button3") << "1a2"
                                  << ""
                                  << "1级" << QByteArray::fromHex("55AA0399A2013E");
        QTest::newRow("write 05 80") << QByteArray("Button4") << "05"
                                     << "80"
                                     << "1级" << QByteArray::fromHex("55AA048805800111");
        QTest::newRow("write 3F ff") << QByteArray("Button4") << "3F"
                                     << "ff"
                                     << "1级" << QByteArray::fromHex("55AA04883FFF01CA");
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
        this->button(button.constData())->click();
        QCOMPARE(framesIn_.size(), 1);
        QCOMPARE(framesIn_.first().toHex(' '), frame.toHex(' '));
        QCOMPARE(sleeps_, QList<int>{500});  // WaitFactor 10 x 50 ms
        QVERIFY(messages_.isEmpty());
        QCOMPARE(Link().BytesToWrite, uint32_t(frame.size()));
    }

    void fieldStrengthIsMinusThreeDigits_data() {
        QTest::addColumn<int>("strength");
        QTest::addColumn<QString>("shown");
        QTest::newRow("7") << 7 << "-007";
        QTest::newRow("85") << 85 << "-085";
        QTest::newRow("120") << 120 << "-120";
        QTest::newRow("0") << 0 << "-000";
        QTest::newRow("255") << 255 << "-255";
    }
    void fieldStrengthIsMinusThreeDigits() {
        QFETCH(int, strength);
        QFETCH(QString, shown);
        RadioParameters parameters;
        parameters.fieldStrength = uint8_t(strength);
        useRadio(parameters);
        FormTest->Button7->click();
        QCOMPARE(FormTest->Edit1->text(), shown);
    }

    void powerLevelIsOneCharacter_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("shown");
        QTest::newRow("3") << 3 << "3";
        QTest::newRow("0") << 0 << "0";
        QTest::newRow("9") << 9 << "9";
        QTest::newRow("17") << 17 << "A";
        QTest::newRow("208 gives no character") << 208 << "";
    }
    void powerLevelIsOneCharacter() {
        QFETCH(int, level);
        QFETCH(QString, shown);
        RadioParameters parameters;
        parameters.powerLevel = uint8_t(level);
        useRadio(parameters);
        FormTest->Button9->click();
        QCOMPARE(FormTest->Edit6->text(), shown);
    }

    void powerAboveTenIsRefused() {
        useRadio();
        for (int level = 9; level <= 11; ++level) {
            FormTest->ComboBox1->addItem(QStringLiteral("%1级").arg(level));
        }
        FormTest->ComboBox1->setCurrentIndex(9);  // level 10 is still allowed
        FormTest->Button8->click();
        QCOMPARE(framesIn_.size(), 1);
        QCOMPARE(framesIn_.first().toHex(' '), QByteArray::fromHex("55AA03120A001F").toHex(' '));
        FormTest->ComboBox1->setCurrentIndex(10);
        FormTest->Button8->click();
        while (FormTest->ComboBox1->count() > 8) FormTest->ComboBox1->removeItem(8);
        QCOMPARE(framesIn_.size(), 1);
        QCOMPARE(sleeps_.size(), 1);
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(messages_.first().kind, MessageKind::Plain);
        QCOMPARE(messages_.first().text, QStringLiteral("功率不能大于10mW"));
    }

    void identicalRepliesAlternateTheColour() {
        useRadio();
        FormTest->Button1->click();
        const QString text = FormTest->EditDis->text();
        const QColor first = replyColour();
        QVERIFY(first == Red || first == HotLight);
        FormTest->Button1->click();
        QCOMPARE(FormTest->EditDis->text(), text);
        QCOMPARE(replyColour(), first == Red ? HotLight : Red);
        FormTest->Button1->click();
        QCOMPARE(replyColour(), first);

        // No reply leaves the colour as it was.
        radio_->setFaults({.silent = true});
        FormTest->Button1->click();
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
        this->button(button.constData())->click();
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(messages_.first().kind, MessageKind::Plain);
        QCOMPARE(messages_.first().caption, ApplicationTitle());
        QCOMPARE(messages_.first().text, text);
        QCOMPARE(FormTest->EditDis->text(), QStringLiteral(" "));
        // Nothing arrived, so the readings stay.
        QCOMPARE(FormTest->Edit1->text(), QStringLiteral("Edit1"));
        QCOMPARE(FormTest->Edit6->text(), QStringLiteral("Edit6"));
    }

    void replySizeLimits_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("strength");
        const QByteArray twenty = QByteArray::fromHex("55AA031100000102030405060708090A0B0C0D0E");
        QTest::newRow("20 bytes") << twenty
                                  << "55 AA 03 11 00 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E "
                                  << "-000";
        QTest::newRow("21 bytes are dropped") << twenty + char(0x0F) << " "
                                              << "Edit1";
        QTest::newRow("unchecked reply") << QByteArray::fromHex("123456789A") << "12 34 56 78 9A "
                                         << "-154";
        QTest::newRow("too short for a result") << QByteArray::fromHex("55AA0311") << "55 AA 03 11 "
                                                << "Edit1";
    }
    void replySizeLimits() {
        QFETCH(QByteArray, reply);
        QFETCH(QString, shown);
        QFETCH(QString, strength);
        useScript([reply](const QByteArray&) { return std::pair{reply, 0u}; });
        FormTest->Button7->click();
        QVERIFY(messages_.isEmpty());
        QCOMPARE(FormTest->EditDis->text(), shown);
        QCOMPARE(FormTest->Edit1->text(), strength);
        QCOMPARE(writesBeforeSleep_, QList<int>{1});  // the request went out before the wait
    }

    void fullDumpGivesReadEnd() {
        useRadio();
        FormTest->Memo1->setPlainText(QStringLiteral("Memo1"));
        FormTest->Button2->click();
        QCOMPARE(lastMessage(), QStringLiteral("Read End"));
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(messages_.first().kind, MessageKind::Plain);
        QCOMPARE(FormTest->Memo1->toPlainText().size(), 99);
        QCOMPARE(FormTest->Memo1->toPlainText(), RadioDump);
        QCOMPARE(framesIn_.size(), 33);
        QCOMPARE(framesIn_.first().toHex(' '), QByteArray::fromHex("55AA039900009C").toHex(' '));
        QCOMPARE(framesIn_.last().toHex(' '), QByteArray::fromHex("55AA03992000BC").toHex(' '));
        // Each wait: 10 ms for the radio and 15 ms for 14 bytes on the wire at 9600 bit/s.
        QCOMPARE(sleeps_, QList<int>(33, 25));
    }

    void fullDumpAtSlowRateWaitsForTheWire() {
        RadioParameters parameters;
        parameters.line = {2400, ParityMode::Even, 1};
        useRadio(parameters);
        Link().BaudIndex = 2;
        Link().ParityIndex = 2;
        Link().ApplyPortSettings();
        FormTest->Button2->click();
        QCOMPARE(lastMessage(), QStringLiteral("Read End"));
        QCOMPARE(FormTest->Memo1->toPlainText(), RadioDump);
        // 10 ms for the radio (factor 10 at 2400) and 65 ms for 14 bytes of 11 bits.
        QCOMPARE(sleeps_.first(), 75);
    }

    void dumpEndsAtTheFirstSilentRegister() {
        useRegisterScript([](int reg) { return reg == 10 ? QByteArray() : RegisterReply(0x42); });
        FormTest->Memo1->setPlainText(QStringLiteral("Memo1"));
        FormTest->Button2->click();
        QCOMPARE(scripted_->written.size(), 11);
        QCOMPARE(lastMessage(), QStringLiteral("Read Error"));
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(FormTest->Memo1->toPlainText(), QStringLiteral(" "));
        for (int i = 0; i < writesBeforeSleep_.size(); ++i) QCOMPARE(writesBeforeSleep_[i], i + 1);
    }

    void dumpOutcomes_data() {
        QTest::addColumn<int>("badRegister");    // its reply fails the frame check
        QTest::addColumn<int>("floodRegister");  // more than 100 bytes arrive for it
        QTest::addColumn<int>("exchanges");
        QTest::addColumn<QString>("message");
        QTest::newRow("bad checksum at 5") << 5 << -1 << 33 << "Read End";
        QTest::newRow("bad checksum at 32") << 32 << -1 << 33 << "Read Error";
        QTest::newRow("flood at 0") << -1 << 0 << 1 << "Read Error";
        QTest::newRow("flood at 20") << -1 << 20 << 21 << "Read Error";
    }
    void dumpOutcomes() {
        QFETCH(int, badRegister);
        QFETCH(int, floodRegister);
        QFETCH(int, exchanges);
        QFETCH(QString, message);
        useRegisterScript([=](int reg) {
            if (reg == floodRegister) return QByteArray(101, char(0x55));
            QByteArray reply = RegisterReply(uint8_t(0xC0 + reg));
            if (reg == badRegister) reply[6] = char(reply[6] + 1);
            return reply;
        });
        FormTest->Button2->click();
        QCOMPARE(scripted_->written.size(), exchanges);
        QCOMPARE(lastMessage(), message);
    }

    void eachDumpStartsAfresh() {
        useRegisterScript([](int reg) { return RegisterReply(uint8_t(0xC0 + reg)); });
        FormTest->Button2->click();
        QCOMPARE(lastMessage(), QStringLiteral("Read End"));
        QCOMPARE(FormTest->Memo1->toPlainText().mid(12, 9), QStringLiteral("C4 C5 C6 "));
        // Register 5 now answers with a damaged frame: it shows no byte of the last dump.
        useRegisterScript([](int reg) {
            QByteArray reply = RegisterReply(uint8_t(0xA0 + reg));
            if (reg == 5) reply[0] = char(0x54);
            return reply;
        });
        FormTest->Button2->click();
        QCOMPARE(lastMessage(), QStringLiteral("Read End"));
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
        this->button(button.constData())->click();
        QCOMPARE(messages_.size(), 1);
        if (language == 1) {
            QCOMPARE(messages_.first().kind, MessageKind::Plain);
            QCOMPARE(messages_.first().text, QStringLiteral("Port not opened"));
            QCOMPARE(messages_.first().caption, ApplicationTitle());
        } else {
            QCOMPARE(messages_.first().kind, MessageKind::System);
            QCOMPARE(messages_.first().text, QStringLiteral("串口未打开"));
            QCOMPARE(messages_.first().caption, QStringLiteral("ERROR"));
        }
        QVERIFY(sleeps_.isEmpty());
        QVERIFY(framesIn_.isEmpty());
        QCOMPARE(FormTest->EditDis->text(), QStringLiteral("55 AA "));
        QCOMPARE(FormTest->Memo1->toPlainText(), QStringLiteral("Memo1"));
        QCOMPARE(FormTest->Edit1->text(), QStringLiteral("Edit1"));
    }
};

QTEST_MAIN(FormTestTest)
#include "formtest_test.moc"
