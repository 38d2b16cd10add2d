#include "production/radiosession.h"

#include <algorithm>

#include "radio/frame.h"

namespace {

// The period of the window's command timers; the engine counts its time-outs in these ticks.
constexpr int CommandTickMs = 10;
// Where the search starts, as the window's does: 9600 bit/s, no parity.
constexpr uint8_t SearchStartBaudIndex = 4;
// How long an interrupted session waits for a write step on the wire to end.
constexpr int InterruptGraceMs = 1000;
const char* const StepNames[WriteStepCount] = {"air_rate", "id", "channel", "serial"};

bool EndsDone(SequenceOutcome outcome) {
    return outcome == SequenceOutcome::ReadDone || outcome == SequenceOutcome::WriteDone ||
           outcome == SequenceOutcome::WriteVerified;
}

}  // namespace

RadioSession::RadioSession(PortTarget target, const SerialDeviceOpener& opener, int timeoutSeconds,
                           SessionTeller teller)
    : timeoutSeconds_(timeoutSeconds),
      teller_(std::move(teller)),
      link_(opener),
      engine_(link_, *this) {
    result_.target = std::move(target);
    link_.setHost(this);
    commandTimer_.setInterval(CommandTickMs);
    connect(&commandTimer_, &QTimer::timeout, this, &RadioSession::tick);
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, &RadioSession::timedOut);
}

RadioSession::~RadioSession() {
    link_.ClosePort();
}

void RadioSession::startRead() {
    task_ = Task::Read;
    if (open()) engine_.Speed_RClick();
}

void RadioSession::startWrite(const RadioProfile& changes, bool verify) {
    task_ = Task::Write;
    changes_ = changes;
    verify_ = verify;
    if (open()) engine_.Speed_RClick();
}

void RadioSession::startReadForWrite(bool verify) {
    task_ = Task::ReadForWrite;
    verify_ = verify;
    if (open()) engine_.Speed_RClick();
}

bool RadioSession::open() {
    clock_.start();
    deadline_.start(timeoutSeconds_ * 1000);
    if (result_.target.device.isEmpty()) {
        finish({.stop = SessionStop::NoSuchPort});
        return false;
    }
    if (!link_.OpenPortByName(result_.target.device)) {
        finish({.stop = SessionStop::OpenFailed, .openFailure = link_.OpenFailureText()});
        return false;
    }
    // The reply time-outs fit the rate from the first probe on.
    if (!link_.ApplyPortSettings({SearchStartBaudIndex, 0})) {
        finish({.stop = SessionStop::SettingsRefused, .refusal = link_.LastSettingsRefusal()});
        return false;
    }
    return true;
}

RadioSession::Stage RadioSession::stage() const {
    if (finished_) return Stage::Ended;
    if (waiting_) return Stage::Waiting;
    if (engine_.verifying()) return Stage::Verifying;
    if (engine_.ConnectMode && !writing_) return Stage::Finding;
    return engine_.WriteMode || writing_ ? Stage::Writing : Stage::Reading;
}

QString RadioSession::phase() const {
    if (finished_) {
        if (result_.ending.stop != SessionStop::Done) return QStringLiteral("failed");
        return result_.verified ? QStringLiteral("verified") : QStringLiteral("done");
    }
    if (engine_.ConnectMode) {
        return QStringLiteral("connecting %1-%2").arg(link_.RateText(), link_.ParityLetter());
    }
    if (engine_.verifying()) return QStringLiteral("verifying");
    const int steps = engine_.WriteMode ? WriteStepCount : ReadStepCount;
    return QStringLiteral("%1 %2/%3")
        .arg(engine_.WriteMode ? "writing" : "reading")
        .arg(std::min(engine_.CmdStep + 1, steps))
        .arg(steps);
}

void RadioSession::tick() {
    engine_.Timer_SdCmdTimer();
    engine_.Timer_RecCmdTimer();
}

void RadioSession::interrupt(int signal) {
    if (finished_) return;
    interruptStatus_ = 128 + signal;
    const auto stop = [this] {
        finish({.stop = SessionStop::Interrupted, .state = {.interruptStatus = interruptStatus_}});
    };
    engine_.Interrupt();
    if (!commandTimersRunning()) {
        stop();
        return;
    }
    QTimer::singleShot(InterruptGraceMs, this, stop);
}

