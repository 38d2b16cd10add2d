#include "radio/sequencer.h"

#include <algorithm>

#include "core/language.h"
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

// The sequencer's messages.
const LocalizedMessage kConnectError{"Connect error!", "检测电台失败", "参数"};
const LocalizedMessage kReadCorrect{"Read correct!", "参数读取成功", "读参数"};
const LocalizedMessage kWriteCorrect{"Write correct!", "参数设置成功", "写参数"};
const LocalizedMessage kReadError{"Read error!", "参数读取失败", "读参数", nullptr,
                                  MessageButtons::RetryCancel};
const LocalizedMessage kWriteError{"Write error!", "参数设置失败", "写参数", nullptr,
                                   MessageButtons::RetryCancel};
const LocalizedMessage kWriteNotVerified{
    "Write not verified: the radio acknowledged the write but did not answer the read-back.",
    "写参数未校验：电台已确认写入，但未响应读回。", "写参数"};

// A text made here, in the box that `like` is shown in.
void ShowLike(const LocalizedMessage& like, const QString& text) {
    if (IsEnglish()) {
        ShowPlain(text);
    } else {
        ShowBox(text, QString::fromUtf8(like.chineseCaption));
    }
}

// "Read correct!", followed by the values no list knows, if any.
void ShowReadCorrect(const RawRadioValues& raw) {
    const QString unknown = UnknownValuesText(raw);
    if (unknown.isEmpty()) {
        ShowLocalized(kReadCorrect);
        return;
    }
    ShowLike(kReadCorrect,
             Tr(kReadCorrect.english, kReadCorrect.chinese) + Tr(" ", "。") + unknown);
}

// A write refused because the last read left a list empty: the radio's own value is named.
QString WriteCancelledUnlisted(RadioField field, const RawRadioValues& raw) {
    const QString value = RawValueText(field, raw);
    switch (field) {
        case RadioField::AirRate:
            return Tr("Write cancelled: the radio holds %1, which the list does not offer. "
                      "Choose an air rate first.",
                      "写参数取消：电台中的%1 不在列表中，请先选择空中速率。")
                .arg(value);
        case RadioField::Identity:
            return Tr("Write cancelled: the radio holds %1, which are not four digits. Load a "
                      "profile that gives the ID first.",
                      "写参数取消：电台中的%1 不是四位数字，请先载入给出ID码的参数文件。")
                .arg(value);
        default:
            break;
    }
    return Tr("Write cancelled: the radio holds %1, which the list does not offer. Choose a "
              "channel first.",
              "写参数取消：电台中的%1 不在列表中，请先选择信道号。")
        .arg(value);
}

LocalizedMessage WriteCancelled(MissingValue missing) {
    switch (missing) {
        case MissingValue::AirRate:
            return {"Write cancelled: no air rate selected. Read the radio first.",
                    "写参数取消：未选择空中速率，请先读参数。", "写参数"};
        case MissingValue::Identity:
            return {"Write cancelled: the ID code is not four digits. Read the radio first.",
                    "写参数取消：ID码不是四位数字，请先读参数。", "写参数"};
        case MissingValue::Channel:
            return {"Write cancelled: no channel selected. Read the radio first.",
                    "写参数取消：未选择信道号，请先读参数。", "写参数"};
        case MissingValue::SerialRate:
            return {"Write cancelled: no serial rate selected. Read the radio first.",
                    "写参数取消：未选择串口速率，请先读参数。", "写参数"};
        case MissingValue::Parity:
            break;
    }
    return {"Write cancelled: no parity selected. Read the radio first.",
            "写参数取消：未选择校验方式，请先读参数。", "写参数"};
}

}  // namespace

CommandSequencer::CommandSequencer(SerialLink& link, SequencerHost& host)
    : link_(link), host_(host) {}

void CommandSequencer::Speed_RClick() {
    verifying_ = false;
    interrupted_ = false;
    startExchange(false);
}

void CommandSequencer::Speed_WClick() {
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
    if (const std::optional<RadioField> unlisted = unlistedReadValue(*missing)) {
        ShowLike(kWriteCorrect, WriteCancelledUnlisted(*unlisted, lastRead_->raw));
    } else {
        ShowLocalized(WriteCancelled(*missing));
    }
    host_.sequenceEnded(SequenceOutcome::WriteRefused);
    return false;
}

void CommandSequencer::startExchange(bool write) {
    if (!StartConnect()) return;
    link_.SearchStep();
    WriteMode = write;
    RecTicks = 0;
}

bool CommandSequencer::StartConnect() {
    if (!link_.OpenPortScan()) return false;
    ConnectLeft = ConnectAttempts;
    SendReady = true;
    ConnectMode = true;
    host_.setCommandTimers(true);
    host_.stopDataTest();
    host_.showProgress(Tr("Connect", "连接电台"),
                       Tr("Connecting.Please wait...", "正在连接电台,请稍候..."), ConnectAttempts);
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
    host_.showProgress(Tr("Read", "读参数"),
                       Tr("Reading.Please wait...", "正在读取参数,请稍候......"),
                       ReadProgressMaximum);
}

