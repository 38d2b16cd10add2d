#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <future>
#include <thread>

#include "radio/profile.h"
#include "tests/support/files.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

Q_DECLARE_METATYPE(RadioProfile)

namespace {
RadioProfile Full() {
    return {6, 7, 6, 2, QStringLiteral("4321")};
}

bool HasControlCharacter(const QString& text) {
    static const QRegularExpression control(QStringLiteral("[\\x00-\\x1f\\x7f-\\x9f]"));
    return text.contains(control);
}

QByteArray ProfileOfSize(qsizetype size) {
    const QByteArray profile = R"({"format": 1, "channel": 3})";
    return profile + QByteArray(size - profile.size(), ' ');
}

// LoadProfileFile on a FIFO with no writer. Were the open to wait for a writer, one comes
// after two seconds, so that the fault ends in a failure, not a hang; the writer's open
// succeeds only if a reader is waiting.
struct FifoLoad {
    ProfileResult result;
    bool waitedForAWriter = false;
};
FifoLoad LoadFifoWithoutWriter(const QString& fifo) {
    FifoLoad load;
    std::promise<void> loaded;
    std::thread writer([&, done = loaded.get_future()] {
        if (done.wait_for(std::chrono::seconds(2)) == std::future_status::ready) return;
        const int fd = ::open(QFile::encodeName(fifo).constData(), O_WRONLY | O_NONBLOCK);
        load.waitedForAWriter = fd >= 0;
        if (fd >= 0) ::close(fd);
    });
    load.result = LoadProfileFile(fifo);
    loaded.set_value();
    writer.join();
    return load;
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
        QTest::newRow("byte order mark, as some editors write")
            << QByteArray("\xef\xbb\xbf{\"format\": 1, \"parity\": \"odd\"}")
            << RadioProfile{{}, {}, {}, 1, {}};
        QTest::newRow("id of the lowest and highest digits")
            << QByteArray(R"({"format": 1, "id": "9090"})") << RadioProfile{{}, {}, {}, {}, "9090"};
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
        // The characters either side of the digits.
        QTest::newRow("id with a colon")
            << QByteArray(R"({"format": 1, "id": "12:4"})") << "not \"12:4\"";
        QTest::newRow("id with a slash")
            << QByteArray(R"({"format": 1, "id": "12/4"})") << "not \"12/4\"";

        // JSON that Qt alone took, or took other than as written; test_strictjson has every
        // case, these show where a profile's error places them.
        QTest::newRow("leading dot")
            << QByteArray(R"({"format": 1, "channel": .7e1})")
            << "invalid JSON at line 1, column 26: syntax error while parsing value - invalid "
               "literal";
        QTest::newRow("unknown escape, the whole text")
            << QByteArray("\"\\4321\"")
            << "invalid JSON at line 1, column 3: syntax error while parsing value - invalid "
               "string: forbidden character after backslash";
        QTest::newRow("unknown escape in the id")
            << QByteArray("{\"format\": 1, \"id\": \"\\4321\"}")
            << "invalid JSON at line 1, column 23";
        QTest::newRow("duplicate key")
            << QByteArray("{\"format\": 1,\n \"channel\": 1,\n \"channel\": 2}")
            << "invalid JSON at line 3, column 10: duplicate key \"channel\"";
        QTest::newRow("duplicate key, nested, ahead of the unknown key")
            << QByteArray(R"({"format": 1, "x": {"a": 1, "a": 2}})")
            << "invalid JSON at line 1, column 31: duplicate key \"a\"";
        QTest::newRow("column in characters")
            << QByteArray("{\"format\": 1,\n\"站点\": 1,}") << "invalid JSON at line 2, column 9";
        QTest::newRow("a number") << QByteArray("7") << "a profile is a JSON object";
        QTest::newRow("nested past Qt's limit")
            << QByteArray(R"({"format": 1, "x": )") + QByteArray(2000, '[') +
                   QByteArray(2000, ']') + '}'
            << "too deeply nested";
    }
    void refusesBadProfiles() {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        const ProfileResult result = ParseProfile(json);
        QVERIFY(!result.profile);
        QVERIFY2(result.error.contains(error), qPrintable(result.error));
    }

