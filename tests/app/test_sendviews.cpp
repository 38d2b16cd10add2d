#include <QTemporaryDir>
#include <QTest>

#include "app/sendviews.h"
#include "tests/support/files.h"
#include "tests/support/windowfixture.h"

Q_DECLARE_METATYPE(LineEnding)

// The line ending of text sends, the history of the transmit area, File > Send File… and the
// saved sends, on the program's windows with a fake port.
class SendViewsTest : public QObject {
    Q_OBJECT

    WindowFixture f_;
    QTemporaryDir dir_;

    static DataTestEngine& data() { return Form1->Data->Engine; }
    static TFormSavedSends* saved() { return Sends->SavedSendsWindow; }
    static TFormFileSend* fileWindow() { return Sends->FileSendWindow; }

    static void sendByHand(const QString& text) {
        Form1->Memo_Trtt->setPlainText(text);
        Form1->Button_ManulTrtt->click();
    }

    static void pressInTransmitArea(Qt::Key key) { QTest::keyClick(Form1->Memo_Trtt, key); }

    // Ticks the file window, the driver taking what it is given, until the send ends; false
    // after maxTicks.
    bool runFileSend(int maxTicks = 10000) {
        for (int i = 0; i < maxTicks && fileWindow()->Send.sending(); ++i)
            fileWindow()->TimerTimer();
        Settle();
        return !fileWindow()->Send.sending();
    }

    QString fileOf(const QByteArray& bytes) {
        const QString path = dir_.filePath(QStringLiteral("send.bin"));
        if (!WriteFile(path, bytes)) qFatal("cannot write the test file");
        return path;
    }

