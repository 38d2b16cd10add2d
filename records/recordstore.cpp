#include "records/recordstore.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>

#include "records/recordjson.h"
#include "records/recordworker.h"

namespace {

// A connection attempt that fails sooner than this is cheap to repeat.
constexpr int QuickAttemptMs = 1000;

// libpq's words for a server that answered but would not let the station in; anything else
// that ends a connection attempt is a server that could not be reached.
bool RefusedByServer(const QString& error) {
    for (const char* words : {"authentication", "does not exist", "pg_hba.conf", "password",
                              "permission denied", "too many connections"}) {
        if (error.contains(QLatin1String(words), Qt::CaseInsensitive)) return true;
    }
    return false;
}

StoreOpening SchemaOpening(const SchemaOutcome& schema) {
    switch (schema.failure) {
        case SchemaOutcome::Failure::None:
            return {};
        case SchemaOutcome::Failure::NewerSchema:
            return {StoreOpening::Failure::NewerSchema, LocationError::None,
                    QString::number(schema.versionFound)};
        case SchemaOutcome::Failure::Failed:
            break;
    }
    return {StoreOpening::Failure::SchemaFailed, LocationError::None, schema.detail};
}

}  // namespace

RecordWorker::RecordWorker(RecordStore& store, std::atomic<int>& waiting)
    : store_(store),
      waiting_(waiting),
      connectionName_(QStringLiteral("records-%1").arg(quintptr(this))),
      outboxName_(QStringLiteral("records-outbox-%1").arg(quintptr(this))) {
    connect(&retryTimer_, &QTimer::timeout, this, &RecordWorker::retry);
}

RecordWorker::~RecordWorker() {
    closeAll();
}

void RecordWorker::closeAll() {
    retryTimer_.stop();
    db_ = QSqlDatabase();
    outbox_ = QSqlDatabase();
    if (QSqlDatabase::contains(connectionName_)) QSqlDatabase::removeDatabase(connectionName_);
    if (QSqlDatabase::contains(outboxName_)) QSqlDatabase::removeDatabase(outboxName_);
    location_ = {};
    online_ = false;
    schemaReady_ = false;
    lastTry_.invalidate();
    refused_.clear();
}

StoreOpening RecordWorker::open(const RecordStoreSettings& settings) {
    closeAll();
    const StoreOpening opening = openLocation(settings);
    // A file that is not ready is left alone; a server that is not is tried again, records
    // waiting for it meanwhile.
    if (opening.failure != StoreOpening::Failure::None && !(server() && db_.isValid())) {
        closeAll();
    }
    countWaiting();
    return opening;
}

StoreOpening RecordWorker::openLocation(const RecordStoreSettings& settings) {
    settings_ = settings;
    const LocationParse parsed = ParseRecordsLocation(settings.location);
    if (!parsed.location) return {StoreOpening::Failure::BadLocation, parsed.error, parsed.detail};
    location_ = *parsed.location;
    const QString driver = server() ? QStringLiteral("QPSQL") : QStringLiteral("QSQLITE");
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        return {StoreOpening::Failure::NoDriver, LocationError::None, driver};
    }
    db_ = QSqlDatabase::addDatabase(driver, connectionName_);
    if (!server()) return openFile();
    db_.setHostName(location_.host);
    db_.setPort(location_.port);
    db_.setUserName(location_.user);
    if (!location_.password.isEmpty()) db_.setPassword(location_.password);
    db_.setDatabaseName(location_.database);
    db_.setConnectOptions(QStringLiteral("connect_timeout=%1").arg(settings.connectTimeoutSeconds));
    if (settings_.outboxPath.isEmpty()) settings_.outboxPath = DefaultOutboxPath();
    // Records left waiting by the last run are counted at once; an outbox is made only when a
    // record first has to wait.
    if (QFileInfo::exists(settings_.outboxPath) && !openOutbox(false)) {
        return {StoreOpening::Failure::CannotOpen, LocationError::None, outbox_.lastError().text()};
    }
    const StoreOpening opening = connectServer();
    if (online_) sendWaiting();
    return opening;
}

StoreOpening RecordWorker::openFile() {
    const QString& path = location_.path;
    if (!settings_.createMissing && !QFileInfo::exists(path)) {
        return {StoreOpening::Failure::NotFound, LocationError::None, path};
    }
    if (settings_.createMissing) QDir().mkpath(QFileInfo(path).absolutePath());
    db_.setDatabaseName(path);
    // Stations sharing a file wait for each other's writes instead of failing at once.
    db_.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db_.open()) {
        return {StoreOpening::Failure::CannotOpen, LocationError::None, db_.lastError().text()};
    }
    online_ = true;
    const StoreOpening opening = SchemaOpening(PrepareSchema(db_, SqlDialect::SQLite));
    schemaReady_ = opening.failure == StoreOpening::Failure::None;
    return opening;
}

