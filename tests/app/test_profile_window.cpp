// The main window's profiles (File > Save Profile, Load Profile) and the read-back after each
// Write, against the simulated radio.

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "app/mainwindow.h"
#include "radio/profile.h"
#include "tests/support/files.h"
#include "tests/support/windowfixture.h"

namespace {

struct Controls {
    QString channel;
    QString airRate;
    QString serialRate;
    int parity;
    QString id;
    friend bool operator==(const Controls&, const Controls&) = default;
};

Controls ControlsNow() {
    return {Form1->ComboChnn->currentText(), Form1->ComboAirBaud->currentText(),
            Form1->ComboRadioSerBaud->currentText(), Form1->ComboRadioParity->currentIndex(),
            Form1->EditID->text()};
}

char* toString(const Controls& c) {
    return QTest::toString(QStringLiteral("%1 %2 %3 parity %4 id %5")
                               .arg(c.channel, c.airRate, c.serialRate)
                               .arg(c.parity)
                               .arg(c.id));
}

RadioParameters Radio() {
    RadioParameters parameters;
    parameters.line = {19200, ParityMode::Even, 1};
    parameters.channel = 7;
    parameters.airRateCode = 8;
    parameters.identity = {0x08, 0x15};
    return parameters;
}

}  // namespace

class ProfileWindowTest : public QObject {
    Q_OBJECT

