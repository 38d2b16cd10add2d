#pragma once

// What a production station keeps of every radio it handled, and where it gets the IDs it
// gives: the record's fields, the ID range, and the keeper both go through.

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringView>
#include <functional>
#include <optional>

// The loop-back test's figures for one radio: the frames it sent, those that came back whole,
// the ones that came back damaged (same length, other bytes) and the ones that did not.
struct LinkFigures {
    int sent = 0;
    int matched = 0;
    int damaged = 0;
    int noReply = 0;
    int longer = 0;
    int shorter = 0;
    double passPercent = 95;
    friend bool operator==(const LinkFigures&, const LinkFigures&) = default;
};

struct RadioRecord {
    // Made with the record, so that a record sent twice (after a lost answer) is kept once.
    QString uid;
    QDateTime timeUtc;
    QString station;
    QString operatorName;
    QString port;           // "COM3"
    QString device;         // "/dev/ttyUSB2", "rfc2217://rack4:4001"
    QString adapterSerial;  // empty where the system has none
    int modelCode = -1;     // -1: no radio answered
    QString firmware;       // "2.3"
    // The parameters as profile JSON (ValuesJson): read before, and read back after a write.
    QJsonObject before;
    QJsonObject after;
    QString idGiven;
    bool verified = false;
    std::optional<LinkFigures> link;
    bool passed = false;
    // Why it failed, as a stable key ("wrong_model", "verify_mismatch", ...); empty on a pass.
    QString reason;
    // The details of the reason, as the program found them (the values that differed, ...).
    QString detail;
    QString programVersion;
    friend bool operator==(const RadioRecord&, const RadioRecord&) = default;
};

// Four-digit IDs from `first` to `last`, both given: "0100-0199".
struct IdRange {
    int first = 0;
    int last = 0;
    friend bool operator==(const IdRange&, const IdRange&) = default;
};
// A range of four-digit IDs, "0100-0199", first ≤ last; none for anything else.
std::optional<IdRange> ParseIdRange(QStringView text);
// The ID as the radio shows it: four digits.
QString IdText(int id);

struct IdAllocation {
    enum class Failure { None, RangeUsedUp, Unreachable, StoreFailed };
    std::optional<QString> id;  // the four digits, now taken
    Failure failure = Failure::None;
    QString detail;  // the database's own words, where it gave some
};

struct KeepOutcome {
    // Written to the database, or waiting in the outbox until it can be.
    enum class Kind { Written, Waiting, Lost };
    Kind kind = Kind::Written;
    QString detail;
};

// Where a station gets the next free ID and leaves its records: the database, or a test's
// own. Each answer arrives later, in the thread that asked, never inside the call, so a slow
// server never holds the one who asked.
class RecordKeeper {
  public:
    virtual ~RecordKeeper() = default;
    // Takes the lowest ID of the range that no radio has been given, for `station`; no two
    // calls, from any station sharing the database, get the same ID.
    virtual void allocateId(const IdRange& range, const QString& station,
                            std::function<void(const IdAllocation&)> done) = 0;
    // Keeps the record for good: written in one transaction, or kept in the outbox.
    virtual void keep(const RadioRecord& record, std::function<void(const KeepOutcome&)> done) = 0;
    // Records in the outbox waiting for the database.
    virtual int waitingCount() const = 0;
};