  private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        f_.createWindows(true);
    }
    void cleanupTestCase() { Link().ClosePort(); }
    void init() {
        f_.resetDataTest();
        f_.useFake();
        f_.journal->written.clear();
        Form1->Data->History.setEntries({});
        Sends->setSavedSends({});
        fileWindow()->hide();
    }

    void lineEndingOfTextSends_data() {
        QTest::addColumn<int>("choice");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("CR LF, as at start") << 0 << QByteArray("a\r\nb");
        QTest::newRow("LF") << 1 << QByteArray("a\nb");
        QTest::newRow("CR") << 2 << QByteArray("a\rb");
        QTest::newRow("none") << 3 << QByteArray("ab");
    }
    void lineEndingOfTextSends() {
        QFETCH(int, choice);
        QFETCH(QByteArray, sent);
        f_.openPort();
        Form1->Combo_LineEnd->setCurrentIndex(choice);
        sendByHand(QStringLiteral("a\nb"));
        QCOMPARE(f_.fake->writes, QList<QByteArray>{sent});
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : %1").arg(sent.size()));
        // Hexadecimal sends are bytes as they are.
        Form1->Check_TrttHex->setChecked(true);
        sendByHand(QStringLiteral("0D\n0A"));
        QCOMPARE(f_.fake->writes.last(), QByteArray("\r\n"));
    }

    void lineEndingCaptions() {
        QCOMPARE(Form1->Label_LineEnd->text(), QStringLiteral("Line End"));
        QCOMPARE(Form1->Label_LineEnd->buddy(), Form1->Combo_LineEnd);
        QCOMPARE(Form1->Combo_LineEnd->itemText(3), QStringLiteral("None"));
        QCOMPARE(Form1->Combo_LineEnd->currentText(), QStringLiteral("CR LF"));
    }

    // Up in the first line recalls older texts sent by hand, Down in the last newer ones and
    // at the end what was being typed; elsewhere they move the cursor.
    void historyInTheTransmitArea() {
        f_.openPort();
        sendByHand(QStringLiteral("one"));
        sendByHand(QStringLiteral("two\nlines"));
        // A refused send is not kept.
        Link().ClosePort();
        sendByHand(QStringLiteral("not sent"));
        QCOMPARE(Form1->Data->History.entries(), (QStringList{"one", "two\nlines"}));

        Form1->Memo_Trtt->setFocus();
        Form1->Memo_Trtt->setPlainText(QStringLiteral("draft"));
        pressInTransmitArea(Qt::Key_Up);
        QCOMPARE(Form1->Memo_Trtt->toPlainText(), QStringLiteral("two\nlines"));
        // The cursor is at the end of the recalled text: Up moves it to the first line first.
        pressInTransmitArea(Qt::Key_Up);
        QCOMPARE(Form1->Memo_Trtt->toPlainText(), QStringLiteral("two\nlines"));
        pressInTransmitArea(Qt::Key_Up);
        QCOMPARE(Form1->Memo_Trtt->toPlainText(), QStringLiteral("one"));
        pressInTransmitArea(Qt::Key_Up);
        QCOMPARE(Form1->Memo_Trtt->toPlainText(), QStringLiteral("one"));
        pressInTransmitArea(Qt::Key_Down);
        QCOMPARE(Form1->Memo_Trtt->toPlainText(), QStringLiteral("two\nlines"));
        pressInTransmitArea(Qt::Key_Down);
        QCOMPARE(Form1->Memo_Trtt->toPlainText(), QStringLiteral("draft"));
    }

    // The file's bytes as they are, whatever the line ending, counted by the TX counter.
    void sendsAFile() {
        f_.openPort(8);
        Form1->Combo_LineEnd->setCurrentIndex(3);
        QByteArray bytes;
        for (int i = 0; i < 20000; ++i) bytes += char(i % 251);
        bytes += "\n\r\n";
        Sends->ChooseSendFile = [&] { return fileOf(bytes); };
        Sends->FileSendFile->trigger();
        QVERIFY(fileWindow()->isVisible());
        QVERIFY(fileWindow()->Timer->isActive());
        QVERIFY(runFileSend());
        QCOMPARE(f_.journal->written, bytes);
        QCOMPARE(fileWindow()->Progress->value(), TFormFileSend::ProgressSteps);
        QVERIFY2(fileWindow()->LabelState->text().startsWith(
                     QStringLiteral("Sent: %1 of %1 bytes").arg(bytes.size())),
                 qPrintable(fileWindow()->LabelState->text()));
        QVERIFY(!fileWindow()->Timer->isActive());
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : %1").arg(bytes.size()));
        QVERIFY(f_.messages.texts().isEmpty());
    }

    void fileSendRefusedOrStopped() {
        Sends->ChooseSendFile = [&] { return fileOf("x"); };
        Sends->FileSendFile->trigger();
        QCOMPARE(f_.messages.last(), QStringLiteral("Port not opened"));
        QVERIFY(!fileWindow()->Send.sending());

        f_.openPort();
        Sends->ChooseSendFile = [&] { return dir_.path(); };
        Sends->FileSendFile->trigger();
        QCOMPARE(f_.messages.last(),
                 QStringLiteral("Cannot send the file:\n%1: not a regular file").arg(dir_.path()));

        f_.fake->holdSending(true);
        Sends->ChooseSendFile = [&] { return fileOf(QByteArray(5000, 'x')); };
        Sends->FileSendFile->trigger();
        fileWindow()->TimerTimer();
        Link().ClosePort();
        fileWindow()->TimerTimer();
        QVERIFY(!fileWindow()->Send.sending());
        QVERIFY(f_.messages.last().startsWith(
            QStringLiteral("The file send stopped:\nthe port closed; 0 of 5000 bytes")));
        QCOMPARE(fileWindow()->ButtonCancel->text(), QStringLiteral("Close"));
    }

    void cancelStopsTheFile() {
        f_.openPort();
        f_.fake->holdSending(true);
        Sends->ChooseSendFile = [&] { return fileOf(QByteArray(5000, 'x')); };
        Sends->FileSendFile->trigger();
        fileWindow()->TimerTimer();
        QVERIFY(f_.fake->bytesToWrite() > 0);
        fileWindow()->ButtonCancel->click();
        QCOMPARE(f_.fake->bytesToWrite(), 0);
        QVERIFY(!fileWindow()->Timer->isActive());
        QVERIFY(fileWindow()->LabelState->text().startsWith(QStringLiteral("Cancelled: ")));
        QVERIFY(f_.messages.texts().isEmpty());
        fileWindow()->ButtonCancel->click();
        QVERIFY(!fileWindow()->isVisible());
    }

    // By a click, the window's Send, Ctrl+1 in the main window; the checksum follows the bytes
    // and the TX counter counts both.
    void savedSendsGoOut() {
        f_.openPort();
        Sends->setSavedSends({{"modbus", "01 03 00 00 00 02", true, Checksum::Crc16Modbus, 1000},
                              {"text", "AT\n", false, Checksum::None, 1000}});
        Form1->Combo_LineEnd->setCurrentIndex(1);
        QCOMPARE(saved()->Table->topLevelItemCount(), 2);
        QCOMPARE(saved()->Table->topLevelItem(0)->text(TFormSavedSends::KeyColumn),
                 QStringLiteral("Ctrl+1"));
        saved()->sendRow(0);
        QCOMPARE(f_.fake->writes.last(), QByteArray::fromHex("010300000002C40B"));
        saved()->Table->setCurrentItem(saved()->Table->topLevelItem(1));
        saved()->ButtonSend->click();
        QCOMPARE(f_.fake->writes.last(), QByteArray("AT\n"));

        QVERIFY(Form1->actions().contains(saved()->ShortcutActions[0]));
        QCOMPARE(saved()->ShortcutActions[1]->shortcut(), QKeySequence(QStringLiteral("Ctrl+2")));
        Form1->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(Form1));
        QTest::keyClick(Form1, Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(f_.fake->writes.size(), 3);
        QCOMPARE(f_.fake->writes.last(), QByteArray("AT\n"));
        // Past the list: nothing.
        QTest::keyClick(Form1, Qt::Key_3, Qt::ControlModifier);
        QCOMPARE(f_.fake->writes.size(), 3);
        QCOMPARE(Form1->statusText(4), QStringLiteral("TX : %1").arg(8 + 3 + 3));

        Link().ClosePort();
        saved()->sendRow(0);
        QCOMPARE(f_.messages.last(), QStringLiteral("Port not opened"));
    }

    // A repeat waits for the previous send to leave and stops, saying so, once the port is
    // closed.
    void repeatedSends() {
        f_.openPort();
        Sends->setSavedSends({{"ping", "50", true, Checksum::Xor8, 250}});
        QTreeWidgetItem* repeat = saved()->Table->topLevelItem(0);
        repeat->setCheckState(TFormSavedSends::RepeatColumn, Qt::Checked);
        QVERIFY(saved()->repeating(0));
        saved()->repeatTimer(0);
        QCOMPARE(f_.fake->writes, QList<QByteArray>{QByteArray("\x50\x50")});
        f_.fake->holdSending(true);
        saved()->repeatTimer(0);
        saved()->repeatTimer(0);
        QCOMPARE(f_.fake->writes.size(), 2);
        // The periodic send of the transmit area is not involved.
        QCOMPARE(data().TrttTickCount, 0);
        QVERIFY(!Form1->Timer_TrttData->isActive());

        Link().ClosePort();
        saved()->repeatTimer(0);
        QVERIFY(!saved()->repeating(0));
        QCOMPARE(repeat->checkState(TFormSavedSends::RepeatColumn), Qt::Unchecked);
        QCOMPARE(f_.messages.texts(), QStringList{"Port not opened"});
    }

    void editingSends() {
        saved()->EditName->setText(QStringLiteral("frame"));
        saved()->EditData->setPlainText(QStringLiteral("55 AA 03 10 00 00"));
        saved()->CheckHex->setChecked(true);
        saved()->ComboChecksum->setCurrentIndex(1);
        QCOMPARE(saved()->LabelBytes->text(), QStringLiteral("55 AA 03 10 00 00 00 13"));
        saved()->ButtonAdd->click();
        QCOMPARE(saved()->savedSends().size(), 1);
        QCOMPARE(saved()->savedSends()[0].checksum, Checksum::RadioSum16);

        // A text send's breaks go out as the main window's line ending says.
        saved()->CheckHex->setChecked(false);
        saved()->ComboChecksum->setCurrentIndex(0);
        saved()->EditData->setPlainText(QStringLiteral("A\n"));
        QCOMPARE(saved()->LabelBytes->text(), QStringLiteral("41 0D 0A"));
        Form1->Combo_LineEnd->setCurrentIndex(1);
        QCOMPARE(saved()->LabelBytes->text(), QStringLiteral("41 0A"));

        saved()->CheckHex->setChecked(true);
        saved()->EditData->setPlainText(QStringLiteral("55 A"));
        QVERIFY(saved()->LabelBytes->text().contains("do not make whole bytes"));
        saved()->ButtonReplaceClick();
        QVERIFY(f_.messages.last().startsWith(QStringLiteral("The send cannot be kept:\n")));
        QCOMPARE(saved()->savedSends()[0].data, QStringLiteral("55 AA 03 10 00 00"));

        saved()->EditData->setPlainText(QStringLiteral("55"));
        saved()->ButtonReplaceClick();
        QCOMPARE(saved()->savedSends()[0].data, QStringLiteral("55"));
        saved()->Table->setCurrentItem(saved()->Table->topLevelItem(0));
        saved()->ButtonRemoveClick();
        QVERIFY(saved()->savedSends().isEmpty());
        QCOMPARE(saved()->Table->topLevelItemCount(), 0);
    }

    // Exported and imported again they are the same; an import joins those kept, and a bad
    // file adds nothing.
    void exportAndImport() {
        const QList<SavedSend> sends{{"a", "1", false, Checksum::Crc32, 100},
                                     {"b", "FF", true, Checksum::None, 2000}};
        Sends->setSavedSends(sends);
        const QString path = dir_.filePath(QStringLiteral("sends.json"));
        saved()->ChooseFile = [&](bool) { return path; };
        saved()->ButtonExportClick();
        saved()->ButtonImportClick();
        QCOMPARE(saved()->savedSends(), sends + sends);
        QCOMPARE(saved()->Table->topLevelItem(3)->text(TFormSavedSends::KeyColumn),
                 QStringLiteral("Ctrl+4"));

        QVERIFY(WriteFile(path, R"({"format": 1, "sends": [{"name": "a"}]})"));
        saved()->ButtonImportClick();
        QCOMPARE(f_.messages.last(),
                 QStringLiteral("Sends not imported:\n%1: send 1: needs \"name\" and \"data\"")
                     .arg(path));
        QCOMPARE(saved()->savedSends().size(), 4);
    }

    void menuEntries() {
        QVERIFY(Form1->FIle_M->actions().contains(Sends->FileSendFile));
        QCOMPARE(Form1->View_M->actions().first(), Sends->View_SavedSends);
        QCOMPARE(Sends->FileSendFile->text(), QStringLiteral("Send &File…"));
        Sends->View_SavedSends->trigger();
        QVERIFY(saved()->isVisible());
        saved()->hide();
    }
};

QTEST_MAIN(SendViewsTest)
#include "test_sendviews.moc"
