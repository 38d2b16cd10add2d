#pragma once

// Moves the radio parameter set between reply frames, whoever shows it and write frames. The
// mappings themselves are the pure functions of paramcodec.h.

#include <QString>
#include <cstddef>
#include <cstdint>

#include "radio/paramcodec.h"

// What a read shows, as list positions (NoSelection for none) and the identity text, and the
// radio's values as its replies carried them.
struct ShownParameters {
    int channelPosition = NoSelection;
    int airBaudPosition = NoSelection;
    int serialBaudPosition = NoSelection;
    int parityPosition = NoSelection;
    QString idText;
    RawRadioValues raw;
};

// The shown parameters as the values a write would send again.
WriteSelection AsWriteSelection(const ShownParameters& shown);
// What a read shows of a radio that took every frame of a write of `written`.
ShownParameters ExpectedReading(const WriteSelection& written);

// Where the parameter set is shown: the main window's controls, or any other host.
class ParameterView {
  public:
    virtual ~ParameterView() = default;
    // Status panel 0: the model and version the connect found.
    virtual void showModelVersion(const QString& text) = 0;
    virtual QString modelVersionShown() const = 0;
    // Read step 0: the model field takes the model and version the connect found.
    virtual void showModelField(const QString& text) = 0;
    // The air-rate list may be changed.
    virtual void enableAirRate() = 0;
    // The whole set, once all read steps are done.
    virtual void showParameters(const ShownParameters& shown) = 0;
    // A read starts: the model and identity fields empty, the air and serial rates unselected.
    virtual void clearReadResults() = 0;
};

// Judges the connect reply into `para` and shows model and version in status panel 0. Returns
// the verdict.
bool CheckModelReply(ParameterView& view, RadioParameterSet& para, const uint8_t* frame,
                     size_t received);

// Stores one read reply into `para`. Returns the verdict.
bool DecodeReply(ParameterView& view, RadioParameterSet& para, int step, const uint8_t* frame,
                 size_t received);

// Shows the whole parameter set and returns what it showed; the radio's serial settings are
// those it answered at.
ShownParameters ShowRadioPara(ParameterView& view, const RadioParameterSet& para, uint8_t baudIndex,
                              uint8_t parityIndex);

// Fills and completes the write frame of `step` from the values to write. Returns false when
// the identity text is too short; no frame must be sent then.
bool EncodeWritePayload(int step, const WriteSelection& values, uint8_t* frame);
