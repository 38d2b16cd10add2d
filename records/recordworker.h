#pragma once

// The store's side in its own thread: it owns the database connections (Qt SQL's connections
// belong to the thread that made them) and the outbox. Used by RecordStore alone.

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QSqlDatabase>
#include <QTimer>
#include <atomic>
#include <functional>

#include "records/recordlocation.h"
#include "records/recordstore.h"

class RecordWorker : public QObject {
  public:
    // `waiting` is the count the store shows.
    RecordWorker(RecordStore& store, std::atomic<int>& waiting);
    ~RecordWorker() override;

    // Runs `work` later in the store's thread.
    template <typename Work>
    void answer(Work work) {
        QMetaObject::invokeMethod(&store_, std::move(work), Qt::QueuedConnection);
    }

    StoreOpening open(const RecordStoreSettings& settings);
    KeepOutcome keep(const RadioRecord& record);
    IdAllocation allocate(const IdRange& range, const QString& station);
    HistoryAnswer history(const HistoryFilter& filter);

  private:
    bool server() const { return location_.kind == RecordsLocation::Kind::PostgreSQL; }
    // Lets go of the database and the outbox: the store as if it had never been opened.
    void closeAll();
    StoreOpening openLocation(const RecordStoreSettings& settings);
    StoreOpening openFile();
    // Connects to the server and readies its tables; the failure, or None when online.
    StoreOpening connectServer();
    // Connects unless tried a moment ago, so that a burst of requests to a server that is away
    // does not wait for it once each.
    bool reachServer();
    // After a failed statement: the connection is dropped when the server is gone.
    bool stillOnline();
    bool openOutbox(bool create);
    KeepOutcome putInOutbox(const RadioRecord& record, const QString& why);
    // Sends what waits, oldest first, while the server takes it.
    void sendWaiting();
    void countWaiting();
    void retry();

    RecordStore& store_;
    std::atomic<int>& waiting_;
    RecordStoreSettings settings_;
    RecordsLocation location_;
    QString connectionName_;
    QString outboxName_;
    QSqlDatabase db_;
    QSqlDatabase outbox_;
    bool online_ = false;
    bool schemaReady_ = false;
    // Since the last connection attempt ended, and how long it took.
    QElapsedTimer lastTry_;
    qint64 lastTryMs_ = 0;
    QTimer retryTimer_{this};
    // Rows of the outbox the server refused for what they hold: they stay there, counted, and
    // are not sent again before a restart.
    QSet<qint64> refused_;
};