void CommandSequencer::StartWrite() {
    host_.setCommandTimers(true);
    host_.stopDataTest();
    host_.showProgress(Tr("Write", "写参数"),
                       Tr("Writing.Please wait...", "正在写参数,请稍候......"),
                       WriteProgressMaximum);
    CmdStep = 0;
    SendReady = true;
    WriteMode = true;
}

QString CommandSequencer::exchangeName() const {
    if (ConnectMode)
        return QStringLiteral("connect at %1-%2").arg(link_.RateText, link_.ParityLetter);
    return QStringLiteral("%1 step %2").arg(WriteMode ? "write" : "read").arg(CmdStep);
}

void CommandSequencer::send(const uint8_t* frame, uint32_t size) {
    qCDebug(lcProto).noquote() << exchangeName() << "sent" << HexDump(frame, size);
    link_.WritePort(frame, size);
}

void CommandSequencer::Timer_SdCmdTimer() {
    if (!SendReady) return;
    SendReady = false;
    RecTicks = 0;

    if (ConnectMode) {
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
    if (RecTicks > link_.WaitFactor + StepTimeoutTicks) {
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
    if (waiting < ConnectReplyBytes) {
        if (RecTicks > link_.WaitFactor + ConnectTimeoutTicks) {
            if (--ConnectLeft == 0) {
                connectFailed();
                return;
            }
            ++link_.ParityIndex;
            link_.SearchStep();
            SendReady = true;
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
    host_.setProgress(25 - ConnectLeft);
}

void CommandSequencer::endExchange() {
    host_.setCommandTimers(false);
    host_.resumeDataTest();
    CmdStep = 0;
    SendReady = false;
    ConnectMode = false;
    host_.closeProgress();
}

void CommandSequencer::connectFailed() {
    if (verifying_) {
        verifyReadFailed();
        return;
    }
    endExchange();
    ShowLocalized(kConnectError);
    host_.sequenceEnded(SequenceOutcome::ConnectFailed);
}

bool CommandSequencer::ReadStepDone() {
    if (!SendReady) return true;
    if (CmdStep < ReadStepCount - 1) {
        host_.setProgress(++CmdStep);
        return false;
    }
    lastRead_ = ShowRadioPara(host_, RadioPara, link_.BaudIndex, link_.ParityIndex);
    endExchange();
    host_.enableWrite();
    if (verifying_) {
        verifyDone(*lastRead_);
        return false;
    }
    ShowReadCorrect(lastRead_->raw);
    host_.sequenceEnded(SequenceOutcome::ReadDone);
    return false;
}

bool CommandSequencer::WriteStepDone() {
    if (!SendReady) return true;
    if (CmdStep < WriteStepCount - 1) {
        host_.setProgress(++CmdStep);
        return false;
    }
    endExchange();
    followRadioSerialSettings();
    // "Write correct!" waits for the read-back, so that a user reads one verdict per write.
    if (!VerifyWrites) {
        ShowLocalized(kWriteCorrect);
        host_.sequenceEnded(SequenceOutcome::WriteDone);
    } else if (link_.PortHandle()) {
        startVerify();
    } else {
        // The port refused the radio's new settings and said so: nothing to read back.
        host_.sequenceEnded(SequenceOutcome::WriteDone);
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
    const QString differences = VerifyFailedText(written_, reported);
    if (differences.isEmpty()) {
        ShowLocalized(kWriteCorrect);
        host_.sequenceEnded(SequenceOutcome::WriteVerified);
        return;
    }
    qCDebug(lcProto).noquote() << differences;
    ShowLike(kWriteCorrect, differences);
    host_.sequenceEnded(SequenceOutcome::VerifyFailed);
}

void CommandSequencer::verifyReadFailed() {
    verifying_ = false;
    endExchange();
    ShowLocalized(kWriteNotVerified);
    host_.sequenceEnded(SequenceOutcome::VerifyReadFailed);
}

void CommandSequencer::followRadioSerialSettings() {
    const WriteSelection written = host_.valuesToWrite();
    const auto rate = static_cast<uint8_t>(written.serialBaudPosition);
    const auto parity = static_cast<uint8_t>(written.parityPosition);
    if (rate == link_.BaudIndex && parity == link_.ParityIndex) return;
    link_.BaudIndex = rate;
    link_.ParityIndex = parity;
    if (PortSettingsDisplay* display = link_.display()) display->selectRateAndParity(rate, parity);
    link_.ApplyPortSettings();
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
    const bool write = WriteMode;
    ShowLocalized(write ? kWriteError : kReadError, {},
                  [this, write](MessageAnswer answer) { failureAnswered(write, answer); });
}

void CommandSequencer::failureAnswered(bool write, MessageAnswer answer) {
    // The port may have gone while the box was open: a retry then has nothing to talk to.
    if (answer != MessageAnswer::Retry || !link_.PortHandle()) {
        verifying_ = false;
        host_.resumeDataTest();
        host_.sequenceEnded(write ? SequenceOutcome::WriteFailed : SequenceOutcome::ReadFailed);
        return;
    }
    if (write) {
        StartWrite();
    } else {
        StartRead();
    }
    RecTicks = 0;
}

void CommandSequencer::PortClosed() {
    if (!host_.commandTimersRunning()) return;
    verifying_ = false;
    endExchange();
    host_.sequenceEnded(SequenceOutcome::PortClosed);
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
    host_.sequenceEnded(SequenceOutcome::Interrupted);
}
