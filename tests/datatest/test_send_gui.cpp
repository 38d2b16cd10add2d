#include <QLabel>
#include <QStatusBar>

#include "tests/support/windowfixture.h"

using namespace std::chrono_literals;

namespace {

const QString TxNotesEnglish = QStringLiteral(
    "Periodic sends skipped because the previous one had not left yet: %1\n"
    "Bytes the full send queue did not take: %2");
const QString TxNotesChinese =
    QString::fromUtf8("因上次数据尚未发完而跳过的自动发送：%1\n发送队列已满而未发送的字节：%2");

QString TxToolTip() {
    return Form1->StatusBar1->findChild<QLabel*>(QStringLiteral("StatusPanel4"))->toolTip();
}

}  // namespace

// Sending by hand and periodically, the byte counters, and the loop-back error test against
// the simulated radio and against the fake device, whose driver may be held back.
class SendTest : public QObject {
    Q_OBJECT

    WindowFixture f_;
    // The second station of a test between two radios.
    std::unique_ptr<SimulatedRadio> peer_;

    static DataTestEngine& data() { return Form1->Data->Engine; }

    void sendByHand(const QString& text) {
        Form1->Memo_Trtt->setPlainText(text);
        Form1->Button_ManulTrtt->click();
    }

    // One 10 ms step of the program and its far end: the send tick while periodic sending
    // runs, the receive tick on every fifth step.
    void step(int i) {
        if (Form1->Timer_TrttData->isActive()) Form1->Timer_TrttDataTimer();
        if (i % 5 == 4) Form1->Timer_RecDataTimer();
        f_.farEndTick();
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

    static QStringList statisticsBoxes() {
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
    void initTestCase() { f_.createWindows(true); }
    // The port onto a radio closes before the radios go.
    void cleanupTestCase() { Link().ClosePort(); }
    void init() {
        f_.resetDataTest();
        f_.useFake();
        peer_.reset();
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
        f_.openPort();
        data().TxByteCount = 7;
        Form1->Check_TrttHex->setChecked(hex);
        Form1->Memo_Trtt->setPlainText(text);
        Form1->Button_ManulTrtt->click();
        QCOMPARE(f_.fake->writes, QList<QByteArray>{sent});
        QCOMPARE(data().TxByteCount, 7 + sent.size());
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : %1").arg(7 + sent.size()));
        QVERIFY(f_.messages.texts().isEmpty());
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
            f_.openPort();
        else
            Form1->Memo_Trtt->setPlainText(QStringLiteral("data"));
        if (automatic) {
            Form1->Check_AutoTrtt->click();
            QVERIFY(!Form1->Check_AutoTrtt->isChecked());
            QVERIFY(!Form1->Timer_TrttData->isActive());
        } else {
            Form1->Button_ManulTrtt->click();
        }
        QCOMPARE(f_.messages.texts(), QStringList{text});
        QCOMPARE(int(f_.messages.shown[0].kind), kind);
        QCOMPARE(f_.messages.shown[0].caption, caption);
        QCOMPARE(data().TxByteCount, 0);
        if (portOpen) QVERIFY(f_.fake->writes.isEmpty());
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
        f_.openPort();
        Form1->Memo_Trtt->setPlainText(QStringLiteral("tick"));
        Form1->Edit_TrttPerio->setText(period);
        Form1->Check_AutoTrtt->click();
        QVERIFY(Form1->Timer_TrttData->isActive());
        QList<int> sentAt;
        for (int tick = 1; tick <= ticks; ++tick) {
            Form1->Timer_TrttDataTimer();
            if (f_.fake->writes.size() > sentAt.size()) sentAt << tick;
        }
        QCOMPARE(sentAt, sendTicks);
        QCOMPARE(data().TxByteCount, 4 * sendTicks.size());
        Form1->Check_AutoTrtt->click();
        QVERIFY(!Form1->Timer_TrttData->isActive());
    }

    void wrongPeriodIsReportedOncePerText() {
        f_.openPort();
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
        Settle();
        for (const Message& m : f_.messages.shown) {
            QCOMPARE(m.kind, MessageKind::ErrorReport);
            reports << m.text;
        }
        const QStringList expected{
            "'abc' is not a valid integer value", "'' is not a valid integer value",
            "'abc' is not a valid integer value", "'abc' is not a valid integer value",
            "'2147483648' is not a valid integer value"};
        QCOMPARE(reports, expected);
        QCOMPARE(f_.fake->writes.size(), sends);
        QVERIFY(Form1->Timer_TrttData->isActive());
    }

    void counterResetWhileSending() {
        f_.openPort();
        Form1->Memo_Trtt->setPlainText(QStringLiteral("12345"));
        Form1->Edit_TrttPerio->setText(QStringLiteral("0"));
        Form1->Check_AutoTrtt->setChecked(true);
        f_.fake->feed("abc");
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
        f_.openPort();
        Form1->Edit4->setText(QStringLiteral("kept"));
        QTest::mouseClick(Form1->PanelTrttTest, Qt::LeftButton);
        QCOMPARE(f_.messages.texts(), QStringList{"Please input datas"});
        QCOMPARE(f_.messages.shown[0].caption, ApplicationTitle());
        QVERIFY(!Form1->PanelTrttTest->isLowered());
        QCOMPARE(int(data().ErrTestActive), 0);
        QCOMPARE(statisticsBoxes(), (QStringList{"0", "0", "kept", "0", "0", "0", "0"}));
    }

    void recordingWithThePortClosedSaysSoOnce() {
        Form1->Memo_Trtt->setPlainText(QStringLiteral("FRAME"));
        Form1->CheckTrtt->setChecked(true);
        Form1->PanelTrttTestClick();
        Settle();
        QCOMPARE(f_.messages.texts(), QStringList{"Port not opened"});
        QCOMPARE(f_.messages.shown[0].caption, QStringLiteral("Write"));
        QVERIFY(Form1->PanelTrttTest->isLowered());
        QVERIFY(!Form1->Check_AutoTrtt->isChecked() && !Form1->Check_AutoTrtt->isEnabled());
        QVERIFY(!Form1->Timer_TrttData->isActive());
    }

    void recordingAgainstAPerfectEcho() {
        LinkOptions echo;
        echo.echoStation = true;
        f_.useRadio({}, {}, echo);
        f_.openPort();
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

    // The echo of lines sent with LF matches the text as it went out.
    void recordingLinesWithTheChosenLineEnding() {
        LinkOptions echo;
        echo.echoStation = true;
        f_.useRadio({}, {}, echo);
        f_.openPort();
        Form1->Combo_LineEnd->setCurrentIndex(1);
        startRecording(QStringLiteral("A\nB"));
        QVERIFY(runUntilSent(3));
        QCOMPARE(statisticsBoxes(), (QStringList{"2", "2", "0", "0", "0", "0", "100.0000"}));
        QCOMPARE(data().TxByteCount, 3 * 3);
    }

    void recordingAgainstSilence() {
        f_.useRadio();
        f_.openPort();
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
        f_.useFake([echo](const QByteArray&) { return FakeSerialDevice::Answer{echo}; });
        f_.openPort();
        startRecording(QStringLiteral("FRAME"));
        QVERIFY(runUntilSent(2));
        QCOMPARE(statisticsBoxes(), boxes);
        // The damaged echo forced the second send; it did not wait for the period.
        QCOMPARE(f_.fake->writes.size(), 2);
    }

    void echoStationReturnsWhatTheRecorderSent() {
        peer_ = std::make_unique<SimulatedRadio>();
        f_.useRadio().linkPeer(*peer_);
        f_.openPort();
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

    // ---- The TX counter counts what the driver has taken ----

    void txCountsWhatTheDriverHasTaken_data() {
        QTest::addColumn<QList<int>>("releases");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("at once") << QList<int>{12} << QStringList{"TX : 12"};
        QTest::newRow("in steps") << QList<int>{5, 1, 6}
                                  << QStringList{"TX : 5", "TX : 6", "TX : 12"};
    }
    void txCountsWhatTheDriverHasTaken() {
        QFETCH(QList<int>, releases);
        QFETCH(QStringList, shown);
        f_.openPort();
        f_.fake->holdSending(true);
        sendByHand(QStringLiteral("twelve bytes"));
        QCOMPARE(f_.fake->writes, QList<QByteArray>{"twelve bytes"});
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 0"));
        QStringList counts;
        for (const int n : releases) {
            f_.fake->release(n);
            counts << Form1->statusText(4);
        }
        QCOMPARE(counts, shown);
    }

    void loopBackEchoIsNotCounted() {
        // Echo station: RECORD unchecked, the test started with a non-empty transmit area.
        f_.openPort();
        Form1->Memo_Trtt->setPlainText(QStringLiteral("x"));
        Form1->PanelTrttTestClick();
        f_.fake->holdSending(true);
        f_.fake->feed("ping\r\n");
        for (int tick = 0; tick < 8; ++tick) Form1->Timer_RecDataTimer();
        QCOMPARE(f_.fake->writes, QList<QByteArray>{"ping\r\n"});
        // User data queued behind the echo count only as the driver reaches them.
        sendByHand(QStringLiteral("data"));
        QStringList counts;
        for (const int n : {4, 4, 2}) {
            f_.fake->release(n);
            counts << Form1->statusText(4);
        }
        QCOMPARE(counts, (QStringList{"TX : 0", "TX : 2", "TX : 4"}));
    }

    void radioFramesAreNotCounted() {
        f_.useRadio();
        f_.openPort();
        sendByHand(QStringLiteral("abc"));
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 3"));
        f_.readRadio();
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 3"));
        sendByHand(QStringLiteral("de"));
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 5"));
    }

    void counterResetWhileBytesAreInFlight() {
        f_.openPort();
        f_.fake->holdSending(true);
        sendByHand(QStringLiteral("12345"));
        f_.fake->release(2);
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 2"));
        Form1->Button3->click();
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 0"));
        QCOMPARE(data().TxByteCount, 0);
        f_.fake->release(3);
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 3"));
        sendByHand(QStringLiteral("6789"));
        f_.fake->release(4);
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 7"));
    }

    // ---- Sends the link cannot take yet ----

    void periodicSendWaitsForThePreviousData_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("notes");
        QTest::newRow("English") << 1 << TxNotesEnglish;
        QTest::newRow("Chinese") << 0 << TxNotesChinese;
    }
    void periodicSendWaitsForThePreviousData() {
        QFETCH(int, language);
        QFETCH(QString, notes);
        LanguageFlag = static_cast<uint8_t>(language);
        f_.openPort();
        f_.fake->holdSending(true);
        // Recording, so that every send that goes out is followed by a statistics step.
        startRecording(QStringLiteral("12345"));
        Form1->Edit_TrttPerio->setText(QStringLiteral("0"));
        Form1->Timer_TrttDataTimer();
        QCOMPARE(f_.fake->writes.size(), 1);
        QCOMPARE(data().ErrTest.ErrTestSent, 1);
        for (int tick = 0; tick < 2; ++tick) Form1->Timer_TrttDataTimer();
        QCOMPARE(f_.fake->writes.size(), 1);
        QCOMPARE(data().SkippedSends, 2u);
        QCOMPARE(TxToolTip(), notes.arg(2).arg(0));
        QCOMPARE(data().ErrTest.ErrTestSent, 1);
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 0"));
        f_.fake->release(3);
        Form1->Timer_TrttDataTimer();
        QCOMPARE(f_.fake->writes.size(), 1);
        QCOMPARE(data().SkippedSends, 3u);
        f_.fake->release(2);
        Form1->Timer_TrttDataTimer();
        QCOMPARE(f_.fake->writes, (QList<QByteArray>{"12345", "12345"}));
        QCOMPARE(data().ErrTest.ErrTestSent, 2);
        QCOMPARE(data().SkippedSends, 3u);
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 5"));
        QVERIFY(f_.messages.texts().isEmpty());
    }

    void fullSendQueueTakesPartOfASend() {
        f_.openPort();
        f_.fake->holdSending(true);
        f_.fake->sendCapacity = 8;
        sendByHand(QStringLiteral("12345"));
        sendByHand(QStringLiteral("67890"));
        QCOMPARE(f_.fake->writes, (QList<QByteArray>{"12345", "678"}));
        QCOMPARE(data().RefusedBytes, 2u);
        QCOMPARE(TxToolTip(), TxNotesEnglish.arg(0).arg(2));
        f_.fake->release(8);
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 8"));
        // With room again a send goes out whole.
        sendByHand(QStringLiteral("abc"));
        f_.fake->release(3);
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 11"));
        QCOMPARE(data().RefusedBytes, 2u);
        QVERIFY(f_.messages.texts().isEmpty());
        Form1->Button3->click();
        QCOMPARE(data().RefusedBytes, 0u);
        QCOMPARE(TxToolTip(), TxNotesEnglish.arg(0).arg(0));
    }
};

QTEST_MAIN(SendTest)
#include "test_send_gui.moc"
