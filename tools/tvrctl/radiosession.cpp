#include "tools/tvrctl/radiosession.h"

#include <algorithm>

#include "radio/frame.h"
#include "serial/networkserialdevice.h"
#include "tools/tvrctl/options.h"

namespace {

// The period of the window's command timers; the engine counts its time-outs in these ticks.
constexpr int CommandTickMs = 10;
// Where the search starts, as the window's does: 9600 bit/s, no parity.
constexpr uint8_t SearchStartBaudIndex = 4;
// How long an interrupted session waits for a write step on the wire to end.
constexpr int InterruptGraceMs = 1000;
const char* const StepNames[WriteStepCount] = {"air_rate", "id", "channel", "serial"};

// The field whose value a refused write lacked.
RadioField FieldOf(MissingValue missing) {
    switch (missing) {
        case MissingValue::AirRate:
            return RadioField::AirRate;
        case MissingValue::Identity:
            return RadioField::Identity;
        case MissingValue::Channel:
            return RadioField::Channel;
        case MissingValue::SerialRate:
            return RadioField::SerialRate;
        case MissingValue::Parity:
            break;
    }
    return RadioField::Parity;
}

QString UnknownValueRefusal(RadioField field, const RawRadioValues& raw) {
    return QStringLiteral("not written: the radio holds %1, which no list knows; give %2")
        .arg(RawValueText(field, raw), OptionOf(field));
}

}  // namespace

QString StartSettingRefusalText(SettingsRefusal refusal) {
    switch (refusal) {
        case SettingsRefusal::Server:
            return QStringLiteral("the server refused 9600 bit/s, 8N1");
        case SettingsRefusal::NoAnswer:
            return QStringLiteral("the server did not confirm 9600 bit/s, 8N1 within %1 s")
                .arg(ServerAnswerWaitMs / 1000);
        case SettingsRefusal::ConnectionEnded:
            return QStringLiteral("the server ended the connection before it set 9600 bit/s, 8N1");
        case SettingsRefusal::Unchangeable:
            return QStringLiteral(
                "a plain network connection cannot change its line settings; use rfc2217://");
        case SettingsRefusal::Driver:
            break;
    }
    return QStringLiteral("the port refused 9600 bit/s, 8N1");
}

SessionEnd EndOf(const SequenceResult& result, const SessionState& state) {
    switch (result.outcome) {
        case SequenceOutcome::ReadDone:
        case SequenceOutcome::WriteDone:
        case SequenceOutcome::WriteVerified:
            return {CtlExit::Ok, {}};
        case SequenceOutcome::NoPort:
            return {CtlExit::PortError, result.portFailure};
        case SequenceOutcome::ConnectFailed:
            if (!state.writing && !state.onlySetting.isEmpty()) {
                return {CtlExit::NoRadio,
                        QStringLiteral("no radio found: no answer at %1, the one setting a plain "
                                       "network connection has")
                            .arg(state.onlySetting)};
            }
            if (!state.writing) {
                return {CtlExit::NoRadio,
                        QStringLiteral("no radio found: no answer at any serial setting")};
            }
            return {CtlExit::ExchangeFailed,
                    QStringLiteral("the radio was not found again for the write")};
        case SequenceOutcome::ReadFailed:
            return {CtlExit::ExchangeFailed,
                    QStringLiteral("read failed: a reply was missing or damaged")};
        case SequenceOutcome::VerifyReadFailed:
            return {CtlExit::ExchangeFailed,
                    QStringLiteral("written, but the read-back found no radio or failed: not "
                                   "verified")};
        case SequenceOutcome::WriteRefused:
            if (result.unlisted) {
                return {CtlExit::ExchangeFailed,
                        UnknownValueRefusal(*result.unlisted, result.reading.raw)};
            }
            return {CtlExit::ExchangeFailed,
                    QStringLiteral("not written: no value to send for %1; nothing was sent")
                        .arg(OptionOf(FieldOf(result.missing)))};
        case SequenceOutcome::WriteFailed:
            return {
                CtlExit::ExchangeFailed,
                QStringLiteral("write failed: the radio did not acknowledge the %1 step")
                    .arg(StepNames[std::clamp(state.stepsAcknowledged, 0, WriteStepCount - 1)])};
        case SequenceOutcome::WriteNotFollowed:
            return {CtlExit::ExchangeFailed,
                    QStringLiteral("written, but the port could not follow the radio's new "
                                   "serial settings to read it back")};
        case SequenceOutcome::VerifyFailed:
            return {CtlExit::VerifyMismatch, VerifyFailedText(result.written, result.reading)};
        case SequenceOutcome::PortClosed:
            return {CtlExit::PortError, QStringLiteral("the port went away")};
        case SequenceOutcome::Interrupted:
            break;
    }
    return {state.interruptStatus, QStringLiteral("interrupted")};
}

