#include "serial/portnames.h"

#include <QSerialPortInfo>
#include <algorithm>

namespace {

QStringList& Pinned() {
    static QStringList pinned;
    return pinned;
}

// Compares runs of digits by value, everything else by character.
bool NaturalLess(const QString& a, const QString& b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype iEnd = i;
            qsizetype jEnd = j;
            while (iEnd < a.size() && a[iEnd].isDigit()) ++iEnd;
            while (jEnd < b.size() && b[jEnd].isDigit()) ++jEnd;
            const QString numberA = a.mid(i, iEnd - i);
            const QString numberB = b.mid(j, jEnd - j);
            const qulonglong valueA = numberA.toULongLong();
            const qulonglong valueB = numberB.toULongLong();
            if (valueA != valueB) return valueA < valueB;
            if (numberA.size() != numberB.size()) return numberA.size() < numberB.size();
            i = iEnd;
            j = jEnd;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

#ifndef Q_OS_WIN
bool IsAdapter(const QSerialPortInfo& info) {
    static const QStringList adapterPrefixes = {"ttyUSB", "ttyACM", "cu.usbserial", "cu.usbmodem"};
    if (info.hasVendorIdentifier()) return true;
    return std::any_of(adapterPrefixes.begin(), adapterPrefixes.end(),
                       [&](const QString& prefix) { return info.portName().startsWith(prefix); });
}

PortEnumerator& Enumerator() {
    static PortEnumerator enumerator;
    return enumerator;
}

QList<SerialPortCandidate> SystemPorts() {
    QList<SerialPortCandidate> candidates;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        // macOS lists each port twice; the dial-in tty.* device blocks until carrier.
        if (info.portName().startsWith(QLatin1String("tty.")) &&
            info.systemLocation().startsWith(QLatin1String("/dev/tty."))) {
            continue;
        }
        candidates.append({info.systemLocation(), IsAdapter(info)});
    }
    return candidates;
}

QStringList EnumeratedPorts() {
    return OrderSerialPorts(Enumerator() ? Enumerator()() : SystemPorts());
}
#endif

}  // namespace

QStringList OrderSerialPorts(QList<SerialPortCandidate> ports) {
    std::stable_sort(ports.begin(), ports.end(),
                     [](const SerialPortCandidate& a, const SerialPortCandidate& b) {
                         if (a.adapter != b.adapter) return a.adapter;
                         return NaturalLess(a.location, b.location);
                     });
    QStringList ordered;
    for (const SerialPortCandidate& port : ports) ordered.append(port.location);
    return ordered;
}

void SetPinnedPorts(const QStringList& devices) {
    Pinned() = devices;
}

QStringList PinnedPorts() {
    return Pinned();
}

#ifndef Q_OS_WIN
void SetPortEnumerator(PortEnumerator enumerator) {
    Enumerator() = std::move(enumerator);
}

QStringList SerialPortDevices() {
    QStringList devices = Pinned();
    for (const QString& port : EnumeratedPorts()) {
        if (!devices.contains(port)) devices.append(port);
    }
    return devices;
}
#endif

QStringList DevicesForPorts(int count) {
    QStringList devices = Pinned().mid(0, count);
#ifdef Q_OS_WIN
    for (int n = 1; devices.size() < count; ++n) devices.append(QStringLiteral("COM%1").arg(n));
#else
    if (devices.size() < count) devices = SerialPortDevices().mid(0, count);
    while (devices.size() < count) devices.append(QString());
#endif
    return devices;
}

QString DeviceForPort(int n) {
    return n <= 0 ? QString() : DevicesForPorts(n).last();
}
