#include <list>

#include "sim/simulatedport.h"
#include "sim/simulatedradio.h"
#include "tests/datatest/datatestfixture.h"
#include "tests/support/scripteddevice.h"

using namespace std::chrono_literals;

// Sending by hand and periodically, the byte counters, and the loop-back error test against
// the simulated radio and against scripted echoes.
class SendTest : public DataTestFixture {
    Q_OBJECT

    std::list<std::unique_ptr<SimulatedRadio>> radios_;
    SimulatedRadio* radio_ = nullptr;
    SimulatedRadio* peer_ = nullptr;
    ScriptedDevice* scripted_ = nullptr;

    SimulatedRadio* newRadio(LinkOptions links = {}) {
        radios_.push_back(std::make_unique<SimulatedRadio>(RadioParameters{}, links));
        return radios_.back().get();
    }

    void openRadio(SimulatedRadio* radio) {
        radio_ = radio;
        openPort([radio] { return std::make_unique<SimulatedPort>(*radio); });
    }

    void openScript(ScriptedDevice::Script script) {
        openPort([this, script] {
            auto device = std::make_unique<ScriptedDevice>(script);
            scripted_ = device.get();
            return device;
        });
    }

    // One 10 ms step of the program and its radio: the send tick while periodic sending runs,
    // the receive tick on every fifth step.
    void step(int i) {
        if (Form1->Timer_TrttData->isActive()) Form1->Timer_TrttDataTimer();
        if (scripted_) scripted_->deliver();
        if (i % 5 == 4) Form1->Timer_RecDataTimer();
        if (radio_) radio_->advance(10ms);
        if (peer_) peer_->advance(10ms);
    }

    // Steps until the test has evaluated `sends` periodic sends; false after maxSteps.
    bool runUntilSent(int sends, int maxSteps = 20000) {
        for (int i = 0; i < maxSteps; ++i) {
            if (data().ErrTest.ErrTestSent >= sends) return true;
            step(i);
        }
        return false;
    }

    QStringList statisticsBoxes() const {
        QStringList texts;
        for (QLineEdit* box : {Form1->Edit1, Form1->Edit2, Form1->Edit4, Form1->Edit5, Form1->Edit6,
                               Form1->Edit7, Form1->Edit3}) {
            texts << box->text();
        }
        return texts;
    }

    void startRecording(const QString& text) {
        Form1->Memo_Trtt->setPlainText(text);
        Form1->CheckTrtt->setChecked(true);
        Form1->PanelTrttTestClick();
        QVERIFY(Form1->PanelTrttTest->isLowered());
        QVERIFY(Form1->Check_AutoTrtt->isChecked());
        QVERIFY(!Form1->Check_AutoTrtt->isEnabled());
        QVERIFY(Form1->Timer_TrttData->isActive());
        QCOMPARE(Form1->Edit_TrttPerio->text(), QStringLiteral("2000"));
        QCOMPARE(int(data().ErrTestActive), 1);
    }

  private slots:
    void initTestCase() { setUpWindows(); }
    // The port onto a radio closes before the radios go.
    void cleanupTestCase() { Link().ClosePort(); }
    void init() {
        resetDataTest();
        radio_ = peer_ = nullptr;
        scripted_ = nullptr;
        feed_ = nullptr;
    }

    void manualSend_data() {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("text") << false << "41 42" << QByteArray("41 42");
        QTest::newRow("hex") << true << "41 42" << QByteArray("AB");
        QTest::newRow("text lines go out with CR LF") << false << "a\nb" << QByteArray("a\r\nb");
        QTest::newRow("text in the locale encoding")
            << false << QString::fromUtf8("中") << QByteArray("\xE4\xB8\xAD");
        QTest::newRow("hex single digit sends nothing") << true << "1" << QByteArray();
        QTest::newRow("hex digit left at each line end") << true << "1\n2" << QByteArray();
        QTest::newRow("hex 2000 pairs stop at 1024")
            << true << QString("5A ").repeated(2000) << QByteArray(1024, 'Z');
    }
    void manualSend() {
        QFETCH(bool, hex);
        QFETCH(QString, text);
        QFETCH(QByteArray, sent);
        openFeedPort();
        data().TxByteCount = 7;
        Form1->Check_TrttHex->setChecked(hex);
        Form1->Memo_Trtt->setPlainText(text);
        Form1->Button_ManulTrtt->click();
        QCOMPARE(feed_->written, QList<QByteArray>{sent});
        QCOMPARE(data().TxByteCount, 7 + sent.size());
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : %1").arg(7 + sent.size()));
        QVERIFY(messages_.isEmpty());
    }

