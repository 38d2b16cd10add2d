#include "serial/seriallink.h"

#include <QList>
#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

#include "core/language.h"
#include "core/logging.h"
#include "serial/portnames.h"
#include "serial/portopener.h"
#include "serial/porturl.h"
#include "serial/sendledger.h"

namespace {

// The link's status texts.
QString ConnectingText() {
    return Tr("Connect...", "连接中...");
}
QString DisconnectedText() {
    return Tr("Disconnect", "已断开");
}

constexpr uint8_t kDefaultBaudIndex = 4;
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

// One device that would not open, and why.
struct FailedOpen {
    int portNo;  // 0 for a name typed into the port list
    QString device;
    OpenFailure failure;
    QString systemText;
};

QString PortAndDevice(const FailedOpen& failed) {
    if (failed.portNo == 0) return failed.device;
    if (failed.device.isEmpty()) return QStringLiteral("COM%1").arg(failed.portNo);
    return QStringLiteral("COM%1 (%2)").arg(failed.portNo).arg(failed.device);
}

QString FailureLine(const FailedOpen& failed) {
    const QString port = PortAndDevice(failed);
    switch (failed.failure) {
        case OpenFailure::InUse:
            return Tr("%1 is in use by another program.", "%1 正被其他程序使用。").arg(port);
        case OpenFailure::NoPermission:
#if defined(Q_OS_LINUX)
            return Tr("No permission to open %1: add the user to the dialout group "
                      "(sudo adduser $USER dialout), then log in again.",
                      "没有打开 %1 的权限：请把用户加入 dialout 组"
                      "（sudo adduser $USER dialout），然后重新登录。")
                .arg(port);
#else
            return Tr("No permission to open %1.", "没有打开 %1 的权限。").arg(port);
#endif
        case OpenFailure::NoSuchDevice:
            return Tr("%1: no such device.", "%1：设备不存在。").arg(port);
        case OpenFailure::InvalidAddress:
            return Tr("%1 is not a valid network port: write rfc2217://HOST:PORT or "
                      "socket://HOST:PORT.",
                      "%1 不是有效的网络端口：请写作 rfc2217://主机:端口 或 socket://主机:端口。")
                .arg(port);
        case OpenFailure::HostNotFound:
            return Tr("%1: the server's host is not known.", "%1：找不到服务器的主机。").arg(port);
        case OpenFailure::ConnectionRefused:
            return Tr("%1: the server refused the connection.", "%1：服务器拒绝连接。").arg(port);
        case OpenFailure::TimedOut:
            return Tr("%1: the server did not answer within 5 s.", "%1：服务器在 5 秒内没有应答。")
                .arg(port);
        case OpenFailure::NotComPortServer:
            return Tr("%1: the server cannot set serial ports (RFC 2217); use socket:// for a "
                      "plain connection.",
                      "%1：服务器不能设置串口（RFC 2217）；普通连接请使用 socket://。")
                .arg(port);
        case OpenFailure::None:
        case OpenFailure::Other:
            break;
    }
    const QString text =
        failed.systemText.isEmpty() ? Tr("it cannot be opened", "无法打开") : failed.systemText;
    return QStringLiteral("%1: %2").arg(port, text);
}

// "COM1 (/dev/ttyUSB0)", or the device alone when it was opened by its name.
QString PortText(int portNo, const QString& device) {
    return portNo > 0 ? QStringLiteral("COM%1 (%2)").arg(portNo).arg(device) : device;
}

// "9600-N-1".
QString SettingsText(const LineSettings& settings) {
    const char letter = settings.parity == ParityMode::Odd    ? 'O'
                        : settings.parity == ParityMode::Even ? 'E'
                                                              : 'N';
    return QStringLiteral("%1-%2-%3").arg(settings.baudRate).arg(letter).arg(settings.stopBits);
}

int64_t MicrosecondsSinceEpoch() {
    using namespace std::chrono;
    return duration_cast<microseconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace

struct SerialLink::Private {
    SerialDeviceOpener opener;
    SerialLinkHost* host = nullptr;
    PortSettingsDisplay* display = nullptr;
    std::unique_ptr<SerialDevice> device;
    QString deviceName;  // of the open device
    // The port the user chose last, while it has failed to open.
    std::optional<FailedOpen> chosen;
    QList<FailedOpen> failures;
    SendLedger ledger;
    uint64_t lostSeen = 0;   // of the open device's lost bytes, those already reported
    uint64_t lostCarry = 0;  // lost on earlier devices, not yet reported
    struct Watcher {
        LinkObserver* observer;
        ObservedTraffic shown;
    };
    std::vector<Watcher> observers;
    std::function<bool()> exchangeRunning;
    std::optional<VanishedPort> vanished;
    uint8_t modemLinesSeen = 0;  // of the open device, as the observers were last told
    // How long the server took to confirm the settings last set; none when no server did.
    std::optional<int64_t> settingsRoundTripUs;
    // What the next open gives instead of opening, when it was opened elsewhere.
    std::optional<OpenResult> openedElsewhere;
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

void SerialLink::addObserver(LinkObserver* observer, ObservedTraffic shown) {
    const auto same = [observer](const Private::Watcher& w) { return w.observer == observer; };
    if (std::any_of(d->observers.begin(), d->observers.end(), same)) return;
    d->observers.push_back({observer, shown});
    if (PortHandle()) {
        observer->linkSettings(SettingsText(d->device->lineSettings()),
                               PortText(portNo_, d->deviceName), false, MicrosecondsSinceEpoch());
    }
}

void SerialLink::removeObserver(LinkObserver* observer) {
    std::erase_if(d->observers,
                  [observer](const Private::Watcher& w) { return w.observer == observer; });
}

void SerialLink::setExchangeProbe(std::function<bool()> exchangeRunning) {
    d->exchangeRunning = std::move(exchangeRunning);
}

bool SerialLink::ofExchange(TrafficOwner owner) const {
    switch (owner) {
        case TrafficOwner::Exchange:
            return true;
        case TrafficOwner::ExchangeOrDataTest:
            return d->exchangeRunning && d->exchangeRunning();
        case TrafficOwner::DataTest:
            break;
    }
    return false;
}

// Observers of exchanges alone cost no more than the probe while the data test has the port.
void SerialLink::observeTraffic(LinkTraffic what, const uint8_t* bytes, uint32_t count,
                                TrafficOwner owner) {
    if (count == 0) return;
    std::optional<bool> exchange;
    std::optional<int64_t> now;
    for (const Private::Watcher& watcher : d->observers) {
        if (watcher.shown == ObservedTraffic::Exchanges) {
            if (!exchange) exchange = ofExchange(owner);
            if (!*exchange) continue;
        }
        if (!now) now = MicrosecondsSinceEpoch();
        watcher.observer->linkTraffic(what, bytes, count, *now);
    }
}

bool SerialLink::setDeviceSettings(const LineSettings& settings) {
    d->settingsRoundTripUs.reset();
    if (!PortHandle()) return false;
    const auto asked = std::chrono::steady_clock::now();
    if (!d->device->setLineSettings(settings)) return false;
    const std::optional<PortUrl> url = ParsePortUrl(d->deviceName);
    if (url && url->protocol == PortProtocol::Rfc2217) {
        d->settingsRoundTripUs = std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now() - asked)
                                     .count();
    }
    return true;
}

void SerialLink::observeSettings(bool searching) {
    const int64_t now = MicrosecondsSinceEpoch();
    const QString settings = rateText_ + "-" + parityLetter_ + "-1";
    const QString port = PortText(portNo_, d->deviceName);
    const std::optional<int64_t> roundTrip = d->settingsRoundTripUs;
    for (const Private::Watcher& watcher : d->observers) {
        if (roundTrip) {
            watcher.observer->linkSettingsConfirmed(settings, port, searching, *roundTrip, now);
        } else {
            watcher.observer->linkSettings(settings, port, searching, now);
        }
    }
}

uint8_t SerialLink::PortNo() const {
    return portNo_;
}
RateAndParity SerialLink::Settings() const {
    return settings_;
}
uint8_t SerialLink::BaudIndex() const {
    return settings_.baudIndex;
}
uint8_t SerialLink::ParityIndex() const {
    return settings_.parityIndex;
}
QString SerialLink::RateText() const {
    return rateText_;
}
QString SerialLink::ParityLetter() const {
    return parityLetter_;
}
void SerialLink::setSearchStart(const SearchStart& start) {
    searchStart_ = start;
}
const SearchStart& SerialLink::searchStart() const {
    return searchStart_;
}

bool SerialLink::PortHandle() const {
    return d->device != nullptr;
}
SerialDevice* SerialLink::device() const {
    return d->device.get();
}
QString SerialLink::PortDeviceName() const {
    return PortHandle() ? d->deviceName : QString();
}

bool SerialLink::OpenPortScan() {
    if (!PortHandle()) {
        d->failures.clear();
        if (d->chosen) {
            // COMn may stand for another device by now (an adapter plugged in).
            const int portNo = d->chosen->portNo;
            const QString device = portNo > 0 ? DeviceForPort(portNo) : d->chosen->device;
            if (tryOpen(portNo, device)) portNo_ = portNo;
        } else {
            openScanned();
        }
        if (PortHandle()) settings_ = searchStart_.setting;
    }
    if (PortHandle()) return true;
    showClosed();
    return false;
}

bool SerialLink::openScanned() {
    const QStringList devices = DevicesForPorts(kScanLastPort);
    const QStringList pinned = PinnedPorts();
    const QString& first = searchStart_.firstDevice;
    if (!first.isEmpty()) {
        const int portNo = static_cast<int>(devices.indexOf(first)) + 1;
        if (tryOpen(portNo, first)) {
            portNo_ = portNo;
            return true;
        }
    }
    for (int n = 1; n <= kScanLastPort; ++n) {
        const QString& device = devices[n - 1];
        if (device.isEmpty() || device == first) continue;
        if (tryOpen(n, device)) {
            portNo_ = n;
            return true;
        }
        // A device given on the command line is the one the user means: when it is missing or
        // will not open, say so rather than talk to some other port.
        if (pinned.contains(device)) return false;
    }
    return false;
}

bool SerialLink::OpenPortByName(int n) {
    const bool opened = reopen(n, DeviceForPort(n));
    portNo_ = static_cast<uint8_t>(n);
    return opened;
}

bool SerialLink::OpenPortByName(const QString& deviceName) {
    const bool opened = reopen(0, deviceName);
    portNo_ = 0;
    return opened;
}

QString SerialLink::OpenFailureText() const {
    if (d->failures.isEmpty()) return Tr("No serial port was found.", "未找到串口。");
    QStringList lines;
    for (const FailedOpen& failed : d->failures) lines << FailureLine(failed);
    return lines.join(u'\n');
}

void SerialLink::setRateText(uint32_t baudRate) {
    rateText_ = QString::number(baudRate);
}

void SerialLink::setParity(uint8_t parityIndex) {
    settings_.parityIndex = parityIndex;
    parityLetter_ = ParityLetterFor(parityIndex);
}

LineSettings SerialLink::PortSettingsFor(RateAndParity chosen) {
    const uint8_t baudIndex = chosen.baudIndex;
    return {SerialRates[HasBaudRate(baudIndex) ? baudIndex : kDefaultBaudIndex],
            ParityFor(chosen.parityIndex), 1};
}

bool SerialLink::ApplyPortSettings(RateAndParity chosen) {
    settings_ = chosen;
    const LineSettings settings = PortSettingsFor(chosen);
    setRateText(settings.baudRate);
    WaitFactor = WaitFactorFor(chosen.baudIndex);
    setParity(chosen.parityIndex);
    showPortAndSettings();

    if (setDeviceSettings(settings)) {
        qCDebug(lcSerial).noquote() << "settings" << rateText_ + "-" + parityLetter_ + "-1";
        if (!d->observers.empty()) observeSettings(false);
        PurgePort(PURGE_TXCLEAR | PURGE_RXCLEAR);
        return true;
    }
    settingsRefusal_ = PortHandle() ? d->device->settingsRefusal() : SettingsRefusal::Driver;
    if (PortHandle() && settingsRefusal_ == SettingsRefusal::Unchangeable) {
        settingsFixed_ = true;
        qCDebug(lcSerial).noquote()
            << "settings taken as the server's" << rateText_ + "-" + parityLetter_ + "-1";
        PurgePort(PURGE_TXCLEAR | PURGE_RXCLEAR);
        return true;
    }
    qCDebug(lcSerial).noquote() << "settings refused" << rateText_ + "-" + parityLetter_ + "-1";
    closeDevice();
    portNo_ = 0;
    return false;
}

SettingsRefusal SerialLink::LastSettingsRefusal() const {
    return settingsRefusal_;
}

PortChoiceResult SerialLink::ChoosePort(const PortChoice& choice) {
    const bool opened =
        choice.portNo > 0 ? OpenPortByName(choice.portNo) : OpenPortByName(choice.deviceName);
    if (!opened) return {PortChoiceOutcome::OpenFailed, OpenFailureText()};
    if (d->host) {
        d->host->startReceivePoll();
        d->host->setStatusText(3, ConnectingText());
    }
    const bool applied = ApplyPortSettings(choice.settings());
    if (d->host) d->host->startReceivePoll();
    if (applied) return {PortChoiceOutcome::Applied, {}};
    return {PortChoiceOutcome::SettingsRefused, {}, settingsRefusal_};
}

PortChoiceResult SerialLink::ChooseOpenedPort(const PortChoice& choice, OpenResult opened) {
    d->openedElsewhere = std::move(opened);
    const PortChoiceResult result = ChoosePort(choice);
    d->openedElsewhere.reset();
    return result;
}

bool SerialLink::SearchStep(RateAndParity attempt) {
    LineSettings settings = PortHandle() ? d->device->lineSettings() : LineSettings{};
    bool accepted = true;
    if (attempt.parityIndex > 2) {
        attempt = {uint8_t(HasBaudRate(attempt.baudIndex + 1) ? attempt.baudIndex + 1 : 0), 0};
        WaitFactor = WaitFactorFor(attempt.baudIndex);
    }
    settings_.baudIndex = attempt.baudIndex;
    if (HasBaudRate(attempt.baudIndex)) {
        settings.baudRate = SerialRates[attempt.baudIndex];
        setRateText(settings.baudRate);
    } else {
        accepted = false;
    }
    settings.parity = ParityFor(attempt.parityIndex);
    setParity(attempt.parityIndex);

    if (d->display) {
        if (portNo_ >= 1) d->display->selectPort(portNo_ - 1);
        d->display->selectRateAndParity(attempt.baudIndex, attempt.parityIndex);
    }
    showPortAndSettings();
    if (d->host) d->host->setStatusText(3, ConnectingText());

    if (!setDeviceSettings(settings)) {
        accepted = false;
        if (PortHandle() && d->device->settingsRefusal() == SettingsRefusal::Unchangeable)
            settingsFixed_ = true;
    }
    qCDebug(lcSerial).noquote() << "search step" << rateText_ + "-" + parityLetter_
                                << (accepted ? "set" : "refused");
    if (!d->observers.empty()) observeSettings(true);
    PurgePort(PURGE_TXCLEAR | PURGE_RXCLEAR);
    return accepted;
}

bool SerialLink::SettingsFixed() const {
    return PortHandle() && settingsFixed_;
}

void SerialLink::PurgePort(uint32_t flags) {
    const bool output = flags & PURGE_TXCLEAR;
    const bool input = flags & PURGE_RXCLEAR;
    if (!PortHandle() || !(output || input)) return;
    const QByteArray thrownAway = d->device->purge(output, input);
    if (!d->observers.empty()) {
        observeTraffic(LinkTraffic::Purged,
                       reinterpret_cast<const uint8_t*>(thrownAway.constData()),
                       static_cast<uint32_t>(thrownAway.size()), TrafficOwner::Exchange);
    }
    if (output) {
        d->ledger.sent(d->device->bytesSent());
        d->ledger.discardQueued();
    }
}

uint32_t SerialLink::BytesWaiting() {
    if (!PortHandle()) return 0;
    uint32_t errors = 0;
    const uint32_t waiting = d->device->bytesWaiting(&errors);
    CommErrors = errors;
    return waiting;
}

void SerialLink::ReadPort(uint8_t* buffer, uint32_t n) {
    if (!PortHandle()) return;
    const int64_t taken = d->device->read(buffer, n);
    if (!d->observers.empty() && taken > 0)
        observeTraffic(LinkTraffic::Received, buffer, static_cast<uint32_t>(taken),
                       TrafficOwner::ExchangeOrDataTest);
}

uint32_t SerialLink::WritePort(const uint8_t* bytes, uint32_t n) {
    return queue(bytes, n, false);
}

uint32_t SerialLink::WriteData(const uint8_t* bytes, uint32_t n) {
    return queue(bytes, n, true);
}

uint32_t SerialLink::queue(const uint8_t* bytes, uint32_t n, bool counted) {
    BytesToWrite = n;
    if (!PortHandle()) return 0;
    // Noted first: a device may report bytes taken before its write returns.
    d->ledger.queued(n, counted);
    const auto accepted = static_cast<uint32_t>(std::max<int64_t>(0, d->device->write(bytes, n)));
    d->ledger.refused(n - accepted);
    if (!d->observers.empty()) {
        observeTraffic(LinkTraffic::Sent, bytes, accepted,
                       counted ? TrafficOwner::DataTest : TrafficOwner::ExchangeOrDataTest);
    }
    if (accepted < n) qCDebug(lcSerial) << "send queue full:" << n - accepted << "bytes refused";
    return accepted;
}

uint64_t SerialLink::TakeSentData() {
    if (PortHandle()) d->ledger.sent(d->device->bytesSent());
    return d->ledger.takeCounted();
}

bool SerialLink::SendPending() const {
    return PortHandle() && d->device->bytesToWrite() > 0;
}

uint64_t SerialLink::TakeLostBytes() {
    uint64_t lost = std::exchange(d->lostCarry, 0);
    if (PortHandle()) {
        const uint64_t total = d->device->bytesLost();
        lost += total - d->lostSeen;
        d->lostSeen = total;
    }
    return lost;
}

void SerialLink::ClosePort() {
    if (!PortHandle()) return;
    qCDebug(lcSerial) << "close";
    closeDevice();
    markClosed();
}

OpenResult SerialLink::openDevice(const QString& deviceName) {
    std::optional<OpenResult> elsewhere = std::exchange(d->openedElsewhere, std::nullopt);
    if (!elsewhere && (deviceName.isEmpty() || !d->opener))
        return OpenResult::Failed(OpenFailure::NoSuchDevice);
    OpenResult result = elsewhere ? std::move(*elsewhere) : d->opener(deviceName);
    if (!result.device) return result;
    d->device = std::move(result.device);
    d->deviceName = deviceName;
    settingsFixed_ = false;
    SerialDevice* device = d->device.get();
    // The device may report its loss from inside one of its own calls, so it is only let go
    // of later, when control is back in the event loop.
    QObject::connect(device, &SerialDevice::lost, device, [this, device] {
        if (d->device.get() != device) return;
        qCDebug(lcSerial) << "device lost";
        noteVanished();
        settleDevice();
        device->close();
        d->device.release()->deleteLater();
        markClosed();
        if (d->host) d->host->portLost();
    });
    QObject::connect(device, &SerialDevice::sent, device, [this] {
        if (d->host) d->host->dataSent();
    });
    watchModemLines(device);
    return {};
}

bool SerialLink::tryOpen(int portNo, const QString& deviceName) {
    const OpenResult result = openDevice(deviceName);
    if (PortHandle()) {
        d->chosen.reset();
        return true;
    }
    d->failures << FailedOpen{portNo, deviceName, result.failure, result.systemText};
    return false;
}

bool SerialLink::reopen(int portNo, const QString& deviceName) {
    if (PortHandle()) {
        PurgePort(PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
        closeDevice();
    }
    d->failures.clear();
    if (tryOpen(portNo, deviceName)) return true;
    d->chosen = d->failures.last();
    showClosed();
    return false;
}

void SerialLink::settleDevice() {
    // What the device counted stays to be collected after it is gone.
    d->lostCarry += d->device->bytesLost() - std::exchange(d->lostSeen, 0);
    d->ledger.sent(d->device->bytesSent());
    d->ledger.deviceClosed();
}

void SerialLink::closeDevice() {
    if (!PortHandle()) return;
    settleDevice();
    d->device->close();
    d->device.reset();
}

void SerialLink::markClosed() {
    portNo_ = 0;
    showClosed();
}

void SerialLink::showClosed() {
    if (d->host) {
        d->host->setStatusText(3, DisconnectedText());
        d->host->stopReceivePoll();
    }
}

void SerialLink::showPortAndSettings() {
    if (!d->host) return;
    const QString portText =
        d->display ? d->display->portListText() : QStringLiteral("COM%1").arg(portNo_);
    d->host->setStatusText(1, portText);
    d->host->setStatusText(2, rateText_ + "-" + parityLetter_ + "-1");
}

std::optional<VanishedPort> SerialLink::LastVanishedPort() const {
    return d->vanished;
}

void SerialLink::noteVanished() {
    d->vanished = VanishedPort{{portNo_, d->deviceName, settings_.baudIndex, settings_.parityIndex},
                               d->device->adapterSerialNumber(),
                               d->device->modemLines()};
}

std::optional<uint8_t> SerialLink::ModemLines() const {
    return PortHandle() ? d->device->modemLines() : std::nullopt;
}

bool SerialLink::SetModemLine(uint8_t line, bool on) {
    if (!PortHandle() || !d->device->setModemLine(line, on)) return false;
    observeModemLines();
    return true;
}

// What the lines are at the open is no change; from then on every change is told.
void SerialLink::watchModemLines(SerialDevice* device) {
    d->modemLinesSeen = device->modemLines().value_or(0);
    QObject::connect(device, &SerialDevice::modemLinesChanged, device, [this, device] {
        if (d->device.get() == device) observeModemLines();
    });
}

void SerialLink::observeModemLines() {
    const uint8_t now = d->device->modemLines().value_or(d->modemLinesSeen);
    const uint8_t changed = now ^ std::exchange(d->modemLinesSeen, now);
    if (changed == 0) return;
    const int64_t time = MicrosecondsSinceEpoch();
    const QString port = PortText(portNo_, d->deviceName);
    for (const NamedModemLine& named : ModemLineNames) {
        if (!(changed & named.line)) continue;
        qCDebug(lcSerial) << named.name << ((now & named.line) ? "on" : "off");
        for (const Private::Watcher& watcher : d->observers) {
            watcher.observer->linkModemLine(QString::fromLatin1(named.name), now & named.line, port,
                                            time);
        }
    }
}

SerialLink& Link() {
    static SerialLink link(OpenNamedPort);
    return link;
}
