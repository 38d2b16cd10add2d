#include <QLabel>
#include <QScrollBar>

#include "tests/support/windowfixture.h"

namespace {

// Bytes 0, 1, 2, ... wrapping at 256, and their hexadecimal display written out here.
QByteArray CountingBytes(int n) {
    QByteArray bytes(n, '\0');
    for (int i = 0; i < n; ++i) bytes[i] = static_cast<char>(i % 256);
    return bytes;
}
QString CountingHex(int n) {
    static const char digits[] = "0123456789ABCDEF";
    QString text;
    for (int i = 0; i < n; ++i) {
        if (i > 0) text += u' ';
        text += QChar(digits[(i % 256) / 16]);
        text += QChar(digits[i % 16]);
    }
    return text;
}

}  // namespace

// The receive poll against a port the test fills: reading, counting, text and hexadecimal
// display, stopping, clearing, lost bytes and the quiet ticks that trigger the loop-back reply.
class ReceiveTest : public QObject {
    Q_OBJECT

    WindowFixture f_;

    static DataTestEngine& data() { return Form1->Data->Engine; }

    void receive(const QByteArray& bytes) {
        f_.fake->feed(bytes);
        Form1->Timer_RecDataTimer();
    }

  private slots:
    void initTestCase() { f_.createWindows(true); }
    void init() {
        f_.resetDataTest();
        f_.useFake();
        f_.openPort();
    }

    void everyWaitingByteIsReadCountedAndShown_data() {
        QTest::addColumn<int>("waiting");
        QTest::newRow("1024") << 1024;
        QTest::newRow("100000, far more than the poll once took") << 100000;
    }
    void everyWaitingByteIsReadCountedAndShown() {
        QFETCH(int, waiting);
        Form1->Check_RecHex->setChecked(true);
        Form1->Check_AutoClr->setChecked(false);
        data().RecIdleTicks = 4;
        receive(CountingBytes(waiting));
        QCOMPARE(f_.fake->reads, QList<int64_t>{waiting});
        QVERIFY(f_.fake->waiting.isEmpty());
        QCOMPARE(data().RxByteCount, waiting);
        QCOMPARE(Form1->statusText(5), QStringLiteral("RX : %1").arg(waiting));
        QCOMPARE(data().RecIdleTicks, 0);
        QCOMPARE(RecText(), CountingHex(waiting));
    }

    void bytesWithZerosAreShown_data() {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("text leaves the zero out")
            << false << QByteArray("\x41\x00\x42", 3) << QStringLiteral("AB");
        QTest::newRow("text, zeros only") << false << QByteArray(4, '\0') << QString();
        QTest::newRow("hex shows every byte")
            << true << QByteArray("\x41\x00\x0D", 3) << QStringLiteral("41 00 0D");
    }
    void bytesWithZerosAreShown() {
        QFETCH(bool, hex);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        Form1->Check_RecHex->setChecked(hex);
        receive(bytes);
        QCOMPARE(RecText(), shown);
        QCOMPARE(data().RxByteCount, bytes.size());
    }

    void twoReadsInHexShareOneLine() {
        Form1->Check_RecHex->setChecked(true);
        receive("AB");
        receive("CD");
        QCOMPARE(RecText(), QStringLiteral("41 42 43 44"));
        QCOMPARE(RecLines(), 1);
    }

    void textKeepsItsLineBreaksAndSplitCharacters() {
        // A character split over two reads is shown whole once its last byte is in; a CR LF
        // split the same way is one line break, kept as it arrived.
        receive("first\r");
        receive("\nsecond \xE4\xB8");
        QCOMPARE(RecText(), QStringLiteral("first\r\nsecond "));
        receive("\xAD!");
        QCOMPARE(RecText(), QString::fromUtf8("first\r\nsecond 中!"));
        QCOMPARE(RecLines(), 2);
        QCOMPARE(data().RxByteCount, 18);
    }

