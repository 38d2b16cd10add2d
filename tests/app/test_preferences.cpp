#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "app/lifecycle.h"
#include "app/preferences.h"
#include "app/sendviews.h"
#include "app/startup.h"
#include "serial/serialform.h"
#include "tests/support/windowfixture.h"

// Preferences kept in a file of the test's own: what is remembered, how a later start takes it
// back, what the command line overrides and what --reset-settings forgets.
class PreferencesTest : public QObject {
    Q_OBJECT

    QTemporaryDir folder_;
    QString file_;
    WindowFixture f_;
    QList<int> exits_;

    static StartupOptions options(QStringList args) {
        args.prepend(QStringLiteral("tvrsetup"));
        return ParseCommandLine(args);
    }

    static QList<SavedSend> RememberedSends() {
        return {{"query", "AT+CH?\n", false, Checksum::Crc16Modbus, 500},
                {QString::fromUtf8("帧"), "55 AA 03 10 00 00", true, Checksum::RadioSum16, 1000}};
    }

    static RadioParameters radioAt(int baudRate) {
        RadioParameters parameters;
        parameters.line.baudRate = baudRate;
        return parameters;
    }

    // Line settings a read applied before the radio answered it.
    int settingsForARead() {
        Link().ClosePort();
        f_.settingsApplied = 0;
        f_.readRadio();
        return f_.settingsApplied;
    }

