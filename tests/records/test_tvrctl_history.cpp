// tvrctl history as a user runs it, on a SQLite file the test fills through the store: the
// table, its filters, CSV and JSON, and a database that cannot be opened.

#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

#include "records/recordjson.h"
#include "tests/support/processes.h"
#include "tests/support/records.h"

class TvrctlHistoryTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QList<RadioRecord> kept_;

    QString file() const { return dir_.filePath("records.sqlite"); }

    ProcessRun history(const QStringList& args) {
        return RunProcess(QStringLiteral(TVRCTL_PATH),
                          QStringList{"history", "--db", file()} + args);
    }

  private slots:
    void initTestCase() {
        RecordStore store;
        QCOMPARE(OpenStore(store, StoreAt(file()))->failure, StoreOpening::Failure::None);
        for (int n = 0; n < 3; ++n) kept_ << SampleRecord(n);
        kept_[1].device = QStringLiteral("/dev/tty\x1b]0;owned\x07USB1");
        kept_[1].detail = QStringLiteral("line\nbreak\u009b");
        for (const RadioRecord& record : kept_) {
            QCOMPARE(Keep(store, record)->kind, KeepOutcome::Kind::Written);
        }
    }

    // Newest first, a line each under a header, the columns aligned and the device's control
    // characters shown, not sent.
    void printsAnAlignedTable() {
        const ProcessRun run = history({});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QStringList lines = run.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 4);
        QVERIFY(lines[0].startsWith("TIME (UTC)"));
        QVERIFY2(lines[1].startsWith("2026-03-01 08:00:02  PASS    0102  66"),
                 qPrintable(lines[1]));
        QVERIFY2(lines[2].contains("/dev/tty\\x1b]0;owned\\x07USB1"), qPrintable(lines[2]));
        QVERIFY2(lines[2].endsWith("verify_mismatch (line\\x0abreak\\x9b)"), qPrintable(lines[2]));
        QVERIFY(!run.out.contains(QChar(0x1b)));
        const qsizetype deviceColumn = lines[0].indexOf("DEVICE");
        QCOMPARE(lines[1].indexOf("/dev/ttyUSB2"), deviceColumn);
        QCOMPARE(lines[3].indexOf("/dev/ttyUSB0"), deviceColumn);
    }

    void filtersAndOtherForms() {
        const ProcessRun failed = history({"--result", "fail", "--json"});
        QVERIFY2(failed.status == 0, qPrintable(failed.err));
        const QStringList objects = failed.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(objects.size(), 1);
        QCOMPARE(RecordFromJson(QJsonDocument::fromJson(objects[0].toUtf8()).object()), kept_[1]);
        QVERIFY(!failed.out.contains(QChar(0x1b)) && !failed.out.contains(QChar(0x9b)));

        const ProcessRun since = history({"--since", "2026-03-01T08:00:01", "--csv"});
        QVERIFY2(since.status == 0, qPrintable(since.err));
        const QStringList rows = since.out.split("\r\n", Qt::SkipEmptyParts);
        // The header and two records: the line break in a detail is LF, inside quotes.
        QCOMPARE(rows.size(), 3);
        QVERIFY(rows[1].startsWith("2026-03-01T08:00:02.000Z,"));

        const ProcessRun later = history({"--since", "2026-03-02"});
        QCOMPARE(later.status, 0);
        QCOMPARE(later.out.split('\n', Qt::SkipEmptyParts).size(), 1);
    }

    // A database that cannot be opened is exit status 2 with the reason; a missing file is not
    // made.
    void saysWhyItCannotOpen() {
        const QString absent = dir_.filePath("absent.sqlite");
        const ProcessRun missing =
            RunProcess(QStringLiteral(TVRCTL_PATH), {"history", "--db", absent});
        QCOMPARE(missing.status, 2);
        QVERIFY2(missing.err.contains(absent + " cannot be opened: no such file"),
                 qPrintable(missing.err));
        QVERIFY(!QFileInfo::exists(absent));
        const ProcessRun badUrl =
            RunProcess(QStringLiteral(TVRCTL_PATH), {"history", "--db", "postgresql://db/x"});
        QCOMPARE(badUrl.status, 2);
        QVERIFY2(badUrl.err.contains("names no user"), qPrintable(badUrl.err));
    }
};

QTEST_GUILESS_MAIN(TvrctlHistoryTest)
#include "test_tvrctl_history.moc"
