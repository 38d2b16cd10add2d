#pragma once

// What the records tests share: records to keep, and the store's answers waited for with a
// bound.

#include <QDeadlineTimer>
#include <QTest>
#include <QUuid>
#include <memory>
#include <optional>

#include "records/radiorecord.h"
#include "records/recordstore.h"

inline constexpr int StoreAnswerMs = 20000;

// Record `n` of a run: a pass with link figures for even n, a failure without for odd n.
inline RadioRecord SampleRecord(int n, const QString& station = QStringLiteral("bench 1")) {
    RadioRecord record;
    record.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.timeUtc = QDateTime(QDate(2026, 3, 1), QTime(8, 0).addSecs(n), Qt::UTC);
    record.station = station;
    record.operatorName = QStringLiteral("Wang Li");
    record.port = QStringLiteral("COM%1").arg(n % 8 + 1);
    record.device = QStringLiteral("/dev/ttyUSB%1").arg(n % 8);
    record.adapterSerial = QStringLiteral("A10%1").arg(n);
    record.modelCode = 66;
    record.firmware = QStringLiteral("2.3");
    record.before = {{"channel", 1}, {"air_rate", "9600"}};
    record.after = {{"channel", 5}, {"air_rate", "9600"}};
    record.idGiven = QStringLiteral("%1").arg(100 + n, 4, 10, QLatin1Char('0'));
    record.verified = n % 2 == 0;
    record.passed = n % 2 == 0;
    if (record.passed) {
        record.link = LinkFigures{20, 19, 0, 1, 0, 0, 95};
    } else {
        record.reason = QStringLiteral("verify_mismatch");
        record.detail = QStringLiteral("channel: 5 written, 1 read back");
    }
    record.programVersion = QStringLiteral("1.02");
    return record;
}

// Asks with `ask`, which hands the answer to the function it is given, and waits for that
// answer; none when it did not come in time. The answer must not come inside the call.
template <typename Answer, typename Ask>
std::optional<Answer> Await(Ask ask) {
    // Shared with the answer, which may still come after the wait has given up.
    struct State {
        std::optional<Answer> answer;
        bool insideTheCall = true;
        bool cameInside = false;
    };
    const auto state = std::make_shared<State>();
    ask([state](const Answer& given) {
        state->cameInside = state->insideTheCall;
        state->answer = given;
    });
    state->insideTheCall = false;
    if (state->cameInside) return std::nullopt;
    return QTest::qWaitFor([&] { return state->answer.has_value(); }, StoreAnswerMs) ? state->answer
                                                                                     : std::nullopt;
}

// The settings of a store at `location`, the rest as the program has them.
inline RecordStoreSettings StoreAt(const QString& location) {
    RecordStoreSettings settings;
    settings.location = location;
    return settings;
}

inline std::optional<StoreOpening> OpenStore(RecordStore& store,
                                             const RecordStoreSettings& settings) {
    return Await<StoreOpening>([&](auto done) { store.open(settings, done); });
}

inline std::optional<KeepOutcome> Keep(RecordStore& store, const RadioRecord& record) {
    return Await<KeepOutcome>([&](auto done) { store.keep(record, done); });
}

inline std::optional<IdAllocation> Allocate(RecordStore& store, const IdRange& range,
                                            const QString& station = QStringLiteral("bench 1")) {
    return Await<IdAllocation>([&](auto done) { store.allocateId(range, station, done); });
}

inline std::optional<HistoryAnswer> History(RecordStore& store, const HistoryFilter& filter = {}) {
    return Await<HistoryAnswer>([&](auto done) { store.history(filter, done); });
}
