#include "serial/portreturn.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <algorithm>

#include "core/logging.h"
#include "serial/portnames.h"
#include "serial/porturl.h"
#include "serial/seriallink.h"

QList<ListedDevice> ListedDevices() {
    QList<ListedDevice> listed;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        listed.append({info.systemLocation(), info.serialNumber()});
    return listed;
}

std::optional<QString> WhereNameLeads(const QString& device, const QList<ListedDevice>& listed) {
#if defined(Q_OS_WIN)
    // COMn is no file: it is there while the system lists it.
    const bool present = std::any_of(listed.begin(), listed.end(), [&](const ListedDevice& d) {
        return d.location.compare(device, Qt::CaseInsensitive) == 0;
    });
    return present ? std::optional<QString>(device) : std::nullopt;
#else
    Q_UNUSED(listed);
    const QString path = device.contains(u'/') ? device : QStringLiteral("/dev/") + device;
    const QString target = QFileInfo(path).canonicalFilePath();
    return target.isEmpty() ? std::nullopt : std::optional<QString>(target);
#endif
}

QString AdapterSerialNumber(const QString& location) {
    return AdapterSerialNumber(location, ListedDevices());
}

QString AdapterSerialNumber(const QString& location, const QList<ListedDevice>& listed) {
    const std::optional<QString> target = WhereNameLeads(location, listed);
    if (!target) return {};
    const auto found = std::find_if(listed.begin(), listed.end(),
                                    [&](const ListedDevice& d) { return d.location == *target; });
    return found == listed.end() ? QString() : found->serialNumber;
}

ReturnWatch::ReturnWatch(VanishedPort port) : port_(std::move(port)) {}

bool ReturnWatch::pollLooks() {
    if (pollsToWait_ == 0) return true;
    --pollsToWait_;
    return false;
}

bool ReturnWatch::needsSystemList() const {
    if (overNetwork()) return false;
#if defined(Q_OS_WIN)
    return true;
#else
    return !port_.serialNumber.isEmpty();
#endif
}

void ReturnWatch::openFailed() {
    pollsToWait_ = pollsBetweenTries_;
    pollsBetweenTries_ = std::min(2 * pollsBetweenTries_, MaxPollsBetweenTries);
}

bool ReturnWatch::overNetwork() const {
    return IsNetworkPortName(port_.choice.deviceName);
}

QString ReturnWatch::deviceBack(const std::optional<QString>& nameLeadsTo,
                                const QList<ListedDevice>& listed) const {
    // A server shows it is back only by taking the connection: every look tries it.
    if (overNetwork()) return port_.choice.deviceName;
    const QString& serialNumber = port_.serialNumber;
    if (nameLeadsTo) {
        const auto there = std::find_if(listed.begin(), listed.end(), [&](const ListedDevice& d) {
            return d.location == *nameLeadsTo;
        });
        const bool otherAdapter = !serialNumber.isEmpty() && there != listed.end() &&
                                  !there->serialNumber.isEmpty() &&
                                  there->serialNumber != serialNumber;
        if (!otherAdapter) return port_.choice.deviceName;
    }
    if (serialNumber.isEmpty()) return {};
    const auto moved = std::find_if(listed.begin(), listed.end(), [&](const ListedDevice& d) {
        return d.serialNumber == serialNumber;
    });
    return moved == listed.end() ? QString() : moved->location;
}

PortReturn::PortReturn(SerialLink& link, Lister lister, BackgroundOpener networkOpener,
                       QObject* parent)
    : QObject(parent),
      link_(link),
      lister_(std::move(lister)),
      networkOpener_(std::move(networkOpener)),
      timer_(this) {
    timer_.setInterval(PollMs);
    connect(&timer_, &QTimer::timeout, this, &PortReturn::poll);
}

PortReturn::~PortReturn() = default;

bool PortReturn::awaitVanishedPort() {
    const std::optional<VanishedPort> vanished = link_.LastVanishedPort();
    if (!vanished || vanished->choice.deviceName.isEmpty()) return false;
    qCDebug(lcSerial) << "waiting for" << vanished->choice.deviceName;
    watch_.emplace(*vanished);
    timer_.start();
    return true;
}

void PortReturn::stop() {
    if (waiting()) end(false);
}

QString PortReturn::awaitedDevice() const {
    return watch_ ? watch_->port().choice.deviceName : QString();
}

void PortReturn::poll() {
    if (!watch_) return;
    if (link_.PortHandle()) {
        end(false);
        return;
    }
    if (networkOpen_ || !watch_->pollLooks()) return;
    const QList<ListedDevice> listed =
        watch_->needsSystemList() ? lister_() : QList<ListedDevice>();
    const QString& name = watch_->port().choice.deviceName;
    const QString device = watch_->deviceBack(
        watch_->overNetwork() ? std::nullopt : WhereNameLeads(name, listed), listed);
    if (device.isEmpty()) return;
    if (watch_->overNetwork()) {
        networkOpen_ =
            networkOpener_(device, SerialLink::PortSettingsFor(choiceFor(device).settings()));
        connect(networkOpen_.get(), &PendingOpen::finished, this,
                [this, device] { networkOpenFinished(device); });
        return;
    }
    qCDebug(lcSerial) << "device back:" << device;
    chosen(link_.ChoosePort(choiceFor(device)));
}

void PortReturn::networkOpenFinished(const QString& device) {
    OpenResult result = networkOpen_->take();
    // Deleted once it has told its end.
    networkOpen_.release()->deleteLater();
    // A port the user opened meanwhile is the one wanted; the connection just made is closed.
    if (link_.PortHandle()) return end(false);
    if (result.device) qCDebug(lcSerial) << "server back:" << device;
    chosen(link_.ChooseOpenedPort(choiceFor(device), std::move(result)));
}

void PortReturn::chosen(const PortChoiceResult& choice) {
    if (choice.outcome == PortChoiceOutcome::Applied) {
        restoreSwitchedLines();
        end(true);
        return;
    }
    watch_->openFailed();
}

void PortReturn::restoreSwitchedLines() {
    const std::optional<uint8_t> before = watch_->port().modemLines;
    const std::optional<uint8_t> now = link_.ModemLines();
    if (!before || !now) return;
    for (const uint8_t line : {ModemLine::Dtr, ModemLine::Rts}) {
        const bool wanted = *before & line;
        if (bool(*now & line) != wanted && !link_.SetModemLine(line, wanted))
            qCDebug(lcSerial) << "modem line not restored:" << line;
    }
}

void PortReturn::end(bool reopened) {
    networkOpen_.reset();
    watch_.reset();
    timer_.stop();
    emit waitEnded(reopened);
}

PortChoice PortReturn::choiceFor(const QString& device) const {
    PortChoice choice = watch_->port().choice;
    // COMn may stand for another device by now.
    if (device != choice.deviceName ||
        (choice.portNo > 0 && DeviceForPort(choice.portNo) != device))
        choice.portNo = 0;
    choice.deviceName = device;
    return choice;
}
