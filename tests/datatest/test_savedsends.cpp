#include <QTemporaryDir>
#include <QTest>

#include "datatest/savedsends.h"
#include "tests/support/files.h"

Q_DECLARE_METATYPE(SavedSend)
Q_DECLARE_METATYPE(LineEnding)

// Saved sends: their bytes and checksums, and their JSON, which is read strictly.
class TestSavedSends : public QObject {
    Q_OBJECT

    static SavedSend Send(const QString& data, bool hex, Checksum checksum = Checksum::None) {
        return {QStringLiteral("a send"), data, hex, checksum, 1000};
    }

  private slots:
    void strictHex_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("pairs") << "41 42" << QByteArray("AB");
        QTest::newRow("run of pairs") << "4142 0d0A" << QByteArray("AB\r\n");
        QTest::newRow("commas, tabs, breaks") << "41,\t42\n43" << QByteArray("ABC");
        QTest::newRow("0x prefixes") << "0x41 0X42" << QByteArray("AB");
        QTest::newRow("empty") << "" << QByteArray();
    }
    void strictHex() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QString why;
        QCOMPARE(StrictHexBytes(text, &why), bytes);
        QVERIFY(why.isEmpty());
    }

    void strictHexRefuses_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("odd digit") << "41 4"
                                   << "ending at character 4";
        QTest::newRow("odd run") << "414"
                                 << "ending at character 3";
        QTest::newRow("bare prefix") << "0x"
                                     << "ending at character 2";
        QTest::newRow("letter") << "4G"
                                << "\"G\" at character 2";
        QTest::newRow("control character") << "41\x01"
                                           << "\"\\x01\" at character 3";
    }
    void strictHexRefuses() {
        QFETCH(QString, text);
        QFETCH(QString, reason);
        QString why;
        QCOMPARE(StrictHexBytes(text, &why), std::nullopt);
        QVERIFY2(why.contains(reason), qPrintable(why));
    }

    void bytesOnTheWire_data() {
        QTest::addColumn<SavedSend>("send");
        QTest::addColumn<LineEnding>("ending");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("text with its break as chosen")
            << Send("AT\n", false) << LineEnding::Lf << QByteArray("AT\n");
        QTest::newRow("text, crlf")
            << Send("AT\n", false) << LineEnding::CrLf << QByteArray("AT\r\n");
        QTest::newRow("hex ignores the line ending")
            << Send("0d 0a", true) << LineEnding::None << QByteArray("\r\n");
        QTest::newRow("checksum after the bytes")
            << Send("123456789", false, Checksum::Crc16Modbus) << LineEnding::CrLf
            << QByteArray("123456789\x37\x4B");
        QTest::newRow("checksum over the breaks as sent")
            << Send("1\n", false, Checksum::Xor8) << LineEnding::CrLf << QByteArray("1\r\n\x36");
        QTest::newRow("a radio frame typed in")
            << Send("55 AA 03 10 00 00", true, Checksum::RadioSum16) << LineEnding::CrLf
            << QByteArray::fromHex("55AA031000000013");
    }
    void bytesOnTheWire() {
        QFETCH(SavedSend, send);
        QFETCH(LineEnding, ending);
        QFETCH(QByteArray, bytes);
        QCOMPARE(SavedSendBytes(send, ending), bytes);
    }

    void faults_data() {
        QTest::addColumn<SavedSend>("send");
        QTest::addColumn<QString>("fault");
        SavedSend unnamed = Send("x", false);
        unnamed.name = "  ";
        QTest::newRow("no name") << unnamed << "the name is empty";
        SavedSend longName = Send("x", false);
        longName.name = QString(LongestSavedSendName + 1, 'n');
        QTest::newRow("long name") << longName << "the name is longer";
        QTest::newRow("nothing to send") << Send("", false) << "nothing to send";
        QTest::newRow("long data")
            << Send(QString(LongestSavedSendData + 1, 'd'), false) << "the data are longer";
        QTest::newRow("bad hex") << Send("4", true) << "whole bytes";
        SavedSend fast = Send("x", false);
        fast.periodMs = ShortestSendPeriodMs - 1;
        QTest::newRow("period too short") << fast << "the period must be";
        SavedSend slow = Send("x", false);
        slow.periodMs = LongestSendPeriodMs + 1;
        QTest::newRow("period too long") << slow << "the period must be";
    }
    void faults() {
        QFETCH(SavedSend, send);
        QFETCH(QString, fault);
        QVERIFY2(SavedSendFault(send).contains(fault), qPrintable(SavedSendFault(send)));
        QCOMPARE(SavedSendBytes(send, LineEnding::CrLf), std::nullopt);
    }

    void jsonRoundTrip() {
        QList<SavedSend> sends;
        sends << SavedSend{"query", "AT+CH?\n", false, Checksum::None, 1000}
              << SavedSend{"frame", "55 AA 03 10 00 00", true, Checksum::RadioSum16, 250}
              << SavedSend{QString::fromUtf8("中文 \"q\""), "\\ \x7F", false, Checksum::Crc32,
                           LongestSendPeriodMs};
        const SavedSendsResult read = ParseSavedSends(SavedSendsJson(sends));
        QVERIFY2(read.sends, qPrintable(read.error));
        QCOMPARE(*read.sends, sends);
    }

    void refusesBadFiles_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        const QByteArray send = R"({"name": "n", "data": "d"})";
        const auto file = [](const QByteArray& sends) {
            return R"({"format": 1, "sends": [)" + sends + "]}";
        };
        QTest::newRow("not json") << QByteArray("{") << "invalid JSON at byte";
        QTest::newRow("trailing comma") << file(send + ",") << "invalid JSON";
        QTest::newRow("duplicate key")
            << file(R"({"name": "n", "name": "m", "data": "d"})") << "invalid JSON";
        QTest::newRow("not an object") << QByteArray("[]") << "not a JSON object";
        QTest::newRow("no format") << QByteArray(R"({"sends": []})") << "\"format\" must be 1";
        QTest::newRow("other format")
            << QByteArray(R"({"format": 2, "sends": []})") << "\"format\" must be 1";
        QTest::newRow("unknown top key")
            << QByteArray(R"({"format": 1, "sends": [], "x": 1})") << "unknown key \"x\"";
        QTest::newRow("sends not a list")
            << QByteArray(R"({"format": 1, "sends": {}})") << "\"sends\" must be a list";
        QTest::newRow("send not an object") << file("1") << "send 1: is not an object";
        QTest::newRow("unknown send key, escaped")
            << file(R"({"name": "n", "data": "d", "x\u001b": 1})")
            << "send 1: has an unknown key \"x\\x1b\"";
        QTest::newRow("missing data") << file(R"({"name": "n"})") << "needs \"name\" and \"data\"";
        QTest::newRow("name not text")
            << file(R"({"name": 1, "data": "d"})") << "\"name\" must be a text";
        QTest::newRow("hex not boolean")
            << file(R"({"name": "n", "data": "d", "hex": 1})") << "\"hex\" must be true or false";
        QTest::newRow("unknown checksum")
            << file(R"({"name": "n", "data": "d", "checksum": "md5"})")
            << "\"checksum\" must be one of \"none\", \"radio-sum16\"";
        QTest::newRow("fractional period")
            << file(R"({"name": "n", "data": "d", "period_ms": 10.5})")
            << "\"period_ms\" must be a whole number";
        QTest::newRow("huge period") << file(R"({"name": "n", "data": "d", "period_ms": 1e300})")
                                     << "\"period_ms\" must be a whole number";
        QTest::newRow("second send at fault")
            << file(send + R"(, {"name": "n", "data": "4", "hex": true})")
            << "send 2: the digits ending at character 1";
        QByteArray many;
        for (int i = 0; i <= MostSavedSends; ++i) many += (i ? "," : "") + send;
        QTest::newRow("too many sends") << file(many) << "more than 100 sends";
    }
    void refusesBadFiles() {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        const SavedSendsResult read = ParseSavedSends(text);
        QVERIFY(!read.sends);
        QVERIFY2(read.error.contains(error), qPrintable(read.error));
    }

    void filesAreBoundedAndWrittenWhole() {
        QTemporaryDir dir;
        const QString path = dir.filePath("sends.json");
        const QList<SavedSend> sends{Send("x", false)};
        QVERIFY(SaveSavedSendsFile(path, sends).isEmpty());
        QCOMPARE(LoadSavedSendsFile(path).sends, sends);

        const QString big = dir.filePath("big.json");
        QVERIFY(WriteFile(big, QByteArray(MostSavedSendsFileBytes + 1, ' ')));
        const SavedSendsResult tooBig = LoadSavedSendsFile(big);
        QVERIFY(!tooBig.sends);
        QVERIFY2(tooBig.error.endsWith("big.json: larger than 8 MiB"), qPrintable(tooBig.error));

        const SavedSendsResult directory = LoadSavedSendsFile(dir.path());
        QVERIFY(directory.error.endsWith(": not a regular file"));
        QVERIFY(!SaveSavedSendsFile(dir.filePath("no/such/dir.json"), sends).isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestSavedSends)
#include "test_savedsends.moc"
