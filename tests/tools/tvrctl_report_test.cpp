#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>
#include <QTimeZone>

#include "core/language.h"
#include "tests/support/processes.h"
#include "tools/tvrctl/report.h"

namespace {

// Reads CSV as a spreadsheet does: quoted fields may hold commas, doubled quotes and line
// breaks.
QList<QStringList> ParseCsv(const QString& text) {
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (qsizetype at = 0; at < text.size(); ++at) {
        const QChar c = text[at];
        if (quoted) {
            if (c != u'"') {
                field += c;
            } else if (at + 1 < text.size() && text[at + 1] == u'"') {
                field += c;
                ++at;
            } else {
                quoted = false;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',' || c == u'\n' || c == u'\r') {
            // Spreadsheets end a record at a carriage return as at a line feed.
            record << std::exchange(field, {});
            if (c != u',') records << std::exchange(record, {});
            if (c == u'\r' && at + 1 < text.size() && text[at + 1] == u'\n') ++at;
        } else {
            field += c;
        }
    }
    return records;
}

// A radio at channel NO.7, 9600 none, identity 1234.
ShownParameters Reading(int channelPosition = 6) {
    return ExpectedReading({4, channelPosition, 4, 0, u"1234"});
}

// The same radio holding channel 200 and identity bytes 1A 34, which no list knows.
ShownParameters UnknownReading() {
    ShownParameters reading = Reading();
    reading.channelPosition = NoSelection;
    reading.raw.channel = 200;
    reading.idText.clear();
    reading.raw.id = {0x1A, 0x34};
    return reading;
}

SessionResult Written() {
    SessionResult result;
    result.target = {"COM1", "/dev/ttyUSB0"};
    result.model = "TVR-M401.2";
    result.before = UnknownReading();
    result.after = Reading(4);
    result.verified = true;
    result.seconds = 1.23456;
    return result;
}

// A run started at 09:02:03 in UTC+8.
ReportRun Run() {
    return {"site.json", QDateTime(QDate(2026, 12, 8), QTime(9, 2, 3), QTimeZone(8 * 3600)), "1.02",
            "bench-7", "Li, \"Wei\""};
}

SessionResult Failed(const QString& device, const QString& error) {
    SessionResult result;
    result.target = {"COM2", device};
    result.exitStatus = 3;
    result.error = error;
    return result;
}

}  // namespace

class TvrctlReportTest : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase() { LanguageFlag = 1; }

    // A field that holds a comma, a quote or a line break is read back whole.
    void csvFieldsReadBackWhole_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << "/dev/ttyUSB0";
        QTest::newRow("comma") << "/tmp/a,b";
        QTest::newRow("quotes") << "say \"hi\"";
        QTest::newRow("line break") << "first\nsecond";
        QTest::newRow("carriage return") << "first\rsecond";
    }
    void csvFieldsReadBackWhole() {
        QFETCH(QString, text);
        const QList<QStringList> records =
            ParseCsv(QString::fromUtf8(ReportCsv(Run(), {Failed(text, text + " failed")})));
        QCOMPARE(records.size(), 2);
        QCOMPARE(records[1].size(), records[0].size());
        QCOMPARE(records[1][records[0].indexOf("device")], text);
        QCOMPARE(records[1][records[0].indexOf("error")], text + " failed");
        QCOMPARE(records[1].last(), QStringLiteral("Li, \"Wei\""));
    }

    // Each field under its name, as a number where it is one; a value no list knows as the
    // radio holds it; the run's start in UTC.
    void csvColumns() {
        const QList<QStringList> records =
            ParseCsv(QString::fromUtf8(ReportCsv(Run(), {Written(), Failed("/dev/x", "e")})));
        QCOMPARE(records.size(), 3);
        const QStringList& header = records[0];
        const auto cell = [&](int row, const char* name) {
            return records[row].value(header.indexOf(QLatin1String(name)), "(no such column)");
        };
        QCOMPARE(cell(1, "before_channel"), "200");
        QCOMPARE(cell(1, "before_id"), "bytes 1A 34");
        QCOMPARE(cell(1, "after_channel"), "5");
        QCOMPARE(cell(1, "after_air_rate"), "19200");
        QCOMPARE(cell(1, "after_serial_rate"), "9600");
        QCOMPARE(cell(1, "after_parity"), "none");
        QCOMPARE(cell(1, "after_id"), "1234");
        QCOMPARE(cell(1, "verified"), "yes");
        QCOMPARE(cell(1, "exit_status"), "0");
        QCOMPARE(cell(2, "exit_status"), "3");
        QCOMPARE(cell(2, "after_channel"), "");
        QCOMPARE(cell(1, "seconds"), "1.235");
        QCOMPARE(cell(2, "started"), "2026-12-08T01:02:03Z");
        QCOMPARE(cell(2, "version"), "1.02");
        QCOMPARE(cell(2, "host"), "bench-7");
    }

    // The report is one of its schema, and the schema can refuse one.
    void jsonIsOfTheSchema() {
        const QByteArray report =
            QJsonDocument::fromJson(ReportJson(Run(), {Written(), Failed("", "no such port")}))
                .toJson(QJsonDocument::Compact);
        const QString schema = QStringLiteral(SCHEMA_DIR "/report.schema.json");
        QCOMPARE(JsonSchemaErrors(schema, {report}), QString());
        QByteArray local = report;
        local.replace("01:02:03Z", "09:02:03+08:00");
        QVERIFY(!JsonSchemaErrors(schema, {local}).isEmpty());
    }

    // Unknown values are null with the radio's own under "raw", which is there only then; a
    // port that never read has no values at all.
    void json() {
        const QJsonArray radios =
            QJsonDocument::fromJson(ReportJson(Run(), {Written(), Failed("/dev/x", "e")}))
                .object()["radios"]
                .toArray();
        QCOMPARE(radios.size(), 2);
        const QJsonObject before = radios[0]["before"].toObject();
        QVERIFY(before["channel"].isNull());
        QVERIFY(before["id"].isNull());
        QCOMPARE(before["air_rate"].toString(), "19200");
        QCOMPARE(before["raw"].toObject(), (QJsonObject{{"channel", 200}, {"id", "1A34"}}));
        const QJsonObject after = radios[0]["after"].toObject();
        QCOMPARE(after["channel"].toInt(), 5);
        QVERIFY(!after.contains("raw"));
        QVERIFY(radios[1]["before"].isNull());
        QVERIFY(radios[1]["after"].isNull());
        QCOMPARE(radios[1]["exit_status"].toInt(), 3);
    }
};

QTEST_GUILESS_MAIN(TvrctlReportTest)
#include "tvrctl_report_test.moc"
