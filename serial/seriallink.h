#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "serial/linkobserver.h"
#include "serial/portchoice.h"
#include "serial/serialdevice.h"

// Purge flags of PurgePort.
inline constexpr uint32_t PURGE_TXABORT = 0x1;
inline constexpr uint32_t PURGE_RXABORT = 0x2;
inline constexpr uint32_t PURGE_TXCLEAR = 0x4;
inline constexpr uint32_t PURGE_RXCLEAR = 0x8;

// What the link needs of the main window.
class SerialLinkHost {
  public:
    virtual ~SerialLinkHost() = default;
    virtual void setStatusText(int panel, const QString& text) = 0;
    virtual void startReceivePoll() = 0;
    virtual void stopReceivePoll() = 0;
    // The device vanished and the port has been closed; the host says so.
    virtual void portLost() = 0;
    // The driver has taken more of the bytes written.
    virtual void dataSent() = 0;
};

// What the link needs of the port settings dialog, whose lists show the current settings.
class PortSettingsDisplay {
  public:
    virtual ~PortSettingsDisplay() = default;
    virtual QString portListText() const = 0;
    virtual void selectPort(int entry) = 0;
    virtual void selectRateAndParity(int baudIndex, int parityIndex) = 0;
};

// What an observer of the link is shown.
enum class ObservedTraffic {
    Everything,
    // The radio's exchanges alone: every setting and purge, and what WritePort and ReadPort
    // pass while an exchange has the port. The data test's bytes are not even looked at.
    Exchanges,
};

// The one serial port of the program and its settings.
class SerialLink : public PortSettingsLink {
  public:
    // The reply-wait factor of the rate; starts at 3 and follows the rate only when the
    // settings are applied or a search moves on to another rate.
    uint8_t WaitFactor = 3;
    uint32_t CommErrors = 0;
    uint32_t BytesToWrite = 0;

    explicit SerialLink(SerialDeviceOpener opener = {});
    ~SerialLink();

    void setOpener(SerialDeviceOpener opener);
    void setHost(SerialLinkHost* host);
    void setDisplay(PortSettingsDisplay* display);
    SerialLinkHost* host() const;
    PortSettingsDisplay* display() const;
    // Observers see every byte written, read or purged from now on (or those of the exchanges),
    // and a new one is told the settings of the open port at once; without any, nothing is
    // looked at.
    void addObserver(LinkObserver* observer, ObservedTraffic shown = ObservedTraffic::Everything);
    void removeObserver(LinkObserver* observer);
    // Says whether a radio exchange has the port, for the observers of exchanges; without it,
    // none ever has.
    void setExchangeProbe(std::function<bool()> exchangeRunning);

    // n of the COMn last opened; 0 for none or a device opened by its name.
    uint8_t PortNo() const;
    RateAndParity Settings() const;
    uint8_t BaudIndex() const;
    uint8_t ParityIndex() const;
    // "9600" and "N": the rate and parity last set on the port.
    QString RateText() const;
    QString ParityLetter() const;
    void setSearchStart(const SearchStart& start);
    const SearchStart& searchStart() const;

    // A device is open.
    bool PortHandle() const override;
    // The name the open device was opened by; empty while none is open.
    QString PortDeviceName() const;
    SerialDevice* device() const;

