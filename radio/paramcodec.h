#pragma once

// The radio parameter set and every mapping between a list position of the main window and a
// radio code. Pure functions over plain values; the widget glue lives in paramglue.h.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What the radio reported, each value as its reply carried it: a value no list knows is kept
// as it is, never replaced by a default.
struct RadioParameterSet {
    uint8_t Chnn = 0;        // channel as the radio reports it, counted from 1
    uint8_t AirBaudIdx = 0;  // position in the air-rate list: radio code - 1, in 8 bits
    uint8_t ModelCode = 0;
    uint8_t VerCode = 0;     // high nibble major, low nibble minor
    uint8_t IdCode[2] = {};  // four decimal digits, packed BCD
};

// The three values a read asks the radio for, as its replies carried them: what a user is
// told of a value no list knows, and what a summary of changes compares.
struct RawRadioValues {
    uint8_t channel = 0;
    uint8_t airRateCode = 0;
    std::array<uint8_t, 2> id{};
    friend bool operator==(const RawRadioValues&, const RawRadioValues&) = default;
};

RawRadioValues RawValuesOf(const RadioParameterSet& para);

// A drop-down list without a selection.
inline constexpr int NoSelection = -1;

inline constexpr uint8_t HighestAcceptedModel = 16;
// The radio that does not offer its air rate for change.
inline constexpr uint8_t FixedAirRateModel = 10;

// The radio has channels 1 to 16; the window's list shows 1 to 12.
bool ChannelKnown(uint8_t chnn);
// List position of a channel: 13..16 fall outside the 12-entry list; NoSelection for a channel
// the radio does not have.
int ChannelPosition(uint8_t chnn);
// Channel code written for a list position.
uint8_t ChannelCode(int position);

// Air-rate list position from the radio's code, in 8 bits (code 0 gives 255).
uint8_t AirBaudIdxFromCode(uint8_t code);
// The codes of the air-rate list, 1 to 10.
bool AirRateCodeKnown(uint8_t code);
// List position of an air-rate code; NoSelection for a code the list does not have.
int AirBaudPosition(uint8_t airBaudIdx);
// Air-rate code written for a list position; the last entry writes 1.
uint8_t AirBaudCode(int position);

// Serial baud code written for a serial rate list position.
uint8_t SerialBaudCode(int position);
// The serial byte written to the radio: baud code plus parity addition, none for 600 bit/s.
uint8_t SerialByte(int baudPosition, int parityPosition);
// The parity position a radio takes from that byte: none at 600 bit/s.
int ParityTaken(int baudPosition, int parityPosition);

// Both identity bytes are packed BCD pairs, so the identity is four decimal digits.
bool IdCodeKnown(const uint8_t (&idCode)[2]);
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

// What the lists show of a parameter set: a value no list knows leaves its list without a
// selection and the identity text empty.
struct DisplayedParameters {
    int channelPosition;
    int airBaudPosition;
    std::string idText;
};

DisplayedParameters PrepareDisplay(const RadioParameterSet& para);

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

// The parameter set a radio holds once it has taken every frame of a write of `selection`.
RadioParameterSet ParametersWritten(const WriteSelection& selection);
