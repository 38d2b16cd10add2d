#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

// Line error flags, as the driver's status query reports them.
namespace LineError {
inline constexpr uint32_t RxOverflow = 0x0001;
inline constexpr uint32_t Overrun = 0x0002;
inline constexpr uint32_t RxParity = 0x0004;
inline constexpr uint32_t Framing = 0x0008;
inline constexpr uint32_t Break = 0x0010;
}  // namespace LineError

// The modem control lines, as bits of one value: DTR and RTS the program drives, CTS, DSR, CD
// and RI it watches.
namespace ModemLine {
inline constexpr uint8_t Dtr = 0x01;
inline constexpr uint8_t Rts = 0x02;
inline constexpr uint8_t Cts = 0x04;
inline constexpr uint8_t Dsr = 0x08;
inline constexpr uint8_t Cd = 0x10;
inline constexpr uint8_t Ri = 0x20;
}  // namespace ModemLine

struct NamedModemLine {
    uint8_t line;
    const char* name;
};
inline constexpr std::array<NamedModemLine, 6> ModemLineNames{{{ModemLine::Dtr, "DTR"},
                                                               {ModemLine::Rts, "RTS"},
                                                               {ModemLine::Cts, "CTS"},
                                                               {ModemLine::Dsr, "DSR"},
                                                               {ModemLine::Cd, "CD"},
                                                               {ModemLine::Ri, "RI"}}};

enum class ParityMode { None, Odd, Even };

// The serial rates a port is set to and the radio works at, in the order of their index.
inline constexpr std::array<int32_t, 9> SerialRates{600,   1200,  2400,  4800,  9600,
                                                    19200, 38400, 57600, 115200};

// Rate, parity (checked when not None) and stop bits; data bits are always 8.
struct LineSettings {
    int32_t baudRate = 9600;
    ParityMode parity = ParityMode::None;
    int stopBits = 1;
    friend bool operator==(const LineSettings&, const LineSettings&) = default;
};

// Why a port did not take its line settings.
enum class SettingsRefusal {
    Driver,           // the driver refused them
    Server,           // a network serial server answered with other settings, or does not set any
    NoAnswer,         // a network serial server did not answer in time
    Unchangeable,     // a plain network connection, whose settings are the server's alone
    ConnectionEnded,  // a network serial server ended the connection before it answered
};

// One open serial port. Everything the program does with a port goes through this, and no
// call waits for the device: received bytes are taken from a buffer that fills as they
// arrive, and written bytes go into a queue that empties into the driver.
class SerialDevice : public QObject {
    Q_OBJECT
  public:
    ~SerialDevice() override = default;

    // The settings the driver holds now.
    virtual LineSettings lineSettings() const = 0;
    // Sets rate, 8 data bits, parity and stop bits; false when the driver refused them. A
    // network port waits for its server to confirm them, with a bound.
    virtual bool setLineSettings(const LineSettings& settings) = 0;
    // Why the last setLineSettings() returned false.
    virtual SettingsRefusal settingsRefusal() const { return SettingsRefusal::Driver; }
    // Discards unsent output and/or unread input; returns the received bytes it threw away.
    virtual QByteArray purge(bool output, bool input) = 0;
    // Received bytes waiting to be read; stores and clears the line error flags.
    virtual uint32_t bytesWaiting(uint32_t* errorFlags) = 0;
    // Reads n bytes that bytesWaiting() reported; returns the count read.
    virtual int64_t read(uint8_t* buffer, int64_t n) = 0;
    // Queues the bytes for sending and returns at once with the count the send queue took:
    // all of them unless it is full.
    virtual int64_t write(const uint8_t* data, int64_t n) = 0;
    // Written bytes the driver has not taken yet.
    virtual int64_t bytesToWrite() const = 0;
    // Bytes the driver has taken since the open.
    virtual uint64_t bytesSent() const = 0;
    // Received bytes dropped since the open because the receive buffer was full.
    virtual uint64_t bytesLost() const = 0;
    virtual void close() = 0;

    // The modem lines as ModemLine bits, as last seen; none where the driver has no modem lines
    // (a pseudo-terminal has none).
    virtual std::optional<uint8_t> modemLines() const { return std::nullopt; }
    // Raises or drops DTR or RTS; false where the driver refused or has no modem lines.
    virtual bool setModemLine(uint8_t line, bool on) {
        Q_UNUSED(line);
        Q_UNUSED(on);
        return false;
    }
    // The serial number of the USB adapter the device sits behind; empty where there is none.
    virtual QString adapterSerialNumber() const { return {}; }
    // How long a request takes to reach a network serial server and its answer to come back,
    // in whole milliseconds (rounded up), as last measured; none for a local device, whose
    // replies come at the speed of the line alone.
    virtual std::optional<int> roundTripMs() const { return std::nullopt; }

  signals:
    // The device is gone (adapter pulled, far end of a pseudo-terminal closed, a driver that
    // stopped answering), and why, in a few words.
    void lost(const QString& reason = QString());
    // The driver has taken more of the written bytes.
    void sent();
    // A modem line changed on its own (the far end moved CTS, DSR, CD or RI).
    void modemLinesChanged();
};

// Why a device could not be opened. A network port adds the ways a connection fails.
enum class OpenFailure {
    None,
    InUse,
    NoPermission,
    NoSuchDevice,
    Other,
    InvalidAddress,     // a network port's name that is not exactly as it must be
    HostNotFound,       // the server's name is not known
    ConnectionRefused,  // nothing listens at the server's port
    TimedOut,           // the server did not answer in time
    NotComPortServer,   // the server refused the COM port option
};

struct OpenResult {
    std::unique_ptr<SerialDevice> device;
    OpenFailure failure = OpenFailure::None;
    // The system's own words, for a failure of no known kind.
    QString systemText;

    OpenResult() = default;
    // A device, or a failure without a reason when there is none.
    OpenResult(std::unique_ptr<SerialDevice> opened)  // NOLINT: an opened device is a result
        : device(std::move(opened)), failure(device ? OpenFailure::None : OpenFailure::Other) {}
    static OpenResult Failed(OpenFailure why, QString text = {}) {
        OpenResult result;
        result.failure = why;
        result.systemText = std::move(text);
        return result;
    }
};

// Opens a device by the name the system knows it by.
using SerialDeviceOpener = std::function<OpenResult(const QString& name)>;

// An open that runs without the caller waiting for it: finished() comes once, in the thread
// that began it, and take() then hands over the result. Deleting it abandons an open not yet
// finished.
class PendingOpen : public QObject {
    Q_OBJECT
  public:
    OpenResult take() { return std::move(result_); }

  signals:
    void finished();

  protected:
    void finish(OpenResult result) {
        result_ = std::move(result);
        emit finished();
    }

  private:
    OpenResult result_;
};

// Begins to open a device by its name and to give it line settings, without waiting for it.
using BackgroundOpener =
    std::function<std::unique_ptr<PendingOpen>(const QString& name, const LineSettings& settings)>;