    void refusedSends_data() {
        QTest::addColumn<bool>("automatic");
        QTest::addColumn<bool>("portOpen");
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("caption");
        const int plain = int(MessageKind::Plain);
        const int system = int(MessageKind::System);
        const QString title = ApplicationTitle();
        QTest::newRow("manual, closed")
            << false << false << 1 << plain << "Port not opened" << title;
        QTest::newRow("manual, closed, Chinese")
            << false << false << 0 << system << QString::fromUtf8("串口未打开") << "ERROR";
        QTest::newRow("manual, empty") << false << true << 1 << plain << "String is empty" << title;
        QTest::newRow("manual, empty, Chinese")
            << false << true << 0 << system << QString::fromUtf8("发送字符串为空")
            << QString::fromUtf8("传送");
        QTest::newRow("auto, closed") << true << false << 1 << system << "Port not opened"
                                      << "Write";
        QTest::newRow("auto, closed, Chinese")
            << true << false << 0 << system << QString::fromUtf8("串口未打开") << "ERROR";
        QTest::newRow("auto, empty") << true << true << 1 << plain << "String is empty" << title;
        QTest::newRow("auto, empty, Chinese")
            << true << true << 0 << system << QString::fromUtf8("发送字符串为空")
            << QString::fromUtf8("传送");
    }
    void refusedSends() {
        QFETCH(bool, automatic);
        QFETCH(bool, portOpen);
        QFETCH(int, language);
        QFETCH(int, kind);
        QFETCH(QString, text);
        QFETCH(QString, caption);
        LanguageFlag = static_cast<uint8_t>(language);
        if (portOpen)
            openFeedPort();
        else
            Form1->Memo_Trtt->setPlainText(QStringLiteral("data"));
        if (automatic) {
            Form1->Check_AutoTrtt->click();
            QVERIFY(!Form1->Check_AutoTrtt->isChecked());
            QVERIFY(!Form1->Timer_TrttData->isActive());
        } else {
            Form1->Button_ManulTrtt->click();
        }
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(int(messages_[0].kind), kind);
        QCOMPARE(messages_[0].text, text);
        QCOMPARE(messages_[0].caption, caption);
        QCOMPARE(data().TxByteCount, 0);
        if (feed_) QVERIFY(feed_->written.isEmpty());
    }

    void sendScheduleInTicks_data() {
        QTest::addColumn<QString>("period");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<QList<int>>("sendTicks");
        QTest::newRow("1000") << "1000" << 201 << QList<int>{67, 134, 201};
        QTest::newRow("15") << "15" << 8 << QList<int>{2, 4, 6, 8};
        QTest::newRow("14") << "14" << 4 << QList<int>{1, 2, 3, 4};
        QTest::newRow("0") << "0" << 3 << QList<int>{1, 2, 3};
        QTest::newRow("-5") << "-5" << 3 << QList<int>{1, 2, 3};
        QTest::newRow("hexadecimal $20") << " $20" << 6 << QList<int>{3, 6};
    }
    void sendScheduleInTicks() {
        QFETCH(QString, period);
        QFETCH(int, ticks);
        QFETCH(QList<int>, sendTicks);
        openFeedPort();
        Form1->Memo_Trtt->setPlainText(QStringLiteral("tick"));
        Form1->Edit_TrttPerio->setText(period);
        Form1->Check_AutoTrtt->click();
        QVERIFY(Form1->Timer_TrttData->isActive());
        QList<int> sentAt;
        for (int tick = 1; tick <= ticks; ++tick) {
            Form1->Timer_TrttDataTimer();
            if (feed_->written.size() > sentAt.size()) sentAt << tick;
        }
        QCOMPARE(sentAt, sendTicks);
        QCOMPARE(data().TxByteCount, 4 * sendTicks.size());
        Form1->Check_AutoTrtt->click();
        QVERIFY(!Form1->Timer_TrttData->isActive());
    }

