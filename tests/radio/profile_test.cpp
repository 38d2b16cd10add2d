#include <QTemporaryDir>
#include <QTest>

#include "radio/profile.h"

Q_DECLARE_METATYPE(RadioProfile)

namespace {
RadioProfile Full() {
    return {6, 7, 6, 2, QStringLiteral("4321")};
}
}  // namespace

class ProfileTest : public QObject {
    Q_OBJECT
  private slots:
    void readsProfiles_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<RadioProfile>("profile");
        QTest::newRow("every key")
            << QByteArray(R"({"format": 1, "channel": 7, "air_rate": "100KBPS",
                              "serial_rate": 38400, "parity": "even", "id": "4321"})")
            << Full();
        QTest::newRow("format only") << QByteArray(R"({"format": 1})") << RadioProfile{};
        QTest::newRow("channel 12, 56000, 600 none")
            << QByteArray(R"({"channel": 12.0, "air_rate": "56000", "serial_rate": 600,
                              "parity": "none", "format": 1})")
            << RadioProfile{11, 9, 0, 0, {}};
    }
    void readsProfiles() {
        QFETCH(QByteArray, json);
        const ProfileResult result = ParseProfile(json);
        QVERIFY2(result.profile, qPrintable(result.error));
        QTEST(*result.profile, "profile");
    }

    // Nothing of a bad profile is taken; the error names the key, or the place of bad JSON.
    void refusesBadProfiles_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");
        QTest::newRow("missing brace")
            << QByteArray("{\n  \"format\": 1,\n  \"channel\": 7\n") << "invalid JSON at line 4";
        QTest::newRow("stray comma")
            << QByteArray("{\"format\": 1,\n \"channel\": 7,}") << "invalid JSON at line 2, column";
        QTest::newRow("array") << QByteArray("[1]") << "a profile is a JSON object";
        QTest::newRow("no format") << QByteArray(R"({"channel": 7})") << "\"format\" is missing";
        QTest::newRow("format 2") << QByteArray(R"({"format": 2})") << "\"format\" is 2";
        QTest::newRow("unknown key")
            << QByteArray(R"({"format": 1, "power": 5})") << "unknown key \"power\"";
        QTest::newRow("channel 0") << QByteArray(R"({"format": 1, "channel": 0})")
                                   << "\"channel\" must be a whole number from 1 to 12, not 0";
        QTest::newRow("channel 13") << QByteArray(R"({"format": 1, "channel": 13})")
                                    << "\"channel\" must be a whole number from 1 to 12, not 13";
        QTest::newRow("channel 2.5")
            << QByteArray(R"({"format": 1, "channel": 2.5})") << "\"channel\" must be";
        QTest::newRow("channel as text")
            << QByteArray(R"({"format": 1, "channel": "NO.5"})") << "not \"NO.5\"";
        QTest::newRow("air rate as number") << QByteArray(R"({"format": 1, "air_rate": 19200})")
                                            << "\"air_rate\" must be one of \"1200\", \"2400\"";
        QTest::newRow("air rate off the list")
            << QByteArray(R"({"format": 1, "air_rate": "100000"})") << "not \"100000\"";
        QTest::newRow("serial rate off the list")
            << QByteArray(R"({"format": 1, "serial_rate": 14400})")
            << "\"serial_rate\" must be one of 600, 1200";
        QTest::newRow("serial rate as text")
            << QByteArray(R"({"format": 1, "serial_rate": "9600"})") << "not \"9600\"";
        QTest::newRow("parity letter")
            << QByteArray(R"({"format": 1, "parity": "E"})")
            << "\"parity\" must be one of \"none\", \"odd\", \"even\", not \"E\"";
        QTest::newRow("id as number")
            << QByteArray(R"({"format": 1, "id": 1234})") << "\"id\" must be four digits";
        QTest::newRow("id of three digits")
            << QByteArray(R"({"format": 1, "id": "123"})") << "\"id\" must be four digits";
        QTest::newRow("id with a letter")
            << QByteArray(R"({"format": 1, "id": "12a4"})") << "not \"12a4\"";
    }
    void refusesBadProfiles() {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        const ProfileResult result = ParseProfile(json);
        QVERIFY(!result.profile);
        QVERIFY2(result.error.contains(error), qPrintable(result.error));
    }

    void savedProfileReadsBackTheSame() {
        const QTemporaryDir dir;
        const QString path = dir.filePath("radio.json");
        QCOMPARE(SaveProfileFile(path, Full()), QString());
        const ProfileResult loaded = LoadProfileFile(path);
        QVERIFY2(loaded.profile, qPrintable(loaded.error));
        QCOMPARE(*loaded.profile, Full());
    }

    void fileErrorsNameTheFile() {
        const QTemporaryDir dir;
        const QString missing = dir.filePath("missing.json");
        QVERIFY(LoadProfileFile(missing).error.startsWith(missing + ": "));
        QVERIFY(SaveProfileFile(dir.filePath("no/such/dir.json"), Full()).contains("no/such"));
    }

    // A value the lists do not know (a channel past 12, an air rate past the list, an ID that
    // is no four digits) stays out of a profile; a read shows it as far as it can.
    void valuesOutsideTheListsStayOut() {
        const WriteSelection read{10, 13, 4, 1, u"12 400"};
        QCOMPARE(ProfileOf(read), (RadioProfile{{}, {}, 4, 1, {}}));
        const QJsonObject shown = ValuesJson(read);
        QCOMPARE(shown["channel"].toInt(), 14);
        QVERIFY(shown["air_rate"].isNull());
        QCOMPARE(shown["serial_rate"].toInt(), 9600);
        QCOMPARE(shown["parity"].toString(), QStringLiteral("odd"));
        QVERIFY(shown["id"].isNull());
    }

    void profileFillsInOnlyWhatItHolds() {
        const WriteSelection read{3, 0, 4, 0, u"123400"};
        const WriteSelection merged = WithProfile(read, {{}, 7, {}, 2, QStringLiteral("4321")});
        QCOMPARE(merged.channelPosition, 0);
        QCOMPARE(merged.airBaudPosition, 7);
        QCOMPARE(merged.serialBaudPosition, 4);
        QCOMPARE(merged.parityPosition, 2);
        QVERIFY(merged.idText == u"4321");
        // The identity counts by its four digits, however many the window shows.
        QVERIFY(DifferingFields(merged, {7, 0, 4, 2, u"432100"}).isEmpty());
        QCOMPARE(
            DifferingFields(merged, read),
            (QList<RadioField>{RadioField::AirRate, RadioField::Identity, RadioField::Parity}));
    }
};

QTEST_GUILESS_MAIN(ProfileTest)
#include "profile_test.moc"
