#pragma once

// Moves the radio parameter set between reply frames, the main window's parameter controls
// and write frames. The mappings themselves are the pure functions of paramcodec.h.

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>

class QComboBox;
class QLineEdit;

struct ParameterControls {
    QComboBox* ComboChnn = nullptr;
    QComboBox* ComboAirBaud = nullptr;
    QComboBox* ComboRadioSerBaud = nullptr;
    QComboBox* ComboRadioParity = nullptr;
    QLineEdit* EditModelVer = nullptr;
    QLineEdit* EditID = nullptr;
    std::function<QString()> statusPanel0;
    std::function<void(const QString&)> setStatusPanel0;
};

// Registers the main window's controls once, before the first exchange.
void SetParameterControls(const ParameterControls& controls);

// Judges the connect reply into SendReady and shows model and version in status panel 0.
void CheckModelReply(const uint8_t* frame, size_t received);

// Stores one read reply into RadioPara and its verdict into SendReady.
void DecodeReply(int step, const uint8_t* frame, size_t received);

// Shows the whole parameter set; the radio's serial settings are those it answered at.
void ShowRadioPara(uint8_t baudIndex, uint8_t parityIndex);

// Fills and completes the write frame of `step` from the controls. Returns false after an
// error report when the identity text is too short; no frame must be sent then.
bool EncodeWritePayload(int step, uint8_t* frame);
