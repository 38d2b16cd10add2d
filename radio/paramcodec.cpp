#include "radio/paramcodec.h"

#include <algorithm>

#include "radio/frame.h"

namespace {
constexpr uint8_t HighestChannel = 16;
constexpr int HighestChannelPosition = 32;
constexpr uint8_t HighestAirRateCode = 10;
constexpr int HighestAirBaudPosition = 8;
constexpr int HighestSerialBaudPosition = 9;
constexpr uint8_t OutOfRangeSerialBaudCode = 2;
constexpr uint8_t BaudCode600 = 1;
constexpr uint8_t OddParityAddition = 0x10;
constexpr uint8_t EvenParityAddition = 0x20;
constexpr int PayloadOffset = 4;

void AppendNibbles(std::string& text, uint8_t byte) {
    text += std::to_string(byte >> 4);
    text += std::to_string(byte & 0x0F);
}

uint8_t IdPair(char16_t high, char16_t low) {
    return static_cast<uint8_t>(16 * (high - u'0') + (low - u'0'));
}

bool BcdByte(uint8_t byte) {
    return (byte >> 4) <= 9 && (byte & 0x0F) <= 9;
}
}  // namespace

RawRadioValues RawValuesOf(const RadioParameterSet& para) {
    return {para.Chnn, static_cast<uint8_t>(para.AirBaudIdx + 1), {para.IdCode[0], para.IdCode[1]}};
}

bool ChannelKnown(uint8_t chnn) {
    return chnn >= 1 && chnn <= HighestChannel;
}

int ChannelPosition(uint8_t chnn) {
    return ChannelKnown(chnn) ? chnn - 1 : NoSelection;
}

uint8_t ChannelCode(int position) {
    if (position < 0) return 0;
    return position <= HighestChannelPosition ? static_cast<uint8_t>(position + 1) : 1;
}

uint8_t AirBaudIdxFromCode(uint8_t code) {
    return static_cast<uint8_t>(code - 1);
}

bool AirRateCodeKnown(uint8_t code) {
    return code >= 1 && code <= HighestAirRateCode;
}

int AirBaudPosition(uint8_t airBaudIdx) {
    return AirRateCodeKnown(static_cast<uint8_t>(airBaudIdx + 1)) ? airBaudIdx : NoSelection;
}

uint8_t AirBaudCode(int position) {
    if (position < 0) return 0;
    return position <= HighestAirBaudPosition ? static_cast<uint8_t>(position + 1) : 1;
}

uint8_t SerialBaudCode(int position) {
    if (position < 0) return 0;
    return position <= HighestSerialBaudPosition ? static_cast<uint8_t>(position + 1)
                                                 : OutOfRangeSerialBaudCode;
}

uint8_t SerialByte(int baudPosition, int parityPosition) {
    const uint8_t code = SerialBaudCode(baudPosition);
    if (code == BaudCode600) return code;
    if (parityPosition == 1) return code + OddParityAddition;
    if (parityPosition == 2) return code + EvenParityAddition;
    return code;
}

int ParityTaken(int baudPosition, int parityPosition) {
    return SerialBaudCode(baudPosition) == BaudCode600 ? 0 : parityPosition;
}

bool IdCodeKnown(const uint8_t (&idCode)[2]) {
    return BcdByte(idCode[0]) && BcdByte(idCode[1]);
}

std::string IdText(const uint8_t (&idCode)[2]) {
    std::string text;
    AppendNibbles(text, idCode[0]);
    AppendNibbles(text, idCode[1]);
    AppendNibbles(text, 0);
    return text;
}

std::optional<std::array<uint8_t, 2>> IdBytesFromText(std::u16string_view text) {
    if (text.size() < 4) return std::nullopt;
    return std::array<uint8_t, 2>{IdPair(text[0], text[1]), IdPair(text[2], text[3])};
}

std::string ModelVersionText(uint8_t verCode) {
    return "TVR-M40" + std::to_string(verCode >> 4) + "." + std::to_string(verCode & 0x0F);
}

bool JudgeModelReply(const uint8_t* frame, size_t received, RadioParameterSet& para) {
    if (!CheckFrame(frame, received)) return false;
    para.ModelCode = frame[4];
    para.VerCode = frame[5];
    return para.ModelCode <= HighestAcceptedModel;
}

bool DecodeReadReply(int step, const uint8_t* frame, size_t received, RadioParameterSet& para) {
    if (!CheckFrame(frame, received)) return false;
    switch (step) {
        case 0:
            para.ModelCode = frame[4];
            para.VerCode = frame[5];
            break;
        case 1:
            para.AirBaudIdx = AirBaudIdxFromCode(frame[4]);
            break;
        case 2:
            para.Chnn = frame[4];
            break;
        case 3:
            para.IdCode[0] = frame[4];
            para.IdCode[1] = frame[5];
            break;
        default:
            break;
    }
    return true;
}

DisplayedParameters PrepareDisplay(const RadioParameterSet& para) {
    return {ChannelPosition(para.Chnn), AirBaudPosition(para.AirBaudIdx),
            IdCodeKnown(para.IdCode) ? IdText(para.IdCode) : std::string()};
}

std::optional<MissingValue> MissingWriteValue(const WriteSelection& selection) {
    if (selection.airBaudPosition == NoSelection) return MissingValue::AirRate;
    const std::u16string_view id = selection.idText;
    const bool fourDigits =
        id.size() >= 4 &&
        std::all_of(id.begin(), id.begin() + 4, [](char16_t c) { return c >= u'0' && c <= u'9'; });
    if (!fourDigits) return MissingValue::Identity;
    if (selection.channelPosition == NoSelection) return MissingValue::Channel;
    if (selection.serialBaudPosition == NoSelection) return MissingValue::SerialRate;
    if (selection.parityPosition == NoSelection) return MissingValue::Parity;
    return std::nullopt;
}

bool FillWritePayload(int step, const WriteSelection& selection, uint8_t* frame) {
    switch (step) {
        case 0:
            frame[PayloadOffset] = AirBaudCode(selection.airBaudPosition);
            break;
        case 1: {
            const auto id = IdBytesFromText(selection.idText);
            if (!id) return false;
            frame[PayloadOffset] = (*id)[0];
            frame[PayloadOffset + 1] = (*id)[1];
            break;
        }
        case 2:
            frame[PayloadOffset] = ChannelCode(selection.channelPosition);
            break;
        case 3:
            frame[PayloadOffset] =
                SerialByte(selection.serialBaudPosition, selection.parityPosition);
            break;
        default:
            break;
    }
    SetChecksum(frame);
    return true;
}

RadioParameterSet ParametersWritten(const WriteSelection& selection) {
    RadioParameterSet para;
    para.Chnn = ChannelCode(selection.channelPosition);
    para.AirBaudIdx = AirBaudIdxFromCode(AirBaudCode(selection.airBaudPosition));
    if (const auto id = IdBytesFromText(selection.idText)) {
        para.IdCode[0] = (*id)[0];
        para.IdCode[1] = (*id)[1];
    }
    return para;
}