    void wrongPeriodIsReportedOncePerText() {
        openFeedPort();
        Form1->Memo_Trtt->setPlainText(QStringLiteral("p"));
        Form1->Check_AutoTrtt->setChecked(true);
        const QList<std::pair<QString, int>> periods{{"abc", 50}, {"", 20},   {"abc", 5},
                                                     {"0", 3},    {"abc", 5}, {"2147483648", 5}};
        QStringList reports;
        int sends = 0;
        for (const auto& [text, ticks] : periods) {
            Form1->Edit_TrttPerio->setText(text);
            for (int i = 0; i < ticks; ++i) Form1->Timer_TrttDataTimer();
            sends += text == u"0" ? ticks : 0;
        }
        for (const Message& m : messages_) {
            QCOMPARE(m.kind, MessageKind::ErrorReport);
            reports << m.text;
        }
        const QStringList expected{
            "'abc' is not a valid integer value", "'' is not a valid integer value",
            "'abc' is not a valid integer value", "'abc' is not a valid integer value",
            "'2147483648' is not a valid integer value"};
        QCOMPARE(reports, expected);
        QCOMPARE(feed_->written.size(), sends);
        QVERIFY(Form1->Timer_TrttData->isActive());
    }

    void counterResetWhileSending() {
        openFeedPort();
        Form1->Memo_Trtt->setPlainText(QStringLiteral("12345"));
        Form1->Edit_TrttPerio->setText(QStringLiteral("0"));
        Form1->Check_AutoTrtt->setChecked(true);
        feed_->waiting = "abc";
        Form1->Timer_RecDataTimer();
        for (int i = 0; i < 3; ++i) Form1->Timer_TrttDataTimer();
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 15"));
        Form1->Button3->click();
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 0"));
        QCOMPARE(Form1->statusText(5), QStringLiteral("RX : 0"));
        QVERIFY(Form1->Timer_TrttData->isActive());
        Form1->Timer_TrttDataTimer();
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 5"));
    }

    void startWithEmptyTransmitArea() {
        openFeedPort();
        Form1->Edit4->setText(QStringLiteral("kept"));
        QTest::mouseClick(Form1->PanelTrttTest, Qt::LeftButton);
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(messages_[0].text, QStringLiteral("Please input datas"));
        QCOMPARE(messages_[0].caption, ApplicationTitle());
        QVERIFY(!Form1->PanelTrttTest->isLowered());
        QCOMPARE(int(data().ErrTestActive), 0);
        QCOMPARE(statisticsBoxes(), (QStringList{"0", "0", "kept", "0", "0", "0", "0"}));
    }

    void recordingAgainstAPerfectEcho() {
        LinkOptions echo;
        echo.echoStation = true;
        openRadio(newRadio(echo));
        startRecording(QStringLiteral("HELLO RADIO"));
        QVERIFY(runUntilSent(1));
        QCOMPARE(statisticsBoxes(), (QStringList{"0", "0", "0", "0", "0", "0", "0"}));
        for (int k = 2; k <= 5; ++k) {
            QVERIFY(runUntilSent(k));
            const QString evaluated = QString::number(k - 1);
            QCOMPARE(statisticsBoxes(),
                     (QStringList{evaluated, evaluated, "0", "0", "0", "0", "100.0000"}));
        }
        // Each echo came back well inside the 2000 ms period and forced the next send.
        QCOMPARE(data().TxByteCount, 5 * 11);
        QCOMPARE(data().RxByteCount, 4 * 11);
        // Stopping leaves the counts and lets the box be used again.
        QTest::mouseClick(Form1->PanelTrttTest, Qt::LeftButton);
        QVERIFY(!Form1->PanelTrttTest->isLowered());
        QVERIFY(!Form1->Check_AutoTrtt->isChecked() && Form1->Check_AutoTrtt->isEnabled());
        QVERIFY(!Form1->Timer_TrttData->isActive());
        QCOMPARE(int(data().ErrTestActive), 1);
        QCOMPARE(Form1->Edit2->text(), QStringLiteral("4"));
    }

