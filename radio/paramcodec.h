#pragma once

// The radio parameter set and every mapping between a list position of the main window and a
// radio code. Pure functions over plain values; the widget glue lives in paramglue.h.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct RadioParameterSet {
    uint8_t Chnn = 0;        // channel as the radio reports it, counted from 1
    uint8_t AirBaudIdx = 0;  // position in the air-rate list: radio code - 1, in 8 bits
    uint8_t ModelCode = 0;
    uint8_t VerCode = 0;     // high nibble major, low nibble minor
    uint8_t IdCode[2] = {};  // four decimal digits, packed BCD
};

// A drop-down list without a selection.
inline constexpr int NoSelection = -1;

inline constexpr uint8_t HighestAcceptedModel = 16;
// The radio that does not offer its air rate for change.
inline constexpr uint8_t FixedAirRateModel = 10;

// Channel 0 or above 16 is shown as channel 1.
uint8_t CorrectedChannel(uint8_t chnn);
// List position of a (corrected) channel; 13..16 fall outside the 12-entry list.
int ChannelPosition(uint8_t correctedChnn);
// Channel code written for a list position.
uint8_t ChannelCode(int position);

// Air-rate list position from the radio's code, in 8 bits (code 0 gives 255).
uint8_t AirBaudIdxFromCode(uint8_t code);
// Positions of 11 and more are shown as position 1.
uint8_t CorrectedAirBaudIdx(uint8_t airBaudIdx);
// Air-rate code written for a list position; the last entry writes 1.
uint8_t AirBaudCode(int position);

// Serial baud code written for a serial rate list position.
uint8_t SerialBaudCode(int position);
// The serial byte written to the radio: baud code plus parity addition, none for 600 bit/s.
uint8_t SerialByte(int baudPosition, int parityPosition);

// A received identity byte that is no packed BCD pair is stored as 0.
uint8_t StoredIdByte(uint8_t received);
// The identity text: decimal texts of each nibble of both bytes and of a third zero byte.
std::string IdText(const uint8_t (&idCode)[2]);
// The two identity bytes from the first four characters of the text, each pair as
// 16 * (c1 - '0') + (c2 - '0') in 8 bits; nothing when the text is shorter than four.
std::optional<std::array<uint8_t, 2>> IdBytesFromText(std::u16string_view text);

// "TVR-M40" followed by the major number, "." and the minor number of the version byte.
std::string ModelVersionText(uint8_t verCode);

// Judges the first reply of the connect exchange: stores model and version of a valid frame
// and accepts it unless the model code is above 16. Returns the verdict.
bool JudgeModelReply(const uint8_t* frame, size_t received, RadioParameterSet& para);

// Stores the payload of a valid reply to read step `step` (0..3; other steps store nothing).
// Returns whether the frame was valid.
bool DecodeReadReply(int step, const uint8_t* frame, size_t received, RadioParameterSet& para);

// Whether read step 0 may enable the air-rate list for this model.
inline bool AirRateChangeable(uint8_t modelCode) {
    return modelCode != FixedAirRateModel;
}

struct DisplayedParameters {
    int channelPosition;
    int airBaudPosition;
    std::string idText;
};

// Applies the channel and air-rate corrections to `para` and returns what the lists show.
DisplayedParameters PrepareDisplay(RadioParameterSet& para);

// What the parameter controls hold when a write frame is filled.
struct WriteSelection {
    int airBaudPosition = NoSelection;
    int channelPosition = NoSelection;
    int serialBaudPosition = NoSelection;
    int parityPosition = NoSelection;
    std::u16string idText;
};

// A value a write would have to send without having it.
enum class MissingValue { AirRate, Identity, Channel, SerialRate, Parity };

// The first value, in the order of the write steps, that a write could not send as the user
// means it: a list without a selection, or an identity that is not four decimal digits.
std::optional<MissingValue> MissingWriteValue(const WriteSelection& selection);

// Writes the payload of write step `step` into `frame` (which holds the step's template and
// room for frame[2] + 4 bytes) and completes its checksum. Returns false, leaving the frame
// as it was, when the identity text has fewer than four characters.
bool FillWritePayload(int step, const WriteSelection& selection, uint8_t* frame);
