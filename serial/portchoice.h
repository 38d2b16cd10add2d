#pragma once

#include <QString>
#include <cstdint>
#include <optional>

#include "serial/serialdevice.h"

// The port's rate and parity as positions in the rate table (600 to 115200 bit/s) and the parity
// table (none, odd, even). Once a search has found the radio they are its serial settings too.
struct RateAndParity {
    uint8_t baudIndex = 0;
    uint8_t parityIndex = 0;
    bool operator==(const RateAndParity&) const = default;
};

// Where a search for the radio begins: the device tried before COM1 to COM8 (none when empty)
// and the setting a port it opens starts at. The program puts here where the radio answered last.
struct SearchStart {
    QString firstDevice;
    RateAndParity setting{4, 0};
};

// A port and its line settings, as the port settings dialog hands them to the link in one piece.
struct PortChoice {
    // COMn; 0 when the device is named instead.
    int portNo = 0;
    QString deviceName;
    // List positions; no selection (-1) leaves the port at 9600 and no parity.
    int baudIndex = -1;
    int parityIndex = -1;

    // Stored in 8 bits: no selection (-1) becomes 255, which the link reads as 9600 / none.
    RateAndParity settings() const {
        return {static_cast<uint8_t>(baudIndex), static_cast<uint8_t>(parityIndex)};
    }
};

enum class PortChoiceOutcome {
    Applied,
    // No port is open now.
    OpenFailed,
    // The port opened but refused the rate or parity, and was closed.
    SettingsRefused,
};

struct [[nodiscard]] PortChoiceResult {
    PortChoiceOutcome outcome = PortChoiceOutcome::Applied;
    // OpenFailed: why, a line per device tried.
    QString reason;
    // SettingsRefused: why.
    SettingsRefusal refusal = SettingsRefusal::Driver;
};

// What the port settings dialog needs of the link.
class PortSettingsLink {
  public:
    virtual ~PortSettingsLink() = default;
    // Opens the chosen port, closing the one open until now, and sets the chosen rate and parity.
    virtual PortChoiceResult ChoosePort(const PortChoice& choice) = 0;
    virtual bool PortHandle() const = 0;
};

// A port that vanished while open, as it was: the choice that opens it again with its settings,
// the serial number of the USB adapter it sat behind (empty where there was none) and its modem
// lines (none where it had none).
struct VanishedPort {
    PortChoice choice;
    QString serialNumber;
    std::optional<uint8_t> modemLines;
};