    void longDataFlowsInRowsThatFitTheArea_data() {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("hex") << true << QByteArray("radio data ").repeated(300)
                             << QString::fromLatin1(
                                    QByteArray("radio data ").repeated(300).toHex(' ').toUpper());
        const QByteArray words =
            QByteArray("a quick brown fox jumps over the lazy dog ").repeated(70);
        QTest::newRow("text without breaks") << false << words << QString::fromLatin1(words);
    }
    void longDataFlowsInRowsThatFitTheArea() {
        QFETCH(bool, hex);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        Form1->Check_RecHex->setChecked(hex);
        Form1->Check_AutoClr->setChecked(false);
        // In ten pieces, as a slow line brings it.
        for (int i = 0; i < 10; ++i) receive(bytes.mid(i * bytes.size() / 10, bytes.size() / 10));
        QCOMPARE(RecText(), shown);
        QVERIFY2(RecLines() > 20, "the data fill many rows");
        QScrollBar* scroll = Form1->Memo_Rec->verticalScrollBar();
        QVERIFY(scroll->maximum() > 0);
        QCOMPARE(scroll->value(), scroll->maximum());
        // The other display shows the same data anew.
        Form1->Check_RecHex->setChecked(!hex);
        QCOMPARE(RecText(), hex ? QString::fromLatin1(bytes).remove(QChar(0))
                                : QString::fromLatin1(bytes.toHex(' ').toUpper()));
    }

