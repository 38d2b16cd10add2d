#pragma once

// A production run: many radios at once, each found, checked, given the profile and an ID,
// read back, optionally link-tested against a reference station, judged PASS or FAIL and
// recorded. Qt Core only: the production window and tvrctl are its hosts.

#include <QList>
#include <QObject>
#include <QString>
#include <memory>
#include <optional>

#include "radio/profile.h"
#include "records/radiorecord.h"
#include "serial/serialdevice.h"

// Which ID each radio leaves with.
enum class IdPolicy { Keep, Same, NextFree };

struct ProductionPlan {
    RadioProfile profile;  // its "id" is ignored: the policy decides the ID
    // A radio whose model differs, or whose firmware is older, fails without being written.
    std::optional<int> modelCode;
    std::optional<int> lowestFirmware;  // the version code: major * 16 + minor
    bool verify = true;
    IdPolicy idPolicy = IdPolicy::Keep;
    QString sameId;   // IdPolicy::Same
    IdRange idRange;  // IdPolicy::NextFree
    // The port of a known-good radio that echoes; none: no link test.
    std::optional<QString> linkReference;
    int linkFrames = 20;
    double linkPassPercent = 95;
    QString station;
    QString operatorName;
    int timeoutSeconds = 60;
};

enum class ProductionPhase {
    Idle,
    Finding,
    Reading,
    Writing,
    Verifying,
    LinkTest,
    Recording,
    Done
};

// Why a radio failed; the host says it in its own words.
enum class ProductionFailure {
    None,
    PortFailed,  // the port would not open or went away
    NoRadio,     // no radio answered at any setting
    WrongModel,
    OldFirmware,
    IdUnavailable,    // the range is used up or the database cannot give one
    ExchangeFailed,   // a read or write step was not answered
    VerifyMismatch,   // the read-back differs from what was written
    LinkTestFailed,   // fewer frames came back whole than the pass mark asks
    LinkDamaged,      // a frame came back damaged
    ReferenceFailed,  // the reference station's port would not open
    Stopped,
    // The radio passed, but the keeper lost its record: the row must not look like a pass.
    RecordLost,
};

// The stable key of a failure in a record: "wrong_model", "verify_mismatch", ...; empty for
// None.
QString FailureKey(ProductionFailure failure);

struct ProductionRow {
    QString port;  // "COM3"
    QString device;
    ProductionPhase phase = ProductionPhase::Idle;
    QString modelVersion;        // "TVR-M402.3" once found
    std::optional<bool> passed;  // none while it runs
    ProductionFailure failure = ProductionFailure::None;
    // What the failure needs said, as a compact JSON object for the host to put in words: the
    // values found and expected, the fields that differ ("channel": {"written": 5, "read": 1}),
    // the link figures, the setting, the database's own words.
    QString detail;
    double seconds = 0;
    QString idGiven;
    RadioRecord record;  // complete once the phase is Done
    // How the keeper took the record: none without a keeper or while it has not answered.
    std::optional<KeepOutcome::Kind> recordKept;
};

class ProductionRunPrivate;

class ProductionRun : public QObject {
    Q_OBJECT
  public:
    // `keeper` may be null (nothing recorded, IdPolicy::NextFree refused at start).
    ProductionRun(ProductionPlan plan, SerialDeviceOpener opener, RecordKeeper* keeper,
                  QObject* parent = nullptr);
    ~ProductionRun() override;

    // One row per port, each run at once and side by side; the link tests take the reference
    // station one at a time.
    void start(const QList<QString>& devices);
    // Ends every row: at once, or once a write step on the wire is acknowledged or given up.
    void stop();
    // In continuous mode a row whose radio is unplugged and another plugged in (or whose
    // adapter appears) starts again by itself.
    void setContinuous(bool continuous);
    // In continuous mode a port that appears while the run goes on (an adapter plugged in) gets
    // a row of its own, started at once; false when the run takes no new ports now or has the
    // device already.
    bool addDevice(const QString& device);
    bool isRunning() const;
    const QList<ProductionRow>& rows() const;

  signals:
    void rowChanged(int row);
    // A row added by addDevice, before it first changes.
    void rowAdded(int row);
    // Every row is done (never in continuous mode until stopped).
    void finished();

  private:
    std::unique_ptr<ProductionRunPrivate> d_;
};
