#include "tools/tvrctl/sessionend.h"

#include <algorithm>

#include "radio/frame.h"
#include "serial/networkserialdevice.h"
#include "tools/tvrctl/options.h"

namespace {

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

SessionEnd TellSessionEnd(const SessionResult& result) {
    const SessionEnding& ending = result.ending;
    switch (ending.stop) {
        case SessionStop::Done:
            return {CtlExit::Ok, {}};
        case SessionStop::NoSuchPort:
            return {CtlExit::PortError, QStringLiteral("no such port")};
        case SessionStop::OpenFailed:
            return {CtlExit::PortError, ending.openFailure};
        case SessionStop::SettingsRefused:
            return {CtlExit::PortError,
                    QStringLiteral("%1: %2").arg(result.target.device,
                                                 StartSettingRefusalText(ending.refusal))};
        case SessionStop::Exchange:
        case SessionStop::Interrupted:
            if (ending.sequence) return EndOf(*ending.sequence, ending.state);
            return {ending.state.interruptStatus, QStringLiteral("interrupted")};
        case SessionStop::UnknownValueKept:
            return {CtlExit::ExchangeFailed, UnknownValueRefusal(*ending.unknownField, ending.raw)};
        case SessionStop::TimedOut:
            return {ending.searching ? CtlExit::NoRadio : CtlExit::ExchangeFailed,
                    QStringLiteral("timed out after %1 s while %2")
                        .arg(ending.timeoutSeconds)
                        .arg(ending.phase)};
        case SessionStop::PortLost:
            break;
    }
    return {CtlExit::PortError, QStringLiteral("the port went away")};
}