    void stopAndContinue_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("stopped");
        QTest::addColumn<QString>("running");
        QTest::newRow("English") << 1 << "continue"
                                 << "Stop Displsy";
        QTest::newRow("Chinese") << 0 << QString::fromUtf8("继续显示")
                                 << QString::fromUtf8("停止显示");
    }
    void stopAndContinue() {
        QFETCH(int, language);
        QFETCH(QString, stopped);
        QFETCH(QString, running);
        LanguageFlag = static_cast<uint8_t>(language);
        receive("before ");
        Form1->Button1->click();
        QCOMPARE(int(data().RecDisplayStopped), 1);
        QCOMPARE(Form1->Button1->text(), stopped);
        receive("while stopped");
        QCOMPARE(RecText(), QStringLiteral("before "));
        QCOMPARE(data().RxByteCount, 7);
        QCOMPARE(Form1->statusText(5), QStringLiteral("RX : 7"));
        QVERIFY(f_.fake->waiting.isEmpty());
        Form1->Button1->click();
        QCOMPARE(int(data().RecDisplayStopped), 0);
        QCOMPARE(Form1->Button1->text(), running);
        receive("after");
        QCOMPARE(RecText(), QStringLiteral("before after"));
        QCOMPARE(data().RxByteCount, 12);
    }

    void stoppedDisplayStillFeedsTheLoopBackTest() {
        data().ErrTestActive = 1;
        Form1->Button1Click();
        receive(QByteArray("ec\0ho", 5));
        QCOMPARE(data().ErrTestRxText, QByteArray("ec\0ho", 5));
        QCOMPARE(RecText(), QString());
    }

    // Checked, more than 100 lines empty the area; unchecked, it keeps what its store holds.
    void automaticClearing_data() {
        QTest::addColumn<bool>("autoClear");
        QTest::addColumn<int>("lines");
        QTest::addColumn<bool>("cleared");
        QTest::newRow("on: more than 100") << true << 100 << true;
        QTest::newRow("off: no limit of lines") << false << 1500 << false;
    }
    void automaticClearing() {
        QFETCH(bool, autoClear);
        QFETCH(int, lines);
        QFETCH(bool, cleared);
        Form1->Check_AutoClr->setChecked(autoClear);
        QByteArray text;
        for (int i = 1; i <= lines; ++i)
            text += QByteArray("line ") + QByteArray::number(i) + "\r\n";
        for (qsizetype done = 0; done < text.size(); done += 1024) receive(text.mid(done, 1024));
        QCOMPARE(RecLines(), lines);
        QVERIFY(RecText().endsWith(QStringLiteral("line %1\r\n").arg(lines)));
        receive("one more\r\n");
        QCOMPARE(RecText().isEmpty(), cleared);
        QCOMPARE(RecLines(), cleared ? 0 : lines + 1);
        QCOMPARE(data().RxByteCount, text.size() + 10);
        receive("fresh");
        QVERIFY(RecText().endsWith(QStringLiteral("fresh")));
    }

    void clearButtonsLeaveTheOtherState() {
        receive("12345");
        Form1->Button_ClrRecMemo->click();
        QCOMPARE(RecText(), QString());
        QCOMPARE(Form1->statusText(5), QStringLiteral("RX : 5"));
        Form1->Memo_Trtt->setPlainText(QStringLiteral("to send"));
        Form1->Button_ClrTrttMemo->click();
        QCOMPARE(Form1->Memo_Trtt->toPlainText(), QString());
        QCOMPARE(data().RxByteCount, 5);
    }

    // After Cls RX Datas the text begins with the first character that begins after it: no
    // half of a character cut by the clearing shows as a replacement character.
    void clearingLeavesNoHalfCharacter_data() {
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("its rest comes") << false
                                        << QByteArray(
                                               "\xAD"
                                               "next");
        QTest::newRow("its rest never comes") << false << QByteArray("next");
        QTest::newRow("cut while shown in hexadecimal") << true
                                                        << QByteArray(
                                                               "\xAD"
                                                               "next");
    }
    void clearingLeavesNoHalfCharacter() {
        QFETCH(bool, hex);
        QFETCH(QByteArray, after);
        Form1->Check_RecHex->setChecked(hex);
        receive("before \xE4\xB8");
        Form1->Button_ClrRecMemo->click();
        receive(after);
        Form1->Check_RecHex->setChecked(false);
        QCOMPARE(RecText(), QStringLiteral("next"));
        QCOMPARE(data().RxByteCount, 9 + after.size());
    }

    void seventhQuietTickReturnsTheEcho() {
        // Echo station: RECORD unchecked, the test started with a non-empty transmit area.
        Form1->Memo_Trtt->setPlainText(QStringLiteral("x"));
        Form1->PanelTrttTestClick();
        QVERIFY(Form1->PanelTrttTest->isLowered());
        const QByteArray frame("pi\0ng\r\n", 7);
        receive(frame);
        for (int quiet = 1; quiet <= 6; ++quiet) {
            Form1->Timer_RecDataTimer();
            QVERIFY2(f_.fake->writes.isEmpty(), qPrintable(QString::number(quiet)));
            QCOMPARE(data().RecIdleTicks, quiet);
        }
        Form1->Timer_RecDataTimer();
        QCOMPARE(f_.fake->writes, QList<QByteArray>{frame});
        QCOMPARE(data().RecIdleTicks, 0);
        QVERIFY(data().ErrTestRxText.isEmpty());
        QCOMPARE(data().TxByteCount, 0);
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : 0"));
        // Nothing more to return: the quiet ticks go on without writing.
        for (int quiet = 1; quiet <= 10; ++quiet) Form1->Timer_RecDataTimer();
        QCOMPARE(f_.fake->writes.size(), 1);
    }

    void lostBytesAreShownUntilTheCounterReset_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("shown");
        QTest::newRow("English") << 1 << "Lost: %1";
        QTest::newRow("Chinese") << 0 << QString::fromUtf8("丢失：%1");
    }
    void lostBytesAreShownUntilTheCounterReset() {
        QFETCH(int, language);
        QFETCH(QString, shown);
        LanguageFlag = static_cast<uint8_t>(language);
        const QLabel* lost = Form1->StatusLost;
        Form1->Timer_RecDataTimer();
        QVERIFY(lost->isHidden());
        f_.fake->drop(5);
        Form1->Timer_RecDataTimer();
        QVERIFY(!lost->isHidden());
        QCOMPARE(lost->text(), shown.arg(5));
        f_.fake->drop(3);
        receive("data");
        QCOMPARE(lost->text(), shown.arg(8));
        QCOMPARE(data().LostBytes, 8u);
        QCOMPARE(data().RxByteCount, 4);
        // Bytes lost before the reset belong to the old count, even when no tick saw them.
        f_.fake->drop(6);
        Form1->Button3->click();
        QVERIFY(lost->isHidden());
        QCOMPARE(data().LostBytes, 0u);
        Form1->Timer_RecDataTimer();
        QVERIFY(lost->isHidden());
        f_.fake->drop(2);
        Form1->Timer_RecDataTimer();
        QVERIFY(!lost->isHidden());
        QCOMPARE(lost->text(), shown.arg(2));
    }

    void closedPortTickDoesNothing() {
        Link().ClosePort();
        data().RecIdleTicks = 3;
        Form1->Timer_RecDataTimer();
        QCOMPARE(data().RecIdleTicks, 3);
        QVERIFY(f_.messages.texts().isEmpty());
    }
};

QTEST_MAIN(ReceiveTest)
#include "test_receive_gui.moc"