    WindowFixture f_;
    QTemporaryDir dir_;
    QString chosen_;

    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }

  private slots:
    void initTestCase() {
        f_.createWindows();
        Form1->ChooseProfileFile = [this](bool) { return chosen_; };
    }

    void init() {
        LanguageFlag = 1;
        f_.messages.clear();
        f_.useRadio(Radio());
        f_.readRadio();
        f_.messages.clear();
    }

    void savedProfileLoadsBackIntoTheControls() {
        const Controls read{"NO.7", "100KBPS", "19200", 2, "081500"};
        QCOMPARE(ControlsNow(), read);
        chosen_ = path("saved.json");
        Form1->FileSaveProfileClick();
        const ProfileResult saved = LoadProfileFile(chosen_);
        QVERIFY2(saved.profile, qPrintable(saved.error));
        QCOMPARE(*saved.profile, (RadioProfile{6, 7, 5, 2, QStringLiteral("0815")}));

        Form1->ComboChnn->setCurrentIndex(0);
        Form1->ComboAirBaud->setCurrentIndex(0);
        Form1->ComboRadioSerBaud->setCurrentIndex(0);
        Form1->ComboRadioParity->setCurrentIndex(0);
        Form1->EditID->setText(QStringLiteral("999900"));
        Form1->FileLoadProfileClick();
        QCOMPARE(ControlsNow(), read);
        QVERIFY(f_.messages.texts().isEmpty());
    }

    // What a profile leaves out stays as the controls show it; Write then gives the radio the
    // profile's values, and the read-back finds them there.
    void aPartialProfileChangesOnlyItsValues() {
        chosen_ = path("partial.json");
        QVERIFY(WriteFile(chosen_, R"({"format": 1, "channel": 3, "id": "4321"})"));
        Form1->FileLoadProfileClick();
        QCOMPARE(ControlsNow(), (Controls{"NO.3", "100KBPS", "19200", 2, "432100"}));
        Form1->Speed_WClick();
        QVERIFY(f_.runExchange());
        QCOMPARE(f_.messages.texts(), QStringList{"Write correct!"});
        QCOMPARE(int(f_.radio->parameters().channel), 3);
        QCOMPARE(f_.radio->parameters().identity, (std::array<uint8_t, 2>{0x43, 0x21}));
    }

    void aBadProfileIsReportedAndChangesNothing_data() {
        QTest::addColumn<QByteArray>("contents");  // empty: no file at all
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("lead");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown key")
            << QByteArray(R"({"format": 1, "power": 5})") << 1 << "Profile not loaded:"
            << "unknown key \"power\"";
        QTest::newRow("invalid JSON, Chinese")
            << QByteArray("{\"format\": 1,\n\"channel\" 3}") << 0 << "配置未载入："
            << "invalid JSON at line 2, column ";
        QTest::newRow("missing file") << QByteArray() << 1 << "Profile not loaded:"
                                      << "No such file or directory";
    }
    void aBadProfileIsReportedAndChangesNothing() {
        QFETCH(QByteArray, contents);
        QFETCH(int, language);
        QFETCH(QString, lead);
        QFETCH(QString, error);
        chosen_ = path("bad.json");
        QFile::remove(chosen_);
        if (!contents.isEmpty()) QVERIFY(WriteFile(chosen_, contents));
        const Controls before = ControlsNow();
        const LanguageScope scope{uint8_t(language)};
        Form1->FileLoadProfileClick();
        const QStringList shown = f_.messages.texts();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(lead + "\n" + chosen_ + ": "), qPrintable(shown[0]));
        QVERIFY2(shown[0].contains(error), qPrintable(shown[0]));
        QCOMPARE(ControlsNow(), before);
    }

    // The radio's own value of a list left empty is in the list's tool tip, until a profile
    // gives the list a value; then Write sends the profile's value.
    void aValueNoListKnowsIsNamedUntilAProfileGivesOne() {
        RadioParameters unknown = Radio();
        unknown.channel = 200;
        unknown.identity = {0x1A, 0x34};
        f_.useRadio(unknown);
        Form1->Speed_RClick();
        QVERIFY(f_.runExchange());
        QCOMPARE(ControlsNow(), (Controls{"", "100KBPS", "19200", 2, ""}));
        QCOMPARE(Form1->ComboChnn->toolTip(), QStringLiteral("The radio holds channel 200."));
        QCOMPARE(Form1->EditID->toolTip(), QStringLiteral("The radio holds ID bytes 1A 34."));
        QCOMPARE(Form1->ComboAirBaud->toolTip(), QString());
        chosen_ = path("channel.json");
        QVERIFY(WriteFile(chosen_, R"({"format": 1, "channel": 3, "id": "0042"})"));
        Form1->FileLoadProfileClick();
        QCOMPARE(ControlsNow(), (Controls{"NO.3", "100KBPS", "19200", 2, "004200"}));
        QCOMPARE(Form1->ComboChnn->toolTip(), QString());
        QCOMPARE(Form1->EditID->toolTip(), QString());
        f_.messages.clear();
        Form1->Speed_WClick();
        QVERIFY(f_.runExchange());
        QCOMPARE(f_.messages.texts(), QStringList{"Write correct!"});
        QCOMPARE(int(f_.radio->parameters().channel), 3);
    }

    void aProfileThatCannotBeWrittenIsReported() {
        chosen_ = path("no/such/folder.json");
        Form1->FileSaveProfileClick();
        QVERIFY(f_.messages.last().startsWith("Profile not saved:\n" + chosen_ + ": "));
    }

    // A write is read back before anything is said of it: what the radio did not take is the
    // one message, the status bar says the write is not verified, and the controls show what
    // the radio has.
    void aWriteTheRadioIgnoredIsNamed_data() {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("status");
        QTest::newRow("English")
            << 1 << QStringList{"Verify failed: channel written NO.5, radio reports NO.7"}
            << "Write not verified";
        QTest::newRow("Chinese") << 0 << QStringList{"校验失败：信道号写入 NO.5，电台读出 NO.7"}
                                 << "写参数未校验";
    }
    void aWriteTheRadioIgnoredIsNamed() {
        QFETCH(int, language);
        QFETCH(QStringList, messages);
        QFETCH(QString, status);
        f_.radio->setFaults({.ignoredWrite = 0x07});
        Form1->ComboChnn->setCurrentIndex(4);
        const LanguageScope scope{uint8_t(language)};
        Form1->Speed_WClick();
        QVERIFY(f_.runExchange());
        QCOMPARE(f_.messages.texts(), messages);
        QCOMPARE(Form1->statusText(3), status);
        QCOMPARE(Form1->ComboChnn->currentText(), QStringLiteral("NO.7"));
        QCOMPARE(f_.messages.shown.last().caption,
                 language == 1 ? ApplicationTitle() : QStringLiteral("写参数"));
    }
};

QTEST_MAIN(ProfileWindowTest)
#include "test_profile_window.moc"