    // What a profile quotes from its file reaches the message with its control characters
    // escaped, and cut short when long.
    void errorsShowWhatTheFileHoldsSafely_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("error");
        QTest::newRow("key that clears the screen")
            << QByteArray("{\"format\": 1, \"\\u001b[2J\\u001b[H\": 1}")
            << "unknown key \"\\x1b[2J\\x1b[H\"";
        QTest::newRow("value that sets the window title")
            << QByteArray("{\"format\": 1, \"parity\": \"\\u001b]0;owned\\u0007\"}")
            << "\"parity\" must be one of \"none\", \"odd\", \"even\", not \"\\x1b]0;owned\\x07\"";
        QTest::newRow("C1 control sequence introducer, unescaped in the file")
            << QByteArray(
                   "{\"format\": 1, \"air_rate\": \"\xc2\x9b"
                   "2J\"}")
            << "not \"\\x9b2J\"";
        QTest::newRow("duplicate key that clears the screen")
            << QByteArray("{\"\\u001b[2J\": 1, \"\\u001b[2J\": 2}") << "duplicate key \"\\x1b[2J\"";
        QTest::newRow("invalid JSON quoting a C1 character")
            << QByteArray("{\"\xc2\x9b\x01\": 1}")
            << "last read: '\"\\x9b<U+0001>'; expected string literal";
        QTest::newRow("long key") << QByteArray("{\"format\": 1, \"" + QByteArray(1000, 'k') +
                                                "\": 1}")
                                  << "unknown key \"" + QString(40, u'k') + "...\"";
    }
    void errorsShowWhatTheFileHoldsSafely() {
        QFETCH(QByteArray, json);
        QFETCH(QString, error);
        const ProfileResult result = ParseProfile(json);
        QVERIFY(!result.profile);
        QVERIFY2(result.error.endsWith(error), qPrintable(result.error));
        QVERIFY(!HasControlCharacter(result.error));
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
        QCOMPARE(LoadProfileFile(missing).error, missing + ": No such file or directory");
        QVERIFY(SaveProfileFile(dir.filePath("no/such/dir.json"), Full()).contains("no/such"));
        // A name from a directory listing can hold anything.
        const QString titled = dir.filePath("\x1b]0;owned\x07.json");
        QVERIFY(WriteFile(titled, "{\"format\": 2}"));
        QCOMPARE(
            LoadProfileFile(titled).error,
            dir.path() + "/\\x1b]0;owned\\x07.json: \"format\" is 2: this program reads format 1");
    }

    // Only a regular file is read; nothing else is waited on, nor read at all.
    void refusesWhatIsNotARegularFile() {
        const QTemporaryDir dir;
        const QString fifo = dir.filePath("fifo.json");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const FifoLoad load = LoadFifoWithoutWriter(fifo);
        QVERIFY(!load.waitedForAWriter);
        QCOMPARE(load.result.error, fifo + ": not a regular file");

        const int pty = ::posix_openpt(O_RDWR | O_NOCTTY);
        QVERIFY(pty >= 0 && ::grantpt(pty) == 0 && ::unlockpt(pty) == 0);
        const QString terminal = QString::fromLocal8Bit(::ptsname(pty));
        QCOMPARE(LoadProfileFile(terminal).error, terminal + ": not a regular file");
        ::close(pty);

        for (const QString& path : {QStringLiteral("/dev/zero"), dir.path()}) {
            QCOMPARE(LoadProfileFile(path).error, path + ": not a regular file");
        }
    }

    void readsAtMostOneMebibyte() {
        const QTemporaryDir dir;
        const QString largest = dir.filePath("largest.json");
        QVERIFY(WriteFile(largest, ProfileOfSize(1024 * 1024)));
        const ProfileResult loaded = LoadProfileFile(largest);
        QVERIFY2(loaded.profile, qPrintable(loaded.error));
        QCOMPARE(loaded.profile->channelPosition, 2);

        const QString tooLarge = dir.filePath("too-large.json");
        QVERIFY(WriteFile(tooLarge, ProfileOfSize(1024 * 1024 + 1)));
        QCOMPARE(LoadProfileFile(tooLarge).error, tooLarge + ": larger than 1 MiB");

        // Gigabytes, which a read of the whole would hold in memory; sparse, so no room on disk.
        const QString huge = dir.filePath("huge.json");
        QFile hugeFile(huge);
        QVERIFY(hugeFile.open(QIODevice::WriteOnly) && hugeFile.resize(qint64(4) << 30));
        hugeFile.close();
        QCOMPARE(LoadProfileFile(huge).error, huge + ": larger than 1 MiB");
    }

    void givesUpAtTheDeadline() {
        const QTemporaryDir dir;
        const QString path = dir.filePath("radio.json");
        QVERIFY(WriteFile(path, ProfileOfSize(100)));
        QCOMPARE(LoadProfileFile(path, QDeadlineTimer(0)).error,
                 path + ": not read within the time-out");
        QVERIFY(LoadProfileFile(path, QDeadlineTimer(60000)).profile);
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