    // Opens a port for an exchange with the radio. A port the user chose that failed to open
    // is tried again alone, and a device given on the command line is the one tried: when it is
    // missing or cannot be opened, the reason is reported at once instead of searching other
    // ports. Whenever no port could be opened the status bar shows the port closed and
    // OpenFailureText says why.
    [[nodiscard]] bool OpenPortScan();
    // Opens COMn, closing the port open until now.
    [[nodiscard]] bool OpenPortByName(int n);
    // A name typed into the port list that names no entry; PortNo becomes 0.
    [[nodiscard]] bool OpenPortByName(const QString& deviceName);
    // Why the last open failed, a line per device tried (or that there was none to try), in
    // the current language.
    QString OpenFailureText() const;
    // Sets the rate and parity on the open port. False when the port refused them; it is
    // closed then. A port whose settings cannot change (SettingsFixed) takes them as the ones it
    // stands at and stays open.
    [[nodiscard]] bool ApplyPortSettings(RateAndParity settings);
    // The line settings ApplyPortSettings gives the port for a choice.
    static LineSettings PortSettingsFor(RateAndParity chosen);
    // Why ApplyPortSettings last returned false.
    SettingsRefusal LastSettingsRefusal() const;
    PortChoiceResult ChoosePort(const PortChoice& choice) override;
    // ChoosePort with the device opened already, or its open failed, elsewhere.
    PortChoiceResult ChooseOpenedPort(const PortChoice& choice, OpenResult opened);
    // One step of the speed-and-parity search: the attempt's parity past even moves on to
    // the next rate, from 115200 back to 600. False when the port refused the setting, or
    // there is no port or no such rate.
    [[nodiscard]] bool SearchStep(RateAndParity attempt);
    // The open port's line settings are its server's alone (a plain network connection): it
    // stands at the setting given, and a search has nothing else to try.
    bool SettingsFixed() const;
    void PurgePort(uint32_t flags);
    uint32_t BytesWaiting();
    void ReadPort(uint8_t* buffer, uint32_t n);
    // Queues the bytes without waiting; returns how many the send queue took.
    [[nodiscard]] uint32_t WritePort(const uint8_t* bytes, uint32_t n);
    // WritePort for user data, whose bytes count towards the TX counter once the driver has
    // taken them.
    [[nodiscard]] uint32_t WriteData(const uint8_t* bytes, uint32_t n);
    // User data bytes the driver has taken since the last call.
    uint64_t TakeSentData();
    // Written bytes that the driver has not taken yet.
    bool SendPending() const;
    // Received bytes dropped for want of room since the last call.
    uint64_t TakeLostBytes();
    void ClosePort();

    // The port that vanished last, as it was; none before any did.
    std::optional<VanishedPort> LastVanishedPort() const;
    // The open port's modem lines as ModemLine bits; none without a port or where it has none.
    std::optional<uint8_t> ModemLines() const;
    // Raises or drops DTR or RTS; false where the port refused. Observers see each line that
    // changed.
    [[nodiscard]] bool SetModemLine(uint8_t line, bool on);

  private:
    OpenResult openDevice(const QString& deviceName);
    bool openScanned();
    bool tryOpen(int portNo, const QString& deviceName);
    // Purges and closes the open port without the status text of ClosePort, then opens anew.
    bool reopen(int portNo, const QString& deviceName);
    void settleDevice();
    void closeDevice();
    void markClosed();
    // The status bar's closed state, and no receive poll.
    void showClosed();
    void showPortAndSettings();
    uint32_t queue(const uint8_t* bytes, uint32_t n, bool counted);
    // Whose bytes these are, as far as the link can tell.
    enum class TrafficOwner { Exchange, ExchangeOrDataTest, DataTest };
    bool ofExchange(TrafficOwner owner) const;
    void observeTraffic(LinkTraffic what, const uint8_t* bytes, uint32_t count, TrafficOwner owner);
    // Sets the device's line settings; on a port whose server confirms them, the time until it
    // did is kept for the observers.
    bool setDeviceSettings(const LineSettings& settings);
    void observeSettings(bool searching);
    void noteVanished();
    void watchModemLines(SerialDevice* device);
    void observeModemLines();

    void setRateText(uint32_t baudRate);
    void setParity(uint8_t parityIndex);

    uint8_t portNo_ = 0;
    RateAndParity settings_;
    SettingsRefusal settingsRefusal_ = SettingsRefusal::Driver;
    bool settingsFixed_ = false;
    QString rateText_;
    QString parityLetter_;
    SearchStart searchStart_;

    struct Private;
    std::unique_ptr<Private> d;
};

// The process-wide port.
SerialLink& Link();