  private slots:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        file_ = folder_.filePath(QStringLiteral("tvrsetup.conf"));
        SetPreferencesFile(file_);
        SetProcessExit([this](int status) { exits_ << status; });
        f_.createWindows();
    }
    void cleanup() { LanguageFlag = 1; }

    void languageComesFromTheCommandLineThenTheFile_data() {
        QTest::addColumn<QString>("remembered");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("flag");
        QTest::addColumn<QString>("rememberedAfter");
        QTest::newRow("nothing remembered") << "" << QStringList{} << 1 << "en";
        QTest::newRow("remembered") << "zh" << QStringList{} << 0 << "zh";
        QTest::newRow("--lang overrides and is remembered")
            << "zh" << QStringList{"--lang", "en"} << 1 << "en";
        QTest::newRow("--reset-settings forgets")
            << "zh" << QStringList{"--reset-settings"} << 1 << "en";
    }
    void languageComesFromTheCommandLineThenTheFile() {
        QFETCH(QString, remembered);
        QFETCH(QStringList, args);
        QFETCH(int, flag);
        QFETCH(QString, rememberedAfter);
        ForgetPreferences();
        {
            QSettings settings(file_, QSettings::IniFormat);
            if (!remembered.isEmpty()) settings.setValue("language", remembered);
            settings.setValue("port/device", "/dev/ttyUSB0");
        }
        const Preferences saved = StartPreferences(options(args));
        QCOMPARE(int(LanguageFlag), flag);
        const bool reset = args.contains("--reset-settings");
        QCOMPARE(saved.portDevice, reset ? QString() : QString("/dev/ttyUSB0"));
        const QSettings settings(file_, QSettings::IniFormat);
        QCOMPARE(settings.value("language").toString(), rememberedAfter);
        QCOMPARE(settings.contains("port/device"), !reset);
    }

    // A read finds the radio at 38400; the window and the data test's choices are kept on exit.
    void remembersThePortWindowAndDataTestButNoRadioParameter() {
        ForgetPreferences();
        ApplyPreferences(LoadPreferences(), false);
        f_.useRadio(radioAt(38400));
        QCOMPARE(settingsForARead(), 7);  // from 9600-N-1 on
        Form1->move(130, 90);
        Form1->Edit_TrttPerio->setText("250");
        Form1->Check_RecHex->setChecked(true);
        Form1->Check_TrttHex->setChecked(true);
        Form1->Combo_LineEnd->setCurrentIndex(2);
        Form1->Data->History.setEntries({"AT", QString::fromUtf8("两行\n文本")});
        Sends->setSavedSends(RememberedSends());
        Form1->FileExitClick();
        QCOMPARE(exits_, QList<int>{1});

        QStringList keys = QSettings(file_, QSettings::IniFormat).allKeys();
        keys.sort();
        QCOMPARE(keys, (QStringList{"dataTest/history", "dataTest/lineEnding", "dataTest/period",
                                    "dataTest/receiveHex", "dataTest/sendHex", "port/device",
                                    "port/parity", "port/rate", "sends/saved", "window/geometry"}));
        const Preferences saved = LoadPreferences();
        QCOMPARE(saved.portDevice, QString("COM-TEST"));
        QCOMPARE(int(saved.baudIndex), 6);
        QCOMPARE(int(saved.parityIndex), 0);
        QCOMPARE(saved.sendPeriod, QString("250"));
        QVERIFY(saved.receiveHex && saved.sendHex);
        QCOMPARE(saved.lineEnding, LineEnding::Cr);
        QCOMPARE(saved.sendHistory, (QStringList{"AT", QString::fromUtf8("两行\n文本")}));
        QCOMPARE(saved.savedSends, RememberedSends());
    }

    // The next start: everything back, and the read finds the radio with its first setting.
    void aLaterStartTakesThemBack() {
        const Preferences saved = LoadPreferences();
        f_.resetDataTest();
        Form1->move(0, 0);
        Link().setSearchStart({});
        Serial_Form->selectRateAndParity(4, 0);
        ApplyPreferences(saved, false);
        QCOMPARE(Form1->pos(), QPoint(130, 90));
        QCOMPARE(Form1->Edit_TrttPerio->text(), QString("250"));
        QVERIFY(Form1->Check_RecHex->isChecked() && Form1->Check_TrttHex->isChecked());
        QCOMPARE(Form1->Combo_LineEnd->currentIndex(), 2);
        QCOMPARE(Form1->Data->History.entries(), saved.sendHistory);
        QCOMPARE(Sends->savedSends(), RememberedSends());
        QCOMPARE(Serial_Form->Comb_ComNo->currentText(), QString("COM1"));
        QCOMPARE(Serial_Form->ComboBaudRate->currentText(), QString("38400"));
        QCOMPARE(settingsForARead(), 1);
    }

    void aPortOpenedByHandIsRemembered() {
        Link().ClosePort();
        Serial_Form->show();
        Serial_Form->ComboBaudRate->setCurrentIndex(7);
        Serial_Form->ComboParity->setCurrentIndex(2);
        Serial_Form->Button1Click();
        QVERIFY(Link().PortHandle());
        const Preferences saved = LoadPreferences();
        QCOMPARE(int(saved.baudIndex), 7);
        QCOMPARE(int(saved.parityIndex), 2);
    }

    // Like a device given with --port: it is used instead and the remembered port stays.
    void aPortOnTheCommandLineStandsInstead() {
        Link().setSearchStart({});
        ApplyPreferences(LoadPreferences(), true);
        QVERIFY(Link().searchStart().firstDevice.isEmpty());
        f_.useRadio(radioAt(19200));
        QCOMPARE(settingsForARead(), 4);
        QCOMPARE(int(LoadPreferences().baudIndex), 7);
        QCOMPARE(Link().searchStart().setting.baudIndex, 4);
    }

    // A file written by hand or by another version: anything unknown is the default.
    void unknownValuesAreTheDefaults() {
        ForgetPreferences();
        {
            QSettings settings(file_, QSettings::IniFormat);
            settings.setValue("language", "fr");
            settings.setValue("port/rate", 12345);
            settings.setValue("port/parity", "X");
            settings.setValue("dataTest/lineEnding", "lfcr");
            settings.setValue("sends/saved", R"({"format": 1, "sends": [{"name": "x"}]})");
        }
        QTest::ignoreMessage(QtWarningMsg,
                             "saved sends not read: send 1: needs \"name\" and \"data\"");
        const Preferences saved = LoadPreferences();
        QVERIFY(!saved.languageFlag);
        QCOMPARE(int(saved.baudIndex), 4);
        QCOMPARE(int(saved.parityIndex), 0);
        QVERIFY(!saved.sendPeriod);
        QCOMPARE(saved.lineEnding, LineEnding::CrLf);
        QVERIFY(saved.savedSends.isEmpty());
    }
};

QTEST_MAIN(PreferencesTest)
#include "test_preferences.moc"
