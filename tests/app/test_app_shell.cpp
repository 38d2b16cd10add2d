#include <QAction>
#include <QLayout>
#include <QTemporaryDir>
#include <QTest>

#include "app/aboutbox.h"
#include "app/languagewindow.h"
#include "app/lifecycle.h"
#include "app/mainwindow.h"
#include "app/manual.h"
#include "app/progresswindow.h"
#include "app/sendviews.h"
#include "app/startup.h"
#include "app/windows.h"
#include "core/language.h"
#include "core/messages.h"
#include "factory/formtest.h"
#include "serial/portnames.h"
#include "serial/qtserialdevice.h"
#include "serial/serialform.h"
#include "tests/support/accessibility.h"
#include "tests/support/fakeserialdevice.h"
#include "tests/support/files.h"
#include "tests/support/menus.h"
#include "tests/support/processes.h"

#include <pty.h>
#include <unistd.h>

#include <csignal>

// The application shell in English: windows, controls, texts, timers, progress, About box and
// the exit paths.
class AppShellTest : public QObject {
    Q_OBJECT

    QList<int> exits_;
    QList<Message> messages_;

    template <typename T = QWidget>
    static T* control(const char* name) {
        T* found = Form1->findChild<T*>(QString::fromLatin1(name));
        if (!found) qFatal("no control %s", name);
        return found;
    }

  private slots:
    void initTestCase() {
        LanguageFlag = 1;
        SetProcessExit([this](int status) { exits_ << status; });
        SetMessagePresenter([this](const Message& m) {
            messages_ << m;
            return MessageAnswer::Ok;
        });
        CreateWindows();
    }

    void windowsExistWithTheirClasses() {
        const QList<QPair<QWidget*, const char*>> windows{{Form1, "TForm1"},
                                                          {Form2, "TForm2"},
                                                          {Serial_Form, "TSerial_Form"},
                                                          {Form_Progress, "TForm_Progress"},
                                                          {AboutBox, "TAboutBox"},
                                                          {FormTest, "TFormTest"}};
        for (const auto& [window, className] : windows) {
            QVERIFY2(window != nullptr, className);
            QCOMPARE(window->metaObject()->className(), className);
            QVERIFY2(window->isWindow(), className);
            QVERIFY2(!window->isVisible(), className);
        }
        QCOMPARE(Form2->windowTitle(), QStringLiteral("WELCOM"));
        QVERIFY(Form2->Radio_Chinese->isChecked());
        QCOMPARE(FormTest->windowTitle(), QStringLiteral("测试"));
    }

    void timersHaveTheirPeriodsAndStartingStates() {
        const QList<std::tuple<const char*, int, bool>> timers{{"Timer_SdCmd", 10, false},
                                                               {"Timer_RecCmd", 10, false},
                                                               {"Timer_TrttData", 10, false},
                                                               {"Timer_RecData", 50, true},
                                                               {"Timer1", 100, true}};
        for (const auto& [name, period, active] : timers) {
            auto* timer = Form1->findChild<QTimer*>(QString::fromLatin1(name));
            QVERIFY2(timer, name);
            QCOMPARE(timer->interval(), period);
            QCOMPARE(timer->isActive(), active);
        }
    }

