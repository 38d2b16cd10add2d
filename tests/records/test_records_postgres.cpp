// The records store against a PostgreSQL server of the test's own: two stations taking IDs at
// once, a server stopped in the middle of a run and started again, the first release's tables
// upgraded, and the reasons a database cannot be opened.

#include <QProcess>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "tests/support/freeports.h"
#include "tests/support/postgres.h"
#include "tests/support/records.h"
#include "tests/support/recordsv1.h"

namespace {

constexpr int StationMs = 60000;

}  // namespace

class RecordsPostgresTest : public QObject {
    Q_OBJECT

    PostgresServer server_{QStringLiteral(POSTGRES_BIN_DIR)};

    // A connection of the test's own to `database`, opened when it can be.
    QSqlDatabase connection(const QString& database, const QString& name) {
        QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", name);
        db.setHostName("127.0.0.1");
        db.setPort(server_.port());
        db.setUserName(PostgresServer::User);
        db.setDatabaseName(database);
        db.open();
        return db;
    }

    // A value `statement` reads from `database`; an invalid value when it cannot.
    QVariant scalar(const QString& database, const QString& statement) {
        QVariant value;
        {
            QSqlDatabase db = connection(database, "scalar");
            QSqlQuery query(db);
            if (query.exec(statement) && query.next()) value = query.value(0);
        }
        QSqlDatabase::removeDatabase("scalar");
        return value;
    }

  private slots:
    // One server for every case, each case in a database of its own: initdb is the slow part.
    void initTestCase() {
        // The user's own data folder, with any outbox of a real station, stays out of reach.
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY2(server_.initialize({"fsync=off"}), qPrintable(server_.error()));
    }

    void init() { QVERIFY2(server_.start(), qPrintable(server_.error())); }

    void saysWhyItCannotOpen() {
        RecordStore missing;
        const std::optional<StoreOpening> refused =
            OpenStore(missing, StoreAt(server_.url("no_such_database")));
        QCOMPARE(refused->failure, StoreOpening::Failure::Refused);
        QVERIFY2(refused->detail.contains("no_such_database"), qPrintable(refused->detail));

        const std::vector<uint16_t> port = FreeLocalPorts(1);
        QVERIFY(!port.empty());
        QTemporaryDir dir;
        RecordStoreSettings away =
            StoreAt(QStringLiteral("postgresql://tvr@127.0.0.1:%1/records").arg(port[0]));
        away.outboxPath = dir.filePath("outbox.sqlite");
        RecordStore nobodyThere;
        QCOMPARE(OpenStore(nobodyThere, away)->failure, StoreOpening::Failure::Unreachable);
        QCOMPARE(Allocate(nobodyThere, {1, 9})->failure, IdAllocation::Failure::Unreachable);
        QCOMPARE(History(nobodyThere)->failure, HistoryAnswer::Failure::Unreachable);
        // Only a record that has to wait makes the outbox.
        QVERIFY(!QFileInfo::exists(away.outboxPath));
    }

    // A server that takes a connection and never answers costs one attempt and its time-out:
    // records given meanwhile wait at once instead of each waiting for another attempt.
    void aSilentServerIsNotWaitedForByEveryRecord() {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        int connections = 0;
        connect(&silent, &QTcpServer::newConnection, [&] {
            while (QTcpSocket* socket = silent.nextPendingConnection()) {
                ++connections;
                socket->setParent(&silent);
            }
        });
        QTemporaryDir dir;
        RecordStoreSettings settings = StoreAt(
            QStringLiteral("postgresql://tvr@127.0.0.1:%1/records").arg(silent.serverPort()));
        settings.outboxPath = dir.filePath("outbox.sqlite");
        settings.connectTimeoutSeconds = 2;
        settings.retryMs = 600000;
        RecordStore store;
        QCOMPARE(OpenStore(store, settings)->failure, StoreOpening::Failure::Unreachable);
        QVERIFY(QTest::qWaitFor([&] { return connections == 1; }, StoreAnswerMs));
        // Past the pause after an attempt that failed at once.
        QTest::qWait(1500);
        for (int n = 0; n < 5; ++n) {
            QCOMPARE(Keep(store, SampleRecord(n))->kind, KeepOutcome::Kind::Waiting);
        }
        QCOMPARE(store.waitingCount(), 5);
        QCOMPARE(connections, 1);
    }