StoreOpening RecordWorker::connectServer() {
    QElapsedTimer attempt;
    attempt.start();
    db_.close();
    online_ = false;
    const bool opened = db_.open();
    lastTryMs_ = attempt.elapsed();
    lastTry_.start();
    if (!opened) {
        const QString error = db_.lastError().text().trimmed();
        return {RefusedByServer(error) ? StoreOpening::Failure::Refused
                                       : StoreOpening::Failure::Unreachable,
                LocationError::None, error};
    }
    if (!schemaReady_) {
        const StoreOpening opening = SchemaOpening(PrepareSchema(db_, SqlDialect::PostgreSQL));
        if (opening.failure != StoreOpening::Failure::None) {
            db_.close();
            return opening;
        }
        schemaReady_ = true;
    }
    online_ = true;
    return {};
}

bool RecordWorker::reachServer() {
    if (online_) return true;
    if (!db_.isValid()) return false;
    // A server that refuses at once is asked again with the next request; one whose attempts
    // run into the time-out is left to the timer, so that requests do not queue behind it.
    const int pause = lastTryMs_ < QuickAttemptMs ? std::min(settings_.retryMs, QuickAttemptMs)
                                                  : settings_.retryMs;
    if (lastTry_.isValid() && lastTry_.elapsed() < pause) return false;
    connectServer();
    return online_;
}

bool RecordWorker::stillOnline() {
    if (ConnectionAlive(db_)) return true;
    db_.close();
    online_ = false;
    return false;
}

bool RecordWorker::openOutbox(bool create) {
    if (outbox_.isOpen()) return true;
    if (create) QDir().mkpath(QFileInfo(settings_.outboxPath).absolutePath());
    if (!outbox_.isValid()) {
        outbox_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), outboxName_);
        outbox_.setDatabaseName(settings_.outboxPath);
    }
    if (!outbox_.open()) return false;
    // The database a record is for goes with it: a station pointed at another database sends
    // there only what was meant for that one.
    QSqlQuery query(outbox_);
    if (query.exec(QStringLiteral(
            "CREATE TABLE IF NOT EXISTS outbox (seq INTEGER PRIMARY KEY AUTOINCREMENT, "
            "target TEXT NOT NULL, uid TEXT NOT NULL, record TEXT NOT NULL, "
            "UNIQUE (target, uid))"))) {
        return true;
    }
    outbox_.close();
    return false;
}

KeepOutcome RecordWorker::putInOutbox(const RadioRecord& record, const QString& why) {
    if (!openOutbox(true)) {
        return {KeepOutcome::Kind::Lost,
                settings_.outboxPath + QStringLiteral(": ") + outbox_.lastError().text()};
    }
    QSqlQuery insert(outbox_);
    insert.prepare(
        QStringLiteral("INSERT INTO outbox (target, uid, record) VALUES (?, ?, ?) "
                       "ON CONFLICT (target, uid) DO NOTHING"));
    insert.addBindValue(location_.shown());
    insert.addBindValue(record.uid);
    insert.addBindValue(
        QString::fromUtf8(QJsonDocument(RecordJson(record)).toJson(QJsonDocument::Compact)));
    if (!insert.exec()) {
        return {KeepOutcome::Kind::Lost,
                settings_.outboxPath + QStringLiteral(": ") + insert.lastError().text()};
    }
    countWaiting();
    return {KeepOutcome::Kind::Waiting, why};
}

void RecordWorker::sendWaiting() {
    if (!outbox_.isOpen()) return;
    qint64 after = 0;
    while (online_) {
        QSqlQuery batch(outbox_);
        batch.setForwardOnly(true);
        batch.prepare(
            QStringLiteral("SELECT seq, record FROM outbox WHERE target = ? AND "
                           "seq > ? ORDER BY seq LIMIT 200"));
        batch.addBindValue(location_.shown());
        batch.addBindValue(after);
        if (!batch.exec()) return;
        QList<std::pair<qint64, QString>> rows;
        while (batch.next()) rows.append({batch.value(0).toLongLong(), batch.value(1).toString()});
        batch.finish();
        if (rows.isEmpty()) break;
        for (const auto& [seq, text] : rows) {
            after = seq;
            if (refused_.contains(seq)) continue;
            const std::optional<RadioRecord> record =
                RecordFromJson(QJsonDocument::fromJson(text.toUtf8()).object());
            if (!record || !InsertRecord(db_, SqlDialect::PostgreSQL, *record).ok) {
                if (record && !stillOnline()) break;
                refused_.insert(seq);
                continue;
            }
            // Sent and then deleted: a record whose delete is lost is sent again and kept
            // once by its uid.
            QSqlQuery sent(outbox_);
            sent.prepare(QStringLiteral("DELETE FROM outbox WHERE seq = ?"));
            sent.addBindValue(seq);
            sent.exec();
            countWaiting();
        }
    }
    countWaiting();
}

