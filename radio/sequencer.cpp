#include "radio/sequencer.h"

#include <algorithm>

#include "core/logging.h"
#include "radio/frame.h"
#include "radio/paramtext.h"
#include "serial/seriallink.h"

namespace {
constexpr uint32_t ConnectReplyBytes = 8;
constexpr uint32_t WriteAckBytes = 6;
constexpr int ConnectTimeoutTicks = 25;
constexpr int StepTimeoutTicks = 20;
constexpr int ReadProgressMaximum = 4;
constexpr int WriteProgressMaximum = 5;

}  // namespace

CommandSequencer::CommandSequencer(SerialLink& link, SequencerHost& host)
    : link_(link), host_(host) {}

void CommandSequencer::Speed_RClick() {
    failurePending_ = false;
    verifying_ = false;
    interrupted_ = false;
    startExchange(false);
}

void CommandSequencer::Speed_WClick() {
    failurePending_ = false;
    verifying_ = false;
    interrupted_ = false;
    WriteStepsAcknowledged = 0;
    if (writeValuesComplete()) startExchange(true);
}

std::optional<RadioField> CommandSequencer::unlistedReadValue(MissingValue missing) const {
    if (!lastRead_) return std::nullopt;
    switch (missing) {
        case MissingValue::AirRate:
            if (lastRead_->airBaudPosition == NoSelection) return RadioField::AirRate;
            break;
        case MissingValue::Identity:
            if (lastRead_->idText.isEmpty()) return RadioField::Identity;
            break;
        case MissingValue::Channel:
            if (lastRead_->channelPosition == NoSelection ||
                lastRead_->channelPosition >= ChannelTexts().size()) {
                return RadioField::Channel;
            }
            break;
        case MissingValue::SerialRate:
        case MissingValue::Parity:
            break;
    }
    return std::nullopt;
}

bool CommandSequencer::writeValuesComplete() {
    const auto missing = MissingWriteValue(host_.valuesToWrite());
    if (!missing) return true;
    SequenceResult refused;
    refused.outcome = SequenceOutcome::WriteRefused;
    refused.missing = *missing;
    refused.unlisted = unlistedReadValue(*missing);
    if (refused.unlisted) refused.reading = *lastRead_;
    host_.sequenceEnded(refused);
    return false;
}

void CommandSequencer::startExchange(bool write) {
    if (!StartConnect()) {
        SequenceResult noPort;
        noPort.outcome = SequenceOutcome::NoPort;
        noPort.portFailure = link_.OpenFailureText();
        host_.sequenceEnded(noPort);
        return;
    }
    searchStep(link_.Settings());
    // A port that cannot change its settings has nothing else to try: one attempt, at the
    // setting it stands at, whose progress counts its ticks rather than the attempts.
    if (link_.SettingsFixed()) {
        ConnectLeft = 1;
        host_.showProgress(SequencePhase::Connect, connectWaitTicks());
    }
    WriteMode = write;
    RecTicks = 0;
}

// A refused setting is an attempt without a probe, which times out.
void CommandSequencer::searchStep(RateAndParity attempt) {
    probeSent_ = false;
    SendReady = link_.SearchStep(attempt) || link_.SettingsFixed();
    // Counted from here as from a probe, so that the attempt lasts as long.
    if (!SendReady) RecTicks = 0;
}

bool CommandSequencer::StartConnect() {
    if (!link_.OpenPortScan()) return false;
    ConnectLeft = ConnectAttempts;
    SendReady = true;
    ConnectMode = true;
    host_.setCommandTimers(true);
    host_.stopDataTest();
    host_.showProgress(SequencePhase::Connect, ConnectAttempts);
    return true;
}

void CommandSequencer::StartRead() {
    lastRead_.reset();
    SendReady = true;
    WriteMode = false;
    CmdStep = 0;
    host_.clearReadResults();
    host_.setCommandTimers(true);
    host_.stopDataTest();
    host_.showProgress(SequencePhase::Read, ReadProgressMaximum);
}

void CommandSequencer::StartWrite() {
    host_.setCommandTimers(true);
    host_.stopDataTest();
    host_.showProgress(SequencePhase::Write, WriteProgressMaximum);
    CmdStep = 0;
    SendReady = true;
    WriteMode = true;
}

QString CommandSequencer::exchangeName() const {
    if (ConnectMode)
        return QStringLiteral("connect at %1-%2").arg(link_.RateText(), link_.ParityLetter());
    return QStringLiteral("%1 step %2").arg(WriteMode ? "write" : "read").arg(CmdStep);
}

void CommandSequencer::send(const uint8_t* frame, uint32_t size) {
    qCDebug(lcProto).noquote() << exchangeName() << "sent" << HexDump(frame, size);
    // A frame the send queue refused gets no reply: its step times out.
    (void)link_.WritePort(frame, size);
}

