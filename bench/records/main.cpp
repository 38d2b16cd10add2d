// Records kept through the store as a production run keeps them: into a SQLite file and into a
// PostgreSQL server of the bench's own on this machine, one after the other (each record waits
// for its answer) and all at once, while a 1 ms timer on the asking thread finds the longest
// it was kept from its events.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <string>

#include "bench/support/benchsupport.h"
#include "records/recordstore.h"
#include "tests/support/postgres.h"
#include "tests/support/records.h"

namespace {

constexpr const char* Usage =
    "Usage: bench_records [OPTION]...\n"
    "Keeps records through the records store into a SQLite file and into a PostgreSQL server\n"
    "it starts on 127.0.0.1 (initdb into a temporary folder; as nobody when run as root), each\n"
    "database fresh for its row, with the databases' own settings (fsync on).\n"
    "\n"
    "  --records N        records per row (default 1000)\n"
    "%s"
    "\n"
    "Columns: the load, the database, how the records were given (one: each after the answer\n"
    "to the one before; all: every one at once), the records, the wall time in ms, ms per\n"
    "record, the records written, and the longest gap in ms between the asking thread's 1 ms\n"
    "timer ticks (the most the window's thread would have been kept busy).\n"
    "Exit status 0 when every record was written and no gap was over 50 ms; 1 otherwise, 2 on\n"
    "wrong arguments.\n";

constexpr double StallLimitMs = 50;
constexpr int AnswersMs = 600000;

struct Row {
    double wallMs = 0;
    int written = 0;
    double longestGapMs = 0;
};

// Keeps `count` records into the store opened at `location`, one after the other or all at
// once, with the asking thread's longest gap measured throughout.
Row KeepRecords(const QString& location, int count, bool allAtOnce) {
    RecordStore store;
    if (!OpenStore(store, StoreAt(location)) || store.waitingCount() != 0) {
        return {};
    }
    QList<RadioRecord> records;
    for (int n = 0; n < count; ++n) records << SampleRecord(n);
    Row row;
    int answered = 0;
    QElapsedTimer sinceTick;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        row.longestGapMs = std::max(row.longestGapMs, sinceTick.nsecsElapsed() / 1e6);
        sinceTick.restart();
    });
    ticks.start(1);
    sinceTick.start();
    QElapsedTimer wall;
    wall.start();
    std::function<void(int)> give = [&](int n) {
        store.keep(records[n], [&, n](const KeepOutcome& outcome) {
            ++answered;
            if (outcome.kind == KeepOutcome::Kind::Written) ++row.written;
            if (!allAtOnce && n + 1 < count) give(n + 1);
        });
    };
    if (allAtOnce) {
        for (int n = 0; n < count; ++n) give(n);
    } else {
        give(0);
    }
    if (!QTest::qWaitFor([&] { return answered == count; }, AnswersMs)) {
        std::fprintf(stderr, "bench_records: %d of %d records answered in time\n", answered, count);
    }
    row.wallMs = wall.nsecsElapsed() / 1e6;
    return row;
}

}  // namespace

int main(int argc, char** argv) {
    const char* program = "bench_records";
    CommonOptions common;
    long count = 1000;
    const std::optional<int> stop =
        ReadCommandLine(argc, argv, program, Usage, common,
                        [&](const std::string& option, Arguments& arguments, std::string& error) {
                            if (option != "--records") return false;
                            count = arguments.takePositive(option, error).value_or(count);
                            return true;
                        });
    if (stop) return *stop;

    int appArgc = 1;
    QCoreApplication application(appArgc, argv);
    BusyLoad load(common.busy);
    PostgresServer server(QStringLiteral(POSTGRES_BIN_DIR));
    if (!server.initialize()) {
        std::fprintf(stderr, "%s: %s\n", program, qPrintable(server.error()));
        return 1;
    }
    QTemporaryDir dir;
    if (common.header) {
        std::printf("# records: %ld records through the records store, SQLite and PostgreSQL\n",
                    count);
        std::printf("# load before: %s\n", LoadAverage().c_str());
        std::printf("%s%-5s %-10s %-4s %7s %9s %9s %7s %7s\n", common.codeColumn("code").c_str(),
                    "load", "database", "mode", "records", "wall ms", "ms/record", "written",
                    "gap ms");
    }
    bool passed = true;
    int database = 0;
    for (const char* kind : {"sqlite", "postgresql"}) {
        for (const bool allAtOnce : {false, true}) {
            const QString name = QStringLiteral("bench%1").arg(++database);
            QString location = dir.filePath(name + ".sqlite");
            if (kind == std::string("postgresql")) {
                if (!server.createDatabase(name)) {
                    std::fprintf(stderr, "%s: %s\n", program, qPrintable(server.error()));
                    return 1;
                }
                location = server.url(name);
            }
            const Row row = KeepRecords(location, int(count), allAtOnce);
            std::printf("%s%-5s %-10s %-4s %7ld %9.0f %9.3f %7d %7.1f\n",
                        common.codeColumn(common.label).c_str(), LoadLabel(common.busy), kind,
                        allAtOnce ? "all" : "one", count, row.wallMs, row.wallMs / count,
                        row.written, row.longestGapMs);
            std::fflush(stdout);
            passed = passed && row.written == count && row.longestGapMs <= StallLimitMs;
        }
    }
    if (common.header) std::printf("# load after: %s\n", LoadAverage().c_str());
    return passed ? 0 : 1;
}
