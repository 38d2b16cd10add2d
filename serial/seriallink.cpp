#include "serial/seriallink.h"

#include <array>

#include "core/language.h"
#include "core/messages.h"
#include "serial/portnames.h"
#include "serial/qtserialdevice.h"

namespace {

// The link's messages and status texts.
const LocalizedMessage kNoIdlePort{"No idle Port!", "无空闲端口!", "CommError", "CommError"};
const LocalizedMessage kSettingsRejected{"Port open error!", "通讯端口设置错误!", "Set_Error",
                                         "CommError"};
const LocalizedMessage kPortLost{"Port disconnected!", "串口已断开!", "CommError"};
QString ConnectingText() {
    return Tr("Connect...", "连接中...");
}
QString DisconnectedText() {
    return Tr("Disconnect", "已断开");
}

constexpr uint8_t kScanBaudIndex = 4;
constexpr int kScanLastPort = 8;

bool HasBaudRate(uint8_t baudIndex) {
    return baudIndex < SerialRates.size();
}

// 12, 11, 10, 9 below 9600 bit/s, 10 from there on (any unknown index included).
uint8_t WaitFactorFor(uint8_t baudIndex) {
    return baudIndex < 4 ? 12 - baudIndex : 10;
}

ParityMode ParityFor(uint8_t parityIndex) {
    switch (parityIndex) {
        case 1:
            return ParityMode::Odd;
        case 2:
            return ParityMode::Even;
        default:
            return ParityMode::None;
    }
}

QString ParityLetterFor(uint8_t parityIndex) {
    switch (parityIndex) {
        case 1:
            return QStringLiteral("O");
        case 2:
            return QStringLiteral("E");
        default:
            return QStringLiteral("N");
    }
}

}  // namespace

struct SerialLink::Private {
    SerialDeviceOpener opener;
    SerialLinkHost* host = nullptr;
    PortSettingsDisplay* display = nullptr;
    std::unique_ptr<SerialDevice> device;
};

SerialLink::SerialLink(SerialDeviceOpener opener) : d(std::make_unique<Private>()) {
    d->opener = std::move(opener);
}

SerialLink::~SerialLink() = default;

void SerialLink::setOpener(SerialDeviceOpener opener) {
    d->opener = std::move(opener);
}
void SerialLink::setHost(SerialLinkHost* host) {
    d->host = host;
}
void SerialLink::setDisplay(PortSettingsDisplay* display) {
    d->display = display;
}
SerialLinkHost* SerialLink::host() const {
    return d->host;
}
PortSettingsDisplay* SerialLink::display() const {
    return d->display;
}

bool SerialLink::PortHandle() const {
    return d->device != nullptr;
}
SerialDevice* SerialLink::device() const {
    return d->device.get();
}

bool SerialLink::OpenPortScan() {
    if (!PortHandle()) {
        const QStringList devices = DevicesForPorts(kScanLastPort);
        for (int n = 1; n <= kScanLastPort; ++n) {
            if (openDevice(devices[n - 1])) {
                PortNo = n;
                BaudIndex = kScanBaudIndex;
                ParityIndex = 0;
                break;
            }
        }
    }
    if (!PortHandle()) {
        ShowLocalized(kNoIdlePort);
        return false;
    }
    return true;
}

bool SerialLink::OpenPortByName(int n) {
    const bool opened = reopen(DeviceForPort(n));
    PortNo = static_cast<uint8_t>(n);
    return opened;
}

bool SerialLink::OpenPortByName(const QString& deviceName) {
    const bool opened = reopen(deviceName);
    PortNo = 0;
    return opened;
}

void SerialLink::ApplyPortSettings() {
    LineSettings settings = PortHandle() ? d->device->lineSettings() : LineSettings{};
    settings.baudRate = SerialRates[HasBaudRate(BaudIndex) ? BaudIndex : kScanBaudIndex];
    RateText = QString::number(settings.baudRate);
    WaitFactor = WaitFactorFor(BaudIndex);
    settings.stopBits = 1;
    settings.parity = ParityFor(ParityIndex);
    ParityLetter = ParityLetterFor(ParityIndex);
    showPortAndSettings();

    if (PortHandle() && d->device->setLineSettings(settings)) {
        PurgePort(PURGE_TXCLEAR | PURGE_RXCLEAR);
        return;
    }
    ShowLocalized(kSettingsRejected);
    if (PortHandle()) d->device->close();
    d->device.reset();
    PortNo = 0;
}