void RecordWorker::countWaiting() {
    int count = 0;
    if (outbox_.isOpen()) {
        QSqlQuery query(outbox_);
        query.prepare(QStringLiteral("SELECT COUNT(*) FROM outbox WHERE target = ?"));
        query.addBindValue(location_.shown());
        if (query.exec() && query.next()) count = query.value(0).toInt();
    }
    if (count > 0 && !retryTimer_.isActive()) retryTimer_.start(settings_.retryMs);
    if (count == waiting_.exchange(count)) return;
    answer([store = &store_, count] { emit store->waitingChanged(count); });
}

void RecordWorker::retry() {
    if (!online_) connectServer();
    if (online_) sendWaiting();
    if (waiting_ == 0) retryTimer_.stop();
}

KeepOutcome RecordWorker::keep(const RadioRecord& record) {
    // No database open (none given, or one refused), and a record without a uid, which would
    // be taken for any other without one and dropped: lost, with no words of a database's.
    if (!db_.isValid() || record.uid.isEmpty() || !record.timeUtc.isValid()) {
        return {KeepOutcome::Kind::Lost, {}};
    }
    if (!server()) {
        const SqlOutcome written = InsertRecord(db_, SqlDialect::SQLite, record);
        if (written.ok) return {};
        return {KeepOutcome::Kind::Lost, written.detail};
    }
    if (reachServer()) sendWaiting();
    if (!online_) {
        return putInOutbox(record, db_.lastError().text().trimmed());
    }
    const SqlOutcome written = InsertRecord(db_, SqlDialect::PostgreSQL, record);
    if (written.ok) return {};
    if (!stillOnline()) {
        return putInOutbox(record, written.detail);
    }
    return {KeepOutcome::Kind::Lost, written.detail};
}

IdAllocation RecordWorker::allocate(const IdRange& range, const QString& station) {
    if (!db_.isValid()) return {std::nullopt, IdAllocation::Failure::StoreFailed, {}};
    const SqlDialect dialect = server() ? SqlDialect::PostgreSQL : SqlDialect::SQLite;
    if (server() && !reachServer()) {
        return {std::nullopt, IdAllocation::Failure::Unreachable, db_.lastError().text().trimmed()};
    }
    IdAllocation allocation = TakeLowestFreeId(db_, dialect, range, station);
    if (server() && allocation.failure == IdAllocation::Failure::StoreFailed && !stillOnline()) {
        allocation.failure = IdAllocation::Failure::Unreachable;
    }
    return allocation;
}

HistoryAnswer RecordWorker::history(const HistoryFilter& filter) {
    HistoryAnswer answer;
    if (!db_.isValid()) {
        answer.failure = HistoryAnswer::Failure::NotOpen;
        return answer;
    }
    if (server() && !reachServer()) {
        answer.failure = HistoryAnswer::Failure::Unreachable;
        answer.detail = db_.lastError().text().trimmed();
        return answer;
    }
    answer = QueryHistory(db_, filter);
    if (server() && answer.failure == HistoryAnswer::Failure::QueryFailed && !stillOnline()) {
        answer.failure = HistoryAnswer::Failure::Unreachable;
    }
    return answer;
}

RecordStore::RecordStore(QObject* parent)
    : QObject(parent), worker_(new RecordWorker(*this, waiting_)) {
    thread_.setObjectName(QStringLiteral("records"));
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
}

RecordStore::~RecordStore() {
    // Queued behind every request made before, so each of those is done first.
    QMetaObject::invokeMethod(
        worker_, [this] { thread_.quit(); }, Qt::QueuedConnection);
    thread_.wait();
}

void RecordStore::post(std::function<void(RecordWorker&)> work) {
    RecordWorker* worker = worker_;
    QMetaObject::invokeMethod(
        worker, [worker, work = std::move(work)] { work(*worker); }, Qt::QueuedConnection);
}

void RecordStore::open(const RecordStoreSettings& settings,
                       std::function<void(const StoreOpening&)> done) {
    post([settings, done = std::move(done)](RecordWorker& worker) {
        worker.answer([done, opening = worker.open(settings)] { done(opening); });
    });
}

void RecordStore::allocateId(const IdRange& range, const QString& station,
                             std::function<void(const IdAllocation&)> done) {
    post([range, station, done = std::move(done)](RecordWorker& worker) {
        worker.answer([done, allocation = worker.allocate(range, station)] { done(allocation); });
    });
}

void RecordStore::keep(const RadioRecord& record, std::function<void(const KeepOutcome&)> done) {
    post([record, done = std::move(done)](RecordWorker& worker) {
        worker.answer([done, outcome = worker.keep(record)] { done(outcome); });
    });
}

int RecordStore::waitingCount() const {
    return waiting_;
}

void RecordStore::history(const HistoryFilter& filter,
                          std::function<void(const HistoryAnswer&)> done) {
    post([filter, done = std::move(done)](RecordWorker& worker) {
        worker.answer([done, answer = worker.history(filter)] { done(answer); });
    });
}