void CommandSequencer::Timer_SdCmdTimer() {
    if (!SendReady) return;
    SendReady = false;
    RecTicks = 0;

    if (ConnectMode) {
        probeSent_ = true;
        link_.PurgePort(PURGE_TXCLEAR);
        send(ReadCmdTable[0], ReadRequestSize);
        link_.PurgePort(PURGE_RXCLEAR);
        return;
    }
    if (!WriteMode) {
        if (CmdStep >= ReadStepCount) return;
        link_.PurgePort(PURGE_RXCLEAR);
        link_.PurgePort(PURGE_TXCLEAR);
        send(ReadCmdTable[CmdStep], ReadRequestSize);
        return;
    }
    if (CmdStep >= WriteStepCount) return;
    uint8_t frame[8] = {};
    std::copy(std::begin(WriteCmdTable[CmdStep]), std::end(WriteCmdTable[CmdStep]), frame);
    // The values were complete when the write started; should one have gone since, the step
    // fails at once rather than send something the user did not choose.
    if (!EncodeWritePayload(CmdStep, host_.valuesToWrite(), frame)) {
        SequenceFailed();
        return;
    }
    link_.PurgePort(PURGE_TXCLEAR);
    send(frame, FrameSize(frame[2]));
    link_.PurgePort(PURGE_RXCLEAR);
}

int CommandSequencer::roundTripTicks() const {
    const SerialDevice* device = link_.device();
    const int roundTripMs = device ? device->roundTripMs().value_or(0) : 0;
    return (std::max(roundTripMs, 0) + TickMs - 1) / TickMs;
}

int CommandSequencer::connectWaitTicks() const {
    return link_.WaitFactor + ConnectTimeoutTicks + roundTripTicks();
}

uint32_t CommandSequencer::readReply(uint32_t waiting) {
    link_.ReadPort(reply_.data(), waiting);
    qCDebug(lcProto).noquote() << exchangeName() << "reply" << HexDump(reply_.data(), waiting);
    return waiting;
}

void CommandSequencer::Timer_RecCmdTimer() {
    ++RecTicks;
    if (!link_.PortHandle()) return;
    const uint32_t waiting = link_.BytesWaiting();
    if (waiting > MaxReplyBytes) {
        qCDebug(lcProto) << "more than" << MaxReplyBytes << "bytes waiting:" << waiting << "purged";
        link_.PurgePort(PURGE_RXCLEAR);
        return;
    }
    if (ConnectMode) {
        ConnectTick(waiting);
        return;
    }

    bool failed = false;
    if (RecTicks > link_.WaitFactor + StepTimeoutTicks + roundTripTicks()) {
        qCDebug(lcProto).noquote() << exchangeName() << "timed out";
        failed = true;
    } else if (WriteMode) {
        if (waiting < WriteAckBytes) return;
        SendReady = IsWriteAck(reply_.data(), readReply(waiting));
        if (SendReady) WriteStepsAcknowledged = std::max(WriteStepsAcknowledged, CmdStep + 1);
        if (interrupted_) {
            endInterrupted();
            return;
        }
        failed = WriteStepDone();
    } else {
        if (waiting < ReadReplyLen[CmdStep]) return;
        SendReady = DecodeReply(host_, RadioPara, CmdStep, reply_.data(), readReply(waiting));
        failed = ReadStepDone();
    }
    if (failed) SequenceFailed();
}

void CommandSequencer::ConnectTick(uint32_t waiting) {
    if (waiting < ConnectReplyBytes || !probeSent_) {
        if (RecTicks > connectWaitTicks()) {
            if (--ConnectLeft == 0) {
                connectFailed();
                return;
            }
            searchStep({link_.BaudIndex(), uint8_t(link_.ParityIndex() + 1)});
        }
    } else {
        readReply(waiting);
        // A reply that arrived with a parity error alone came at the wrong parity.
        if (link_.CommErrors == LineError::RxParity) {
            SendReady = false;
        } else {
            SendReady = CheckModelReply(host_, RadioPara, reply_.data(), waiting);
        }
        if (SendReady) {
            if (WriteMode) {
                StartWrite();
            } else {
                StartRead();
            }
            RecTicks = 0;
            ConnectMode = false;
        }
    }
    host_.setProgress(link_.SettingsFixed() ? RecTicks : 25 - ConnectLeft);
}

void CommandSequencer::endExchange() {
    host_.setCommandTimers(false);
    host_.resumeDataTest();
    CmdStep = 0;
    SendReady = false;
    ConnectMode = false;
    host_.closeProgress();
}