    void controlsCarryNamesTextsAndStates_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("shown");
        auto row = [](const char* name, const char* cls, const char* text, bool enabled,
                      bool shown) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(cls)
                                << QString::fromUtf8(text) << enabled << shown;
        };
        row("GroupBox3", "QGroupBox", "Model", true, true);
        row("ParaModel", "TPanel", "Model", true, true);
        row("ParaID", "TPanel", "SN", true, false);
        row("GroupBox1", "QGroupBox", "Para Set", true, true);
        row("ParaChnn", "TPanel", "Chno No.", true, true);
        row("ParaAriBaud", "TPanel", "Air Rate", true, true);
        row("ParaSerialBaud", "TPanel", "Uart Rate", true, true);
        row("GroupBox2", "QGroupBox", "Comunication", true, true);
        row("Panel8", "TPanel", "Receive", true, true);
        row("Check_RecHex", "QCheckBox", "Hex Display", true, true);
        row("Check_AutoClr", "QCheckBox", "Auto Cls", true, true);
        row("Button1", "QPushButton", "Stop Display", true, true);
        row("Button_ClrRecMemo", "QPushButton", "Cls RX Datas", true, true);
        row("Button3", "QPushButton", "Counter Reset", true, true);
        row("Panel9", "TPanel", "Transmitt", true, true);
        row("Button_ManulTrtt", "QPushButton", "Manual Send", true, true);
        row("Button_ClrTrttMemo", "QPushButton", "Cls TX datas", true, true);
        row("Check_AutoTrtt", "QCheckBox", "Auto Send", true, true);
        row("Label9", "QLabel", "TX Timeout", true, true);
        row("Label10", "QLabel", "MSEL", true, true);
        row("Check_TrttHex", "QCheckBox", "Hex Send", true, true);
        row("PanelTrttTest", "TPanel", "ERR TEST", true, false);
        row("CheckTrtt", "QCheckBox", "RECORD", true, false);
        row("Panel3", "TPanel", "TX CNT", true, false);
        row("Panel4", "TPanel", "RX CNT", true, false);
        row("Panel7", "TPanel", "REC ERR", true, false);
        row("Label1", "QLabel", "NoRec", true, false);
        row("Panel5", "TPanel", "SUCESS", true, false);
        row("Panel6", "TPanel", "%", true, false);
        row("Panel10", "TPanel", "", true, true);
        row("Panel11", "TPanel", "", true, true);
    }
    void controlsCarryNamesTextsAndStates() {
        QFETCH(QString, name);
        QFETCH(QString, className);
        QFETCH(QString, text);
        QFETCH(bool, enabled);
        QFETCH(bool, shown);
        auto* widget = Form1->findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
        QCOMPARE(CaptionOf(widget), text);
        QCOMPARE(widget->isEnabled(), enabled);
        QCOMPARE(widget->isVisibleTo(Form1), shown);
    }

    void editsAndListsStartAsDesigned() {
        QCOMPARE(Form1->Edit_TrttPerio->text(), QStringLiteral("1000"));
        QCOMPARE(Form1->EditID->text(), QString());
        QVERIFY(!Form1->EditID->isVisibleTo(Form1));
        QVERIFY(!Form1->EditModelVer->isEnabled());
        QVERIFY(Form1->Check_AutoClr->isChecked());
        QVERIFY(!Form1->Check_RecHex->isChecked() && !Form1->Check_AutoTrtt->isChecked());
        for (auto [edit, text] : {std::pair{Form1->Edit1, ""},
                                  {Form1->Edit2, ""},
                                  {Form1->Edit3, ""},
                                  {Form1->Edit4, ""},
                                  {Form1->Edit5, "Edit5"},
                                  {Form1->Edit6, "Edit6"},
                                  {Form1->Edit7, "Edit7"}}) {
            QCOMPARE(edit->text(), QString::fromLatin1(text));
        }
        QCOMPARE(Form1->ComboChnn->count(), 12);
        QCOMPARE(Form1->ComboChnn->itemText(11), QStringLiteral("NO.12"));
        QCOMPARE(Form1->ComboAirBaud->itemText(9), QStringLiteral("56000"));
        QVERIFY(!Form1->ComboAirBaud->isEnabled());
        QCOMPARE(Form1->ComboRadioSerBaud->itemText(8), QStringLiteral("115200"));
        QCOMPARE(Form1->ComboRadioParity->count(), 3);
        QCOMPARE(Form1->ComboRadioParity->itemText(2), QStringLiteral("E"));
        for (QComboBox* list : {Form1->ComboChnn, Form1->ComboAirBaud, Form1->ComboRadioSerBaud,
                                Form1->ComboRadioParity}) {
            QVERIFY(list->isEditable());
            QCOMPARE(list->currentIndex(), -1);
        }
    }

    void toolbarAndMenusAsDesigned() {
        const QList<std::tuple<QToolButton*, const char*, bool>> buttons{
            {Form1->Speed_R, "Read Para", true}, {Form1->Speed_W, "Write Para", false},
            {Form1->Speed_O, "Open Port", true}, {Form1->Speed_C, "Close Port", true},
            {Form1->BitBtn1, "About", true},     {Form1->Speed_E, "Exit", true}};
        int lastPosition = -1;
        for (const auto& [button, tip, enabled] : buttons) {
            QCOMPARE(button->toolTip(), QString::fromLatin1(tip));
            QCOMPARE(button->isEnabled(), enabled);
            QVERIFY2(!button->icon().pixmap(28, QIcon::Normal).isNull(), tip);
            QVERIFY2(!button->icon().pixmap(28, QIcon::Disabled).isNull(), tip);
            QCOMPARE(button->parentWidget(), Form1->Panel1);
            const int position = Form1->Panel1->layout()->indexOf(button);
            QVERIFY(position > lastPosition);
            lastPosition = position;
        }
        const QList<std::tuple<QObject*, const char*, bool, bool>> items{
            {Form1->FIle_M, "File(&F)", true, true},
            {Form1->FileRead, "Read Paras(&R)", true, true},
            {Form1->FileWrite, "Write Paras(&W)", false, true},
            {Form1->FileSaveProfile, "Save Profile(&S)…", true, true},
            {Form1->FileLoadProfile, "Load Profile(&L)…", true, true},
            {Form1->FileExit, "Exit(&X)", true, true},
            {Form1->Seri_M, "Edit(&E)", true, true},
            {Form1->Seri_O_M, "Open Port(&O)", true, true},
            {Form1->Seri_C_M, "Close Port(&C)", true, true},
            {Form1->Help_M, "Help(&H)", true, true},
            {Form1->Help_U_M, "User Manual(&M)", true, true},
            {Form1->Help_A_M, "About(&A)", true, true},
            {Form1->Test_M, "Test", false, false}};  // Qt disables a hidden action
        for (const auto& [item, caption, enabled, visible] : items) {
            QCOMPARE(CaptionOf(item), QString::fromUtf8(caption));
            if (auto* action = qobject_cast<QAction*>(item)) {
                QVERIFY2(action->isEnabled() == enabled, caption);
                QVERIFY2(action->isVisible() == visible, caption);
            }
        }
        QVERIFY(Form1->N2->isSeparator() && Form1->N3->isSeparator());
        QAction* fileLog = Form1->findChild<QAction*>(QStringLiteral("FileLog"));
        QAction* production = Form1->findChild<QAction*>(QStringLiteral("FileProduction"));
        QVERIFY(fileLog && production);
        QCOMPARE(
            Form1->FIle_M->actions(),
            (QList<QAction*>{Form1->FileRead, Form1->FileWrite, Form1->N3, Form1->FileSaveProfile,
                             Form1->FileLoadProfile, production, Sends->FileSendFile,
                             Form1->Memo_Rec->SaveAction, fileLog, Form1->N2, Form1->FileExit}));
        QVERIFY(Form1->Test_M->menu() == nullptr);
    }

    // Alt and a letter reach one item, in every menu; the Test menu counts once revealed.
    void everyMenuItemHasALetterOfItsOwn() {
        const QStringList faults = SharedAccelerators(Form1->MainMenu1);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral("; "))));
        QCOMPARE(AcceleratorOf(Form1->FileSaveProfile->text()), QStringLiteral("S"));
        QCOMPARE(AcceleratorOf(Form1->Help_U_M->text()), QStringLiteral("M"));
    }

    void userManualOpensTheInstalledPage() {
        QTemporaryDir root;
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("bin")));
        QVERIFY(QDir(root.path()).mkpath(QStringLiteral("share/doc/tvrsetup")));
        const QString page = root.filePath(QStringLiteral("share/doc/tvrsetup/README.html"));
        QVERIFY(WriteFile(page, "<h1>TVR Setup</h1>"));
        QList<QUrl> opened;
        bool browserStarts = true;
        Form1->OpenUrl = [&](const QUrl& url) {
            opened << url;
            return browserStarts;
        };
        Form1->LocateManual = [&] {
            return ManualUrl(root.filePath(QStringLiteral("bin")),
                             QStringLiteral("../share/doc/tvrsetup"));
        };
        messages_.clear();
        Form1->Help_U_M->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(page)});
        QVERIFY(QFileInfo(opened.first().toLocalFile()).isFile());
        QVERIFY(messages_.isEmpty());

        browserStarts = false;
        Form1->Help_U_M->trigger();
        QCoreApplication::processEvents();
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(messages_.last().text, QStringLiteral("Cannot open the user manual ") +
                                            QFileInfo(page).canonicalFilePath());

        // A program run from its build folder has no manual beside it, and says so.
        opened.clear();
        Form1->LocateManual = &InstalledManualUrl;
        Form1->Help_U_M->trigger();
        QCoreApplication::processEvents();
        QVERIFY(opened.isEmpty());
        QCOMPARE(messages_.last().text, QStringLiteral("The user manual is not installed."));
        messages_.clear();
    }

    void statusPanelsHaveWidthsAndTexts() {
        const QStringList texts{"", "COMX", "XXXX-X-1", "Disconnect...", "TX :0", "RX:0"};
        for (int i = 0; i < TForm1::StatusPanelCount; ++i) {
            QCOMPARE(Form1->statusText(i), texts[i]);
            auto* panel =
                Form1->StatusBar1->findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(i));
            QCOMPARE(panel->width() == TForm1::StatusPanelWidths[i] || i == 0, true);
            QCOMPARE(panel->maximumWidth(), TForm1::StatusPanelWidths[i]);
        }
        QCOMPARE(Form1->Panel10->maximumWidth(), 45);
        QCOMPARE(Form1->Panel11->maximumWidth(), 40);
    }

    // Before the main window has ever been shown or activated.
    void portDialogIsInEnglishFromTheStart() {
        QVERIFY(!Form1->isVisible());
        QCOMPARE(Serial_Form->windowTitle(), QStringLiteral("Port Property"));
        const QList<std::pair<const char*, const char*>> captions{
            {"GroupBox1", "Port Set"}, {"Label2", "Port No."},  {"Label1", "Port Rate"},
            {"Label3", "Parity"},      {"Label4", "Data bits"}, {"Label5", "Stop bits"},
            {"Button1", "OK"},         {"Button2", "Cancel"}};
        for (const auto& [name, caption] : captions) {
            QCOMPARE(CaptionOf(Serial_Form->findChild<QObject*>(QString::fromLatin1(name))),
                     QString::fromLatin1(caption));
        }
        QCOMPARE(Serial_Form->ComboParity->count(), 3);
        QCOMPARE(Serial_Form->ComboParity->currentIndex(), 0);
        QCOMPARE(Serial_Form->ComboParity->currentText(), QStringLiteral("N"));
    }

    // The window system is given the captions as they are: no application name appended.
    void captionsCarryNoApplicationName() {
        ConfigureApplication();
        QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
        QCOMPARE(Form1->windowTitle(), QStringLiteral("TVR900 Transceiver Test Software"));
    }

    void layoutGroupsTheControls() {
        for (QComboBox* w : {Form1->ComboChnn, Form1->ComboAirBaud, Form1->ComboRadioSerBaud,
                             Form1->ComboRadioParity}) {
            QCOMPARE(w->parentWidget(), Form1->GroupBox1);
        }
        QCOMPARE(Form1->EditModelVer->parentWidget(), Form1->GroupBox3);
        Form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(Form1));
        auto top = [](QWidget* w) { return w->mapTo(Form1, QPoint(0, 0)).y(); };
        auto left = [](QWidget* w) { return w->mapTo(Form1, QPoint(0, 0)).x(); };
        QVERIFY(top(Form1->GroupBox3) < top(Form1->GroupBox1));
        QVERIFY(left(Form1->GroupBox1) < left(Form1->GroupBox2));
        const QList<QWidget*> receiveColumn{
            Form1->Panel8,  Form1->Check_RecHex,      Form1->Check_AutoClr,
            Form1->Button1, Form1->Button_ClrRecMemo, Form1->Button3};
        for (int i = 1; i < receiveColumn.size(); ++i) {
            QVERIFY(top(receiveColumn[i - 1]) < top(receiveColumn[i]));
            QVERIFY(left(receiveColumn[i]) < left(Form1->Memo_Rec));
        }
        const QList<QWidget*> bottomLine{Form1->Check_AutoTrtt, Form1->Label9,
                                         Form1->Edit_TrttPerio, Form1->Label10,
                                         Form1->Check_TrttHex};
        for (int i = 1; i < bottomLine.size(); ++i) {
            QVERIFY(left(bottomLine[i - 1]) < left(bottomLine[i]));
        }
        QVERIFY(top(Form1->StatusBar1) > top(Form1->GroupBox2));
        QVERIFY(left(Form1->Panel10) > left(Form1->StatusBar1));
        QVERIFY(left(Form1->Panel11) > left(Form1->Panel10));
    }

    void modelBoxDiscardsTypedKeys() {
        Form1->EditModelVer->setEnabled(true);  // even if it could take the focus
        Form1->EditModelVer->setText(QStringLiteral("TVR-M401.2"));
        QTest::keyClicks(Form1->EditModelVer, QStringLiteral("xyz"));
        QTest::keyClick(Form1->EditModelVer, Qt::Key_Backspace);
        QCOMPARE(Form1->EditModelVer->text(), QStringLiteral("TVR-M401.2"));
        Form1->EditModelVer->setEnabled(false);
        Form1->EditModelVer->clear();
    }

    void activationAppliesTheAboutBoxTexts() {
        QVERIFY(QTest::qWaitForWindowActive(Form1));
        QCOMPARE(AboutBox->windowTitle(), QStringLiteral("About NMR"));
        QCOMPARE(AboutBox->Label1->text(), QStringLiteral("NMR"));
        QVERIFY(AboutBox->Copyright->text().contains(QStringLiteral("NMR")));
    }

    void revealShowsTheHiddenFeaturesAndGrowsTheWindow() {
        const int heightBefore = Form1->height();
        Form1->Panel11Click();
        Form1->Timer1Timer();
        Form1->Panel10Click();
        QVERIFY(Form1->Panel2->isVisible());
        QVERIFY(Form1->Test_M->isVisible());
        QVERIFY(Form1->Test_M->isEnabled());
        QVERIFY(Form1->ComboAirBaud->isEnabled());
        QVERIFY(Form1->height() > heightBefore);
    }

    void timer1StopsAfterItsWindow() {
        QVERIFY(Form1->Timer1->isActive());
        for (int i = 0; i < 82; ++i) Form1->Timer1Timer();
        QVERIFY(!Form1->Timer1->isActive());
        QCOMPARE(Form1->Reveal.RevealWindowOpen, uint8_t{0});
    }

    void progressWindowClampsAndShowsAgain() {
        ShowProgress(QStringLiteral("Connect"), QStringLiteral("Connecting.Please wait..."), 28);
        QVERIFY(Form_Progress->isVisible());
        QCOMPARE(Form_Progress->windowTitle(), QStringLiteral("Connect"));
        QCOMPARE(Form_Progress->Label1->text(), QStringLiteral("Connecting.Please wait..."));
        QCOMPARE(Form_Progress->ProgressBar1->maximum(), 28);
        SetProgress(-3);
        QCOMPARE(Form_Progress->ProgressBar1->value(), 0);
        SetProgress(40);
        QCOMPARE(Form_Progress->ProgressBar1->value(), 28);
        SetProgress(12);
        QCOMPARE(Form_Progress->ProgressBar1->value(), 12);

        ShowProgress(QStringLiteral("Read"), QStringLiteral("Reading.Please wait..."), 4);
        QCOMPARE(Form_Progress->windowTitle(), QStringLiteral("Read"));
        QCOMPARE(Form_Progress->ProgressBar1->maximum(), 4);
        QCOMPARE(Form_Progress->ProgressBar1->value(), 0);
        SetProgress(25);
        QCOMPARE(Form_Progress->ProgressBar1->value(), 4);

        Form_Progress->close();  // the user cannot close it
        QVERIFY(Form_Progress->isVisible());
        QVERIFY(!(Form_Progress->windowFlags() & Qt::WindowCloseButtonHint));
        QVERIFY(!Form_Progress->isModal());
        CloseProgress();
        QVERIFY(!Form_Progress->isVisible());
        ShowProgress(QStringLiteral("Write"), QStringLiteral("Writing.Please wait..."), 5);
        QVERIFY(Form_Progress->isVisible());
        CloseProgress();
    }

    void aboutBoxShowsAndHides() {
        Form1->Help_A_MClick();
        Form1->Help_A_MClick();
        QVERIFY(AboutBox->isVisible());
        QVERIFY(!AboutBox->isModal());
        QCOMPARE(AboutBox->ProductName->text(), QStringLiteral("TRANSCEIVER  SETUP SOFTWARE"));
        QCOMPARE(AboutBox->Version->text(), QStringLiteral("Version 1.02"));
        QVERIFY(!AboutBox->ProgramIcon->pixmap().isNull());
        QVERIFY(AboutBox->OKButton->isDefault());
        AboutBox->OKButton->click();
        QVERIFY(!AboutBox->isVisible());
        Form1->BitBtn1->click();
        QVERIFY(AboutBox->isVisible());
        AboutBox->close();
        QVERIFY(!AboutBox->isVisible());
        AboutBox->show();
        QVERIFY(AboutBox->isVisible());
        AboutBox->hide();
    }

    void testMenuOpensTheFactoryWindowAndStopsTheReceivePoll() {
        QVERIFY(Form1->Timer_RecData->isActive());
        Form1->Test_MClick();
        QVERIFY(FormTest->isVisible());
        QVERIFY(!Form1->Timer_RecData->isActive());
        FormTest->hide();
        Form1->startReceivePoll();
    }

    void everyExitEndsWithStatusOneAndClosesAnOpenPort() {
        exits_.clear();
        Form1->FileExitClick();
        Form1->Speed_EClick();
        Form1->close();
        QCOMPARE(exits_, (QList<int>{1, 1, 1}));
        QCOMPARE(Form1->statusText(3), QStringLiteral("Disconnect..."));  // no port: untouched
        QVERIFY(Form1->isVisible());

        auto journal = std::make_shared<DeviceJournal>();
        Link().setOpener(FakeOpener(journal));
        QVERIFY(Link().OpenPortByName(1));
        QVERIFY(Link().PortHandle());
        exits_.clear();
        Form1->Speed_EClick();
        QCOMPARE(exits_, QList<int>{1});
        QVERIFY(journal->events.last().startsWith("close"));
        QVERIFY(!Link().PortHandle());
        QCOMPARE(Form1->statusText(3), QStringLiteral("Disconnect"));
        QVERIFY(!Form1->Timer_RecData->isActive());
    }

    // A closed terminal, a logout or kill end the program the way Exit does: the port is closed
    // and its lock file gone.
    void terminationSignalsExitAsExitDoes_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP") << SIGHUP;
        QTest::newRow("SIGINT") << SIGINT;
    }
    void terminationSignalsExitAsExitDoes() {
        QFETCH(int, signal);
        static const bool watching = (ExitOnTerminationSignals(), true);
        QVERIFY(watching);
        int master = -1;
        int slave = -1;
        char name[128] = {};
        QVERIFY(::openpty(&master, &slave, name, nullptr, nullptr) == 0);
        ::close(slave);
        const QString device = QString::fromLatin1(name);
        SetPinnedPorts({device});
        Link().setOpener(OpenQtSerialDevice);
        QVERIFY(Link().OpenPortByName(1));
        QVERIFY(!SerialLockFiles(device).isEmpty());
        exits_.clear();
        QVERIFY(::kill(::getpid(), signal) == 0);
        QTRY_COMPARE_WITH_TIMEOUT(exits_, QList<int>{1}, 5000);
        QVERIFY(!Link().PortHandle());
        QCOMPARE(SerialLockFiles(device), QStringList{});
        ::close(master);
    }

    void closingThePortTwiceDoesNothingTheSecondTime() {
        Form1->startReceivePoll();
        Form1->setStatusText(3, QStringLiteral("unchanged"));
        Form1->Speed_CClick();
        QCOMPARE(Form1->statusText(3), QStringLiteral("unchanged"));
        QVERIFY(Form1->Timer_RecData->isActive());
    }

    void everyControlHasANameOfItsOwn() {
        for (QWidget* window : std::initializer_list<QWidget*>{Form1, Serial_Form}) {
            const QStringList faults = UnnamedOrSharedNames(window);
            QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QStringLiteral(", "))));
        }
    }

    void controlsAreNamedByTheirLabels_data() {
        QTest::addColumn<QWidget*>("control");
        QTest::addColumn<QString>("name");
        QTest::newRow("read button") << (QWidget*)Form1->Speed_R << "Read Para";
        QTest::newRow("channel") << (QWidget*)Form1->ComboChnn << "Chno No.";
        QTest::newRow("air rate") << (QWidget*)Form1->ComboAirBaud << "Air Rate";
        QTest::newRow("serial rate") << (QWidget*)Form1->ComboRadioSerBaud << "Uart Rate";
        QTest::newRow("parity") << (QWidget*)Form1->ComboRadioParity << "Parity";
        QTest::newRow("model") << (QWidget*)Form1->EditModelVer << "Model";
        QTest::newRow("received") << (QWidget*)Form1->Memo_Rec << "Receive";
        QTest::newRow("period") << (QWidget*)Form1->Edit_TrttPerio << "TX Timeout";
        QTest::newRow("dialog port") << (QWidget*)Serial_Form->Comb_ComNo << "Port No.";
        QTest::newRow("dialog rate") << (QWidget*)Serial_Form->ComboBaudRate << "Port Rate";
        QTest::newRow("frames sent") << (QWidget*)Form1->Edit1 << "Frames sent";
        QTest::newRow("replies matched") << (QWidget*)Form1->Edit2 << "Replies identical";
        QTest::newRow("same length") << (QWidget*)Form1->Edit4 << "Replies damaged";
        QTest::newRow("no reply") << (QWidget*)Form1->Edit5 << "Frames without reply";
        QTest::newRow("longer replies") << (QWidget*)Form1->Edit6 << "Longer replies";
        QTest::newRow("shorter replies") << (QWidget*)Form1->Edit7 << "Shorter replies";
        QTest::newRow("success rate") << (QWidget*)Form1->Edit3 << "Success rate, percent";
    }
    void controlsAreNamedByTheirLabels() {
        QFETCH(QWidget*, control);
        QFETCH(QString, name);
        QCOMPARE(AccessibleName(control), name);
    }

    void statusPanelsAreNamedByWhatTheyShow() {
        Form1->setStatusText(1, QStringLiteral("COM3"));
        Form1->setStatusText(2, QStringLiteral("38400-E-1"));
        Form1->setStatusText(4, QStringLiteral("TX :12"));
        const auto name = [](int panel) {
            return AccessibleName(
                Form1->StatusBar1->findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(panel)));
        };
        QCOMPARE(name(1), QStringLiteral("Port: COM3"));
        QCOMPARE(name(2), QStringLiteral("Port setting: 38400-E-1"));
        QCOMPARE(name(4), QStringLiteral("TX :12"));
    }
};

QTEST_MAIN(AppShellTest)
#include "test_app_shell.moc"