    // Two processes take 40 IDs each from one range at the same moment: no ID twice, and
    // together the 80 lowest.
    void twoStationsAtOnceNeverShareAnId() {
        QVERIFY2(server_.createDatabase("ids"), qPrintable(server_.error()));
        std::vector<std::unique_ptr<QProcess>> stations;
        QTemporaryDir dataHome;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", dataHome.path());
        for (const char* name : {"station a", "station b"}) {
            stations.push_back(std::make_unique<QProcess>());
            stations.back()->setProcessEnvironment(environment);
            stations.back()->start(QStringLiteral(ALLOCATE_IDS_PATH),
                                   {server_.url("ids"), "0100-0199", "40", name});
        }
        for (auto& station : stations) {
            QVERIFY(QTest::qWaitFor([&] { return station->canReadLine(); }, StationMs));
            QCOMPARE(station->readLine(), QByteArray("ready\n"));
        }
        for (auto& station : stations) station->write("go\n");
        QStringList given;
        for (auto& station : stations) {
            QVERIFY(station->waitForFinished(StationMs));
            QVERIFY2(station->exitCode() == 0, station->readAllStandardError().constData());
            const QStringList ids =
                QString::fromUtf8(station->readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
            QCOMPARE(ids.size(), 40);
            given << ids;
        }
        given.sort();
        QStringList lowest;
        for (int id = 100; id < 180; ++id) lowest << IdText(id);
        QCOMPARE(given, lowest);
    }

    // Another station's ID not yet committed when this one looks: this one waits for it, finds
    // it taken, and takes the next.
    void anIdTakenAtTheSameMomentIsTheNextOne() {
        QVERIFY2(server_.createDatabase("race"), qPrintable(server_.error()));
        RecordStore store;
        QCOMPARE(OpenStore(store, StoreAt(server_.url("race")))->failure,
                 StoreOpening::Failure::None);
        {
            QSqlDatabase other = connection("race", "other station");
            QSqlQuery taking(other);
            QVERIFY(taking.exec("BEGIN"));
            QVERIFY(taking.exec("INSERT INTO ids_given VALUES (100, 'other', 'now')"));
            std::optional<IdAllocation> allocation;
            store.allocateId({100, 199}, "bench 1",
                             [&](const IdAllocation& given) { allocation = given; });
            // The store's insert of 100 waits for the other station's transaction.
            QVERIFY(QTest::qWaitFor(
                [&] {
                    return scalar("race",
                                  "SELECT COUNT(*) FROM pg_stat_activity WHERE "
                                  "wait_event_type = 'Lock' AND datname = 'race'")
                               .toInt() == 1;
                },
                StoreAnswerMs));
            QVERIFY(!allocation);
            QVERIFY(taking.exec("COMMIT"));
            QVERIFY(QTest::qWaitFor([&] { return allocation.has_value(); }, StoreAnswerMs));
            QCOMPARE(allocation->id, QStringLiteral("0101"));
        }
        QSqlDatabase::removeDatabase("other station");
    }

    // With nothing waiting, an ID asked for after the server came back is given.
    void idsAgainOnceTheServerIsBack() {
        QVERIFY2(server_.createDatabase("back"), qPrintable(server_.error()));
        RecordStoreSettings settings = StoreAt(server_.url("back"));
        settings.retryMs = 200;
        RecordStore store;
        QCOMPARE(OpenStore(store, settings)->failure, StoreOpening::Failure::None);
        server_.stop();
        QCOMPARE(Allocate(store, {1, 9})->failure, IdAllocation::Failure::Unreachable);
        QVERIFY2(server_.start(), qPrintable(server_.error()));
        QVERIFY(QTest::qWaitFor(
            [&] {
                return Allocate(store, {1, 9})->id == "0001";
            },
            StoreAnswerMs));
    }

    // Records kept while the server is away wait in the outbox, also across a restart of the
    // program, and arrive once each when it is back.
    void recordsWaitForTheServerAndArriveOnce() {
        QVERIFY2(server_.createDatabase("outbox"), qPrintable(server_.error()));
        QTemporaryDir dir;
        RecordStoreSettings settings = StoreAt(server_.url("outbox"));
        settings.outboxPath = dir.filePath("outbox.sqlite");
        settings.retryMs = 200;
        settings.connectTimeoutSeconds = 2;
        QList<RadioRecord> records;
        for (int n = 0; n < 30; ++n) records << SampleRecord(n);

        auto store = std::make_unique<RecordStore>();
        QCOMPARE(OpenStore(*store, settings)->failure, StoreOpening::Failure::None);
        for (int n = 0; n < 10; ++n) {
            QCOMPARE(Keep(*store, records[n])->kind, KeepOutcome::Kind::Written);
        }
        // The store's connection is open when the server goes: the next write finds it lost.
        server_.stop();
        QSignalSpy waiting(store.get(), &RecordStore::waitingChanged);
        QList<KeepOutcome> outcomes;
        for (int n = 10; n < 30; ++n) {
            store->keep(records[n], [&](const KeepOutcome& outcome) { outcomes << outcome; });
        }
        QVERIFY(QTest::qWaitFor([&] { return outcomes.size() == 20; }, StoreAnswerMs));
        for (const KeepOutcome& outcome : outcomes) {
            QCOMPARE(outcome.kind, KeepOutcome::Kind::Waiting);
        }
        QCOMPARE(store->waitingCount(), 20);
        QVERIFY(QTest::qWaitFor([&] { return !waiting.isEmpty(); }, StoreAnswerMs));
        QCOMPARE(waiting.last().first().toInt(), 20);
        QCOMPARE(Allocate(*store, {1, 9})->failure, IdAllocation::Failure::Unreachable);

        // The program ends and starts again while the server is still away.
        store = std::make_unique<RecordStore>();
        QCOMPARE(OpenStore(*store, settings)->failure, StoreOpening::Failure::Unreachable);
        QCOMPARE(store->waitingCount(), 20);
        // A record sent again after its answer was lost waits once.
        QCOMPARE(Keep(*store, records[29])->kind, KeepOutcome::Kind::Waiting);
        QCOMPARE(store->waitingCount(), 20);

        QVERIFY2(server_.start(), qPrintable(server_.error()));
        QVERIFY(QTest::qWaitFor([&] { return store->waitingCount() == 0; }, StoreAnswerMs));
        QCOMPARE(Keep(*store, records[0])->kind, KeepOutcome::Kind::Written);
        const std::optional<HistoryAnswer> history = History(*store);
        QVERIFY(history);
        QCOMPARE(history->records.size(), 30);
        for (int n = 0; n < 30; ++n) QCOMPARE(history->records[29 - n], records[n]);
        QCOMPARE(scalar("outbox", "SELECT COUNT(DISTINCT uid) FROM radio_records").toInt(), 30);
    }

    void versionOneIsUpgradedWithItsRecords() {
        QVERIFY2(server_.createDatabase("upgrade"), qPrintable(server_.error()));
        {
            QSqlDatabase db = connection("upgrade", "v1");
            QVERIFY(db.isOpen());
            QVERIFY(MakeVersion1Records(db));
        }
        QSqlDatabase::removeDatabase("v1");
        RecordStore store;
        QCOMPARE(OpenStore(store, StoreAt(server_.url("upgrade")))->failure,
                 StoreOpening::Failure::None);
        QCOMPARE(scalar("upgrade", "SELECT version FROM schema_version").toInt(), 2);
        const RadioRecord record = SampleRecord(0);
        QCOMPARE(Keep(store, record)->kind, KeepOutcome::Kind::Written);
        const std::optional<HistoryAnswer> history = History(store);
        QCOMPARE(history->records.size(), 3);
        QCOMPARE(history->records[0], record);
        QCOMPARE(history->records[1].reason, QStringLiteral("old_firmware"));
        QCOMPARE(history->records[2].uid, QStringLiteral("v1-a"));
        QCOMPARE(history->records[2].idGiven, QStringLiteral("0042"));
        QCOMPARE(history->records[2].link, std::nullopt);
        QCOMPARE(Allocate(store, {5, 6})->id, QStringLiteral("0005"));
    }

    // Stations started at the same moment on the first release's tables upgrade them one after
    // the other: each finds them ready.
    void stationsUpgradingAtOnceTakeTurns() {
        QVERIFY2(server_.createDatabase("turns"), qPrintable(server_.error()));
        {
            QSqlDatabase db = connection("turns", "v1");
            QVERIFY(db.isOpen());
            QVERIFY(MakeVersion1Records(db));
        }
        QSqlDatabase::removeDatabase("v1");
        std::vector<std::unique_ptr<RecordStore>> stations;
        QList<StoreOpening> openings;
        for (int n = 0; n < 4; ++n) stations.push_back(std::make_unique<RecordStore>());
        for (auto& station : stations) {
            station->open(StoreAt(server_.url("turns")),
                          [&](const StoreOpening& opening) { openings << opening; });
        }
        QVERIFY(QTest::qWaitFor([&] { return openings.size() == 4; }, StoreAnswerMs));
        for (const StoreOpening& opening : openings) {
            QVERIFY2(opening.failure == StoreOpening::Failure::None, qPrintable(opening.detail));
        }
        QCOMPARE(scalar("turns", "SELECT version FROM schema_version").toInt(), 2);
    }
};

QTEST_GUILESS_MAIN(RecordsPostgresTest)
#include "test_records_postgres.moc"
