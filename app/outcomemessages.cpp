#include "app/outcomemessages.h"

#include "core/language.h"
#include "radio/paramtext.h"
#include "serial/serialform.h"

namespace {

const LocalizedMessage kNoIdlePort{"No idle Port!", "无空闲端口!", "CommError", "CommError"};
const LocalizedMessage kPortLost{"Port disconnected!", "串口已断开!", "CommError"};
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
Message Like(const LocalizedMessage& like, const QString& text) {
    if (IsEnglish()) return {MessageKind::Plain, text, ApplicationTitle(), MessageButtons::Ok};
    return {MessageKind::System, text, QString::fromUtf8(like.chineseCaption), MessageButtons::Ok};
}

// "Read correct!", followed by the values no list knows, if any.
Message ReadCorrect(const RawRadioValues& raw) {
    const QString unknown = UnknownValuesText(raw);
    if (unknown.isEmpty()) return Localized(kReadCorrect);
    return Like(kReadCorrect,
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

Message WriteRefused(const SequenceResult& result) {
    if (result.unlisted) {
        return Like(kWriteCorrect, WriteCancelledUnlisted(*result.unlisted, result.reading.raw));
    }
    return Localized(WriteCancelled(result.missing));
}

}  // namespace

QList<Message> SequenceMessages(const SequenceResult& result) {
    switch (result.outcome) {
        case SequenceOutcome::NoPort:
            return {Localized(kNoIdlePort, result.portFailure)};
        case SequenceOutcome::ReadDone:
            return {ReadCorrect(result.reading.raw)};
        case SequenceOutcome::WriteDone:
            if (result.portRefusedSettings) {
                return {Localized(kSettingsRejected), Localized(kWriteCorrect)};
            }
            return {Localized(kWriteCorrect)};
        case SequenceOutcome::WriteNotFollowed:
            return {Localized(kSettingsRejected)};
        case SequenceOutcome::WriteVerified:
            return {Localized(kWriteCorrect)};
        case SequenceOutcome::VerifyFailed:
            return {Like(kWriteCorrect, VerifyFailedText(result.written, result.reading))};
        case SequenceOutcome::VerifyReadFailed:
            return {Localized(kWriteNotVerified)};
        case SequenceOutcome::ConnectFailed:
            return {Localized(kConnectError)};
        case SequenceOutcome::ReadFailed:
            return {Localized(kReadError)};
        case SequenceOutcome::WriteFailed:
            return {Localized(kWriteError)};
        case SequenceOutcome::WriteRefused:
            return {WriteRefused(result)};
        case SequenceOutcome::PortClosed:
        case SequenceOutcome::Interrupted:
            break;
    }
    return {};
}

ProgressTexts ProgressTextsFor(SequencePhase phase) {
    switch (phase) {
        case SequencePhase::Connect:
            return {Tr("Connect", "连接电台"),
                    Tr("Connecting.Please wait...", "正在连接电台,请稍候...")};
        case SequencePhase::Read:
            return {Tr("Read", "读参数"),
                    Tr("Reading.Please wait...", "正在读取参数,请稍候......")};
        case SequencePhase::Write:
            break;
    }
    return {Tr("Write", "写参数"), Tr("Writing.Please wait...", "正在写参数,请稍候......")};
}

Message PortLostMessage() {
    return Localized(kPortLost);
}
