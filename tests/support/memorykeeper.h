#pragma once

// A RecordKeeper in memory that answers as a database would: later, on the event loop of the
// thread that asked. IDs are given lowest first and never twice; what a keep answers can be set.

#include <QList>
#include <QSet>
#include <QTimer>

#include "records/radiorecord.h"

class MemoryKeeper : public RecordKeeper {
  public:
    void allocateId(const IdRange& range, const QString& station,
                    std::function<void(const IdAllocation&)> done) override {
        Q_UNUSED(station);
        IdAllocation allocation;
        for (int id = range.first; id <= range.last; ++id) {
            if (taken.contains(id)) continue;
            taken.insert(id);
            allocation.id = QStringLiteral("%1").arg(id, 4, 10, QLatin1Char('0'));
            break;
        }
        if (!allocation.id) allocation.failure = IdAllocation::Failure::RangeUsedUp;
        allocations << allocation.id.value_or(QString());
        QTimer::singleShot(0, [done = std::move(done), allocation] { done(allocation); });
    }

    void keep(const RadioRecord& record, std::function<void(const KeepOutcome&)> done) override {
        if (keepAnswer.kind != KeepOutcome::Kind::Lost) records << record;
        QTimer::singleShot(0, [done = std::move(done), answer = keepAnswer] { done(answer); });
    }

    int waitingCount() const override { return 0; }

    // What every keep answers from now on.
    KeepOutcome keepAnswer;
    QList<RadioRecord> records;
    // The IDs given, in the order asked for; empty for a refusal.
    QStringList allocations;
    QSet<int> taken;
};