void RadioSession::setCommandTimers(bool running) {
    if (running) {
        commandTimer_.start();
    } else {
        commandTimer_.stop();
    }
}

bool RadioSession::commandTimersRunning() const {
    return commandTimer_.isActive();
}

void RadioSession::showParameters(const ShownParameters& shown) {
    shown_ = shown;
}

void RadioSession::portLost() {
    engine_.PortClosed();
    if (!finished_) finish({.stop = SessionStop::PortLost});
}

void RadioSession::sequenceEnded(const SequenceResult& result) {
    if (finished_) return;
    switch (result.outcome) {
        case SequenceOutcome::ReadDone:
            readDone();
            return;
        case SequenceOutcome::WriteVerified:
        case SequenceOutcome::VerifyFailed:
            result_.verified = result.outcome == SequenceOutcome::WriteVerified;
            result_.after = shown_;
            break;
        default:
            break;
    }
    const QString onlySetting =
        link_.SettingsFixed() ? link_.RateText() + '-' + link_.ParityLetter() + "-1" : QString();
    SessionEnding ending{
        .stop = EndsDone(result.outcome) ? SessionStop::Done : SessionStop::Exchange,
        .sequence = result,
        .state = {writing_, verify_, engine_.WriteStepsAcknowledged, interruptStatus_,
                  onlySetting}};
    if (result.outcome == SequenceOutcome::Interrupted) ending.stop = SessionStop::Interrupted;
    finish(std::move(ending));
}

void RadioSession::readDone() {
    result_.before = shown_;
    result_.modelCode = engine_.RadioPara.ModelCode;
    result_.versionCode = engine_.RadioPara.VerCode;
    result_.answeredAt = link_.Settings();
    if (task_ == Task::Read) {
        finish({});
        return;
    }
    if (task_ == Task::ReadForWrite) {
        waiting_ = true;
        emit progressed();
        emit readForWrite();
        return;
    }
    write(changes_);
}

void RadioSession::write(const RadioProfile& changes) {
    if (finished_ || !result_.before) return;
    waiting_ = false;
    changes_ = changes;
    values_ = WithProfile(AsWriteSelection(*shown_), changes_);
    if (const std::optional<RadioField> field = unknownValueKept()) {
        finish({.stop = SessionStop::UnknownValueKept, .unknownField = field, .raw = shown_->raw});
        return;
    }
    result_.written = values_;
    writing_ = true;
    engine_.VerifyWrites = verify_;
    engine_.Speed_WClick();
}

void RadioSession::leaveUnwritten() {
    if (!finished_) finish({});
}

// A value the radio holds that no list knows is never written back in place of itself.
std::optional<RadioField> RadioSession::unknownValueKept() const {
    for (const RadioField field : AllRadioFields) {
        if (FieldText(field, values_).isEmpty()) return field;
    }
    return std::nullopt;
}

void RadioSession::timedOut() {
    if (finished_) return;
    finish({.stop = SessionStop::TimedOut,
            .searching = engine_.ConnectMode && !writing_,
            .timeoutSeconds = timeoutSeconds_,
            .phase = phase()});
}

void RadioSession::finish(SessionEnding ending) {
    if (finished_) return;
    finished_ = true;
    waiting_ = false;
    commandTimer_.stop();
    deadline_.stop();
    if (ending.stop == SessionStop::Done && link_.PortHandle())
        result_.answeredAt = link_.Settings();
    result_.ending = std::move(ending);
    if (teller_) {
        const SessionEnd told = teller_(result_);
        result_.exitStatus = told.exitStatus;
        result_.error = told.error;
    }
    result_.seconds = clock_.nsecsElapsed() / 1e9;
    for (int step = 0; step < engine_.WriteStepsAcknowledged; ++step) {
        result_.stepsWritten << QString::fromLatin1(StepNames[step]);
    }
    // Closed once the engine's call that ended here has returned.
    QMetaObject::invokeMethod(
        this,
        [this] {
            link_.ClosePort();
            emit finished();
        },
        Qt::QueuedConnection);
}
