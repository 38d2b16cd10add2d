#pragma once

#include <QString>
#include <cstdint>
#include <memory>

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
    // The device vanished and the port has been closed.
    virtual void portLost() = 0;
};

// What the link needs of the port settings dialog, whose lists show the current settings.
class PortSettingsDisplay {
public:
    virtual ~PortSettingsDisplay() = default;
    virtual QString portListText() const = 0;
    virtual void selectPort(int entry) = 0;
    virtual void selectRateAndParity(int baudIndex, int parityIndex) = 0;
};

// The one serial port of the program and its settings.
class SerialLink {
public:
    uint8_t PortNo = 0;
    uint8_t BaudIndex = 0;
    uint8_t ParityIndex = 0;
    uint8_t WaitFactor = 3;
    uint32_t CommErrors = 0;
    uint32_t BytesToWrite = 0;
    QString RateText;
    QString ParityLetter;

    explicit SerialLink(SerialDeviceOpener opener = {});
    ~SerialLink();

    void setOpener(SerialDeviceOpener opener);
    void setHost(SerialLinkHost* host);
    void setDisplay(PortSettingsDisplay* display);
    SerialLinkHost* host() const;
    PortSettingsDisplay* display() const;

    // A device is open.
    bool PortHandle() const;
    SerialDevice* device() const;

    bool OpenPortScan();
    // Opens COMn, closing the port open until now.
    bool OpenPortByName(int n);
    // A name typed into the port list that names no entry; PortNo becomes 0.
    bool OpenPortByName(const QString& deviceName);
    void ApplyPortSettings();
    bool SearchStep();
    void PurgePort(uint32_t flags);
    uint32_t BytesWaiting();
    void ReadPort(uint8_t* buffer, uint32_t n);
    void WritePort(const uint8_t* bytes, uint32_t n);
    void ClosePort();

private:
    bool openDevice(const QString& deviceName);
    // Purges and closes the open port without the status text of ClosePort, then opens anew.
    bool reopen(const QString& deviceName);
    void markClosed();
    void showPortAndSettings();

    struct Private;
    std::unique_ptr<Private> d;
};

// The process-wide port.
SerialLink& Link();