bool SerialLink::SearchStep() {
    LineSettings settings = PortHandle() ? d->device->lineSettings() : LineSettings{};
    bool accepted = true;
    if (ParityIndex > 2) {
        BaudIndex = HasBaudRate(BaudIndex + 1) ? BaudIndex + 1 : 0;
        ParityIndex = 0;
        WaitFactor = WaitFactorFor(BaudIndex);
    }
    if (HasBaudRate(BaudIndex)) {
        settings.baudRate = SerialRates[BaudIndex];
        RateText = QString::number(settings.baudRate);
    } else {
        accepted = false;
    }
    settings.parity = ParityFor(ParityIndex);
    ParityLetter = ParityLetterFor(ParityIndex);

    if (d->display) {
        if (PortNo >= 1) d->display->selectPort(PortNo - 1);
        d->display->selectRateAndParity(BaudIndex, ParityIndex);
    }
    showPortAndSettings();
    if (d->host) d->host->setStatusText(3, ConnectingText());

    if (!PortHandle() || !d->device->setLineSettings(settings)) accepted = false;
    PurgePort(PURGE_TXCLEAR | PURGE_RXCLEAR);
    return accepted;
}

void SerialLink::PurgePort(uint32_t flags) {
    const bool output = flags & PURGE_TXCLEAR;
    const bool input = flags & PURGE_RXCLEAR;
    if (PortHandle() && (output || input)) d->device->purge(output, input);
}

uint32_t SerialLink::BytesWaiting() {
    if (!PortHandle()) return 0;
    uint32_t errors = 0;
    const uint32_t waiting = d->device->bytesWaiting(&errors);
    CommErrors = errors;
    return waiting;
}

void SerialLink::ReadPort(uint8_t* buffer, uint32_t n) {
    if (PortHandle()) d->device->read(buffer, n);
}

void SerialLink::WritePort(const uint8_t* bytes, uint32_t n) {
    BytesToWrite = n;
    if (PortHandle()) d->device->write(bytes, n);
}

void SerialLink::ClosePort() {
    if (!PortHandle()) return;
    d->device->close();
    d->device.reset();
    markClosed();
}

bool SerialLink::openDevice(const QString& deviceName) {
    if (deviceName.isEmpty() || !d->opener) return false;
    d->device = d->opener(deviceName);
    if (!d->device) return false;
    // The device may report its loss from inside one of its own calls, so it is only let go
    // of later, when control is back in the event loop.
    QObject::connect(d->device.get(), &SerialDevice::lost, d->device.get(),
                     [this, lostDevice = d->device.get()] {
                         if (d->device.get() != lostDevice) return;
                         d->device->close();
                         d->device.release()->deleteLater();
                         markClosed();
                         if (d->host) d->host->portLost();
                         ShowLocalized(kPortLost);
                     });
    return true;
}

bool SerialLink::reopen(const QString& deviceName) {
    if (PortHandle()) {
        PurgePort(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
        d->device->close();
        d->device.reset();
    }
    return openDevice(deviceName);
}

void SerialLink::markClosed() {
    PortNo = 0;
    if (d->host) {
        d->host->setStatusText(3, DisconnectedText());
        d->host->stopReceivePoll();
    }
}

void SerialLink::showPortAndSettings() {
    if (!d->host) return;
    const QString portText =
        d->display ? d->display->portListText() : QStringLiteral("COM%1").arg(PortNo);
    d->host->setStatusText(1, portText);
    d->host->setStatusText(2, RateText + "-" + ParityLetter + "-1");
}

SerialLink& Link() {
    static SerialLink link(OpenQtSerialDevice);
    return link;
}
