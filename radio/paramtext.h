#pragma once

// The parameter values as people read them: the texts of the main window's lists, the names
// a profile and the command line give them, and what a verification found different.

#include <QList>
#include <QString>
#include <QStringList>

#include "radio/paramglue.h"

// The main window's lists, in the order of their positions.
QStringList ChannelTexts();     // "NO.1" .. "NO.12"
QStringList AirRateTexts();     // "1200" .. "120KBPS", "56000"
QStringList SerialRateTexts();  // "600" .. "115200"
// The parity list's values in profiles and on the command line.
QStringList ParityNames();  // "none", "odd", "even"

// Four decimal digits, as a profile and the command line give an identity.
bool IsIdentityText(const QString& text);

// The values a write sends, in the order of its steps.
enum class RadioField { AirRate, Identity, Channel, SerialRate, Parity };
inline constexpr RadioField AllRadioFields[] = {RadioField::AirRate, RadioField::Identity,
                                                RadioField::Channel, RadioField::SerialRate,
                                                RadioField::Parity};

// The key of the field in a profile: "air_rate", "id", "channel", "serial_rate", "parity".
QString FieldKey(RadioField field);
// "NO.5", "100KBPS", "38400", "even", "4321"; "NO.13" for a channel past the list; empty where
// the selection has no value the list knows, or no identity of four digits.
QString FieldText(RadioField field, const WriteSelection& values);

// The fields whose values differ between what was written and what the radio reports.
QList<RadioField> DifferingFields(const WriteSelection& written, const WriteSelection& reported);

// The fields whose value the radio holds is none a list knows: a channel outside 1 to 16, an
// air-rate code outside the list, an identity that is not four decimal digits.
QList<RadioField> UnknownFields(const RawRadioValues& raw);
// A value as the radio holds it, in the current language: "200", "code 12", "bytes 1A 34".
QString RawValue(RadioField field, const RawRadioValues& raw);
// The same with the field's name: "channel 200", "air rate code 12", "ID bytes 1A 34".
QString RawValueText(RadioField field, const RawRadioValues& raw);
// "The radio holds values this program does not know: channel 200.", in the current
// language; empty when every value is known.
QString UnknownValuesText(const RawRadioValues& raw);
// A field of a read: its FieldText, or the radio's own value where that is empty.
QString ReadingText(RadioField field, const ShownParameters& reading);
// The fields in which two reads of a radio differ, its own values compared.
QList<RadioField> ChangedFields(const ShownParameters& before, const ShownParameters& after);

// "Verify failed: channel written NO.5, radio reports NO.1", a line per differing field, in
// the current language; empty when nothing differs.
QString VerifyFailedText(const WriteSelection& written, const ShownParameters& reported);