void CommandSequencer::end(SequenceOutcome outcome) {
    SequenceResult result;
    result.outcome = outcome;
    host_.sequenceEnded(result);
}

void CommandSequencer::connectFailed() {
    if (verifying_) {
        verifyReadFailed();
        return;
    }
    endExchange();
    end(SequenceOutcome::ConnectFailed);
}

bool CommandSequencer::ReadStepDone() {
    if (!SendReady) return true;
    if (CmdStep < ReadStepCount - 1) {
        host_.setProgress(++CmdStep);
        return false;
    }
    lastRead_ = ShowRadioPara(host_, RadioPara, link_.BaudIndex(), link_.ParityIndex());
    endExchange();
    host_.enableWrite();
    if (verifying_) {
        verifyDone(*lastRead_);
        return false;
    }
    SequenceResult read;
    read.outcome = SequenceOutcome::ReadDone;
    read.reading = *lastRead_;
    host_.sequenceEnded(read);
    return false;
}

bool CommandSequencer::WriteStepDone() {
    if (!SendReady) return true;
    if (CmdStep < WriteStepCount - 1) {
        host_.setProgress(++CmdStep);
        return false;
    }
    endExchange();
    const bool followed = followRadioSerialSettings();
    // The verdict waits for the read-back, so that a user learns one outcome per write.
    if (!VerifyWrites) {
        SequenceResult written;
        written.outcome = SequenceOutcome::WriteDone;
        written.portRefusedSettings = !followed;
        host_.sequenceEnded(written);
    } else if (followed && link_.PortHandle()) {
        startVerify();
    } else {
        end(SequenceOutcome::WriteNotFollowed);
    }
    return false;
}

void CommandSequencer::startVerify() {
    written_ = host_.valuesToWrite();
    verifying_ = true;
    // A search from the new settings on: a radio that kept its old serial settings is still
    // found, and the comparison names them.
    startExchange(false);
}

void CommandSequencer::verifyDone(const ShownParameters& reported) {
    verifying_ = false;
    if (DifferingFields(written_, AsWriteSelection(reported)).isEmpty()) {
        end(SequenceOutcome::WriteVerified);
        return;
    }
    qCDebug(lcProto).noquote() << VerifyFailedText(written_, reported);
    SequenceResult mismatch;
    mismatch.outcome = SequenceOutcome::VerifyFailed;
    mismatch.reading = reported;
    mismatch.written = written_;
    host_.sequenceEnded(mismatch);
}

void CommandSequencer::verifyReadFailed() {
    verifying_ = false;
    endExchange();
    end(SequenceOutcome::VerifyReadFailed);
}

bool CommandSequencer::followRadioSerialSettings() {
    const WriteSelection written = host_.valuesToWrite();
    const auto rate = static_cast<uint8_t>(written.serialBaudPosition);
    const auto parity = static_cast<uint8_t>(written.parityPosition);
    if (RateAndParity{rate, parity} == link_.Settings()) return true;
    // The server's port stays where it is configured, and the radio has left it.
    if (link_.SettingsFixed()) {
        link_.ClosePort();
        return false;
    }
    if (PortSettingsDisplay* display = link_.display()) display->selectRateAndParity(rate, parity);
    return link_.ApplyPortSettings({rate, parity});
}

void CommandSequencer::SequenceFailed() {
    if (interrupted_) {
        endInterrupted();
        return;
    }
    if (verifying_) {
        verifyReadFailed();
        return;
    }
    host_.setCommandTimers(false);
    host_.closeProgress();
    failurePending_ = true;
    end(WriteMode ? SequenceOutcome::WriteFailed : SequenceOutcome::ReadFailed);
}

void CommandSequencer::Retry() {
    // The port may have gone while the host decided: a retry then has nothing to talk to.
    if (!link_.PortHandle()) {
        Abandon();
        return;
    }
    if (!std::exchange(failurePending_, false)) return;
    if (WriteMode) {
        StartWrite();
    } else {
        StartRead();
    }
    RecTicks = 0;
}

void CommandSequencer::Abandon() {
    if (std::exchange(failurePending_, false)) host_.resumeDataTest();
}

void CommandSequencer::PortClosed() {
    if (!host_.commandTimersRunning()) return;
    verifying_ = false;
    endExchange();
    end(SequenceOutcome::PortClosed);
}

bool CommandSequencer::writeStepOnWire() const {
    return WriteMode && !ConnectMode && !SendReady;
}

void CommandSequencer::Interrupt() {
    if (!host_.commandTimersRunning()) return;
    interrupted_ = true;
    if (!writeStepOnWire()) endInterrupted();
}

void CommandSequencer::endInterrupted() {
    interrupted_ = false;
    verifying_ = false;
    endExchange();
    end(SequenceOutcome::Interrupted);
}