RadioSession::RadioSession(PortTarget target, const SerialDeviceOpener& opener, int timeoutSeconds)
    : timeoutSeconds_(timeoutSeconds), link_(opener), engine_(link_, *this) {
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

bool RadioSession::open() {
    clock_.start();
    deadline_.start(timeoutSeconds_ * 1000);
    if (result_.target.device.isEmpty()) {
        finish(CtlExit::PortError, QStringLiteral("no such port"));
        return false;
    }
    if (!link_.OpenPortByName(result_.target.device)) {
        finish(CtlExit::PortError, link_.OpenFailureText());
        return false;
    }
    // The reply time-outs fit the rate from the first probe on.
    if (!link_.ApplyPortSettings({SearchStartBaudIndex, 0})) {
        finish(CtlExit::PortError,
               QStringLiteral("%1: %2").arg(result_.target.device,
                                            StartSettingRefusalText(link_.LastSettingsRefusal())));
        return false;
    }
    return true;
}

QString RadioSession::phase() const {
    if (finished_) {
        if (result_.exitStatus != 0) return QStringLiteral("failed");
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
    const auto stop = [this] { finish(interruptStatus_, QStringLiteral("interrupted")); };
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
    if (!finished_) finish(CtlExit::PortError, QStringLiteral("the port went away"));
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
    const SessionEnd end = EndOf(
        result, {writing_, verify_, engine_.WriteStepsAcknowledged, interruptStatus_, onlySetting});
    finish(end.exitStatus, end.error);
}

void RadioSession::readDone() {
    result_.before = shown_;
    if (task_ == Task::Read) {
        finish(CtlExit::Ok);
        return;
    }
    values_ = WithProfile(AsWriteSelection(*shown_), changes_);
    if (const QString refused = unknownValueKept(); !refused.isEmpty()) {
        finish(CtlExit::ExchangeFailed, refused);
        return;
    }
    result_.written = values_;
    writing_ = true;
    engine_.VerifyWrites = verify_;
    engine_.Speed_WClick();
}

// A value the radio holds that no list knows is never written back in place of itself.
QString RadioSession::unknownValueKept() const {
    for (const RadioField field : AllRadioFields) {
        if (!FieldText(field, values_).isEmpty()) continue;
        return UnknownValueRefusal(field, shown_->raw);
    }
    return {};
}

void RadioSession::timedOut() {
    if (finished_) return;
    const bool searching = engine_.ConnectMode && !writing_;
    const QString error =
        QStringLiteral("timed out after %1 s while %2").arg(timeoutSeconds_).arg(phase());
    finish(searching ? CtlExit::NoRadio : CtlExit::ExchangeFailed, error);
}

void RadioSession::finish(int exitStatus, const QString& error) {
    if (finished_) return;
    finished_ = true;
    commandTimer_.stop();
    deadline_.stop();
    result_.exitStatus = exitStatus;
    result_.error = error;
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