    void recordingAgainstSilence() {
        openRadio(newRadio());
        startRecording(QStringLiteral("ANYONE?"));
        QStringList noReply;
        for (int k = 1; k <= 4; ++k) {
            QVERIFY(runUntilSent(k));
            noReply << Form1->Edit5->text();
        }
        QCOMPARE(noReply, (QStringList{"0", "0", "1", "2"}));
        QCOMPARE(Form1->Edit3->text(), QStringLiteral("0.0000"));
    }

    void damagedEchoesLandInTheirCounters_data() {
        QTest::addColumn<QByteArray>("echo");
        QTest::addColumn<QStringList>("boxes");  // Edit1 Edit2 Edit4 Edit5 Edit6 Edit7 Edit3
        QTest::newRow("one byte short")
            << QByteArray("FRAM") << QStringList{"1", "0", "0", "0", "0", "1", "0.0000"};
        QTest::newRow("one byte long")
            << QByteArray("FRAME!") << QStringList{"1", "0", "0", "0", "1", "0", "0.0000"};
        QTest::newRow("one byte changed")
            << QByteArray("FRAMF") << QStringList{"1", "0", "1", "0", "0", "0", "0.0000"};
        QTest::newRow("a zero inside still counts as long")
            << QByteArray("FR\0AME", 6) << QStringList{"1", "0", "0", "0", "1", "0", "0.0000"};
        QTest::newRow("exact") << QByteArray("FRAME")
                               << QStringList{"1", "1", "0", "0", "0", "0", "100.0000"};
    }
    void damagedEchoesLandInTheirCounters() {
        QFETCH(QByteArray, echo);
        QFETCH(QStringList, boxes);
        openScript([echo](const QByteArray&) { return std::pair{echo, 0u}; });
        startRecording(QStringLiteral("FRAME"));
        QVERIFY(runUntilSent(2));
        QCOMPARE(statisticsBoxes(), boxes);
        // The damaged echo forced the second send; it did not wait for the period.
        QCOMPARE(scripted_->written.size(), 2);
    }

    void echoStationReturnsWhatTheRecorderSent() {
        SimulatedRadio* ours = newRadio();
        peer_ = newRadio();
        ours->linkPeer(*peer_);
        openRadio(ours);
        Form1->Memo_Trtt->setPlainText(QStringLiteral("echo station"));
        Form1->PanelTrttTestClick();
        QVERIFY(!Form1->Check_AutoTrtt->isChecked());
        QVERIFY(!Form1->Timer_TrttData->isActive());
        const QByteArray frame("REC\0ORDER 1\r\n", 13);
        peer_->hostWrite(reinterpret_cast<const uint8_t*>(frame.constData()), frame.size());
        // Collect until everything arrived; then count receive ticks until the echo leaves.
        int quietAtEcho = -1;
        for (int i = 0; i < 1000 && quietAtEcho < 0; ++i) {
            const int quietBefore = data().RecIdleTicks;
            const bool pending = !data().ErrTestRxText.isEmpty();
            step(i);
            if (pending && data().ErrTestRxText.isEmpty()) quietAtEcho = quietBefore + 1;
        }
        QCOMPARE(quietAtEcho, 7);
        QByteArray back;
        for (int i = 0; i < 200 && back.size() < frame.size(); ++i) {
            step(i);
            uint8_t byte = 0;
            while (peer_->hostRead(&byte, 1) == 1) back.append(char(byte));
        }
        QCOMPARE(back, frame);
        QCOMPARE(data().TxByteCount, 0);
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 0"));
        QCOMPARE(data().RxByteCount, frame.size());
    }
};

QTEST_MAIN(SendTest)
#include "test_send_gui.moc"
