#pragma once

// Opening a port again by itself when the device that vanished from under it comes back.

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

#include "serial/portchoice.h"
#include "serial/portopener.h"
#include "serial/serialdevice.h"

class SerialLink;

// A serial device the system lists: its path and the serial number of the USB adapter it sits
// behind (empty where there is none).
struct ListedDevice {
    QString location;
    QString serialNumber;
};

// The serial devices the system lists now.
QList<ListedDevice> ListedDevices();
// The serial number of the USB adapter behind the device at `location` (a link is followed);
// empty where there is none.
QString AdapterSerialNumber(const QString& location);
// The same among the devices `listed`, for many devices at the cost of one listing.
QString AdapterSerialNumber(const QString& location, const QList<ListedDevice>& listed);
// The device a port's name leads to now, a link followed; none while it leads nowhere.
std::optional<QString> WhereNameLeads(const QString& device, const QList<ListedDevice>& listed);

// Decides whether a port that vanished is back and when to look. The device is back when the
// name it was opened by leads to a device again, unless the system lists an adapter with
// another serial number there (another adapter took its place); an adapter with a serial number
// is also recognised under another name. A port behind a network serial server is back when
// the server takes the connection again, so each look tries it. After an open that failed (a
// device not ready yet, or held by another program, or a server still away) each further try
// waits twice as long as the one before, up to MaxPollsBetweenTries polls.
class ReturnWatch {
  public:
    static constexpr int MaxPollsBetweenTries = 16;

    explicit ReturnWatch(VanishedPort port);
    const VanishedPort& port() const { return port_; }

    // Counts a poll; true when this one is to look for the device.
    bool pollLooks();
    // Whether a look needs the system's list of ports, which takes milliseconds to make: only
    // to know an adapter by its serial number, or a Windows COM port at all.
    bool needsSystemList() const;
    // The port is behind a network serial server.
    bool overNetwork() const;
    // The device to open; empty while the port is not back.
    QString deviceBack(const std::optional<QString>& nameLeadsTo,
                       const QList<ListedDevice>& listed) const;
    void openFailed();

  private:
    VanishedPort port_;
    int pollsBetweenTries_ = 1;
    int pollsToWait_ = 0;
};

// Waits for the port that vanished last and opens it again with its settings once it is back.
// It looks every PollMs while it waits, on the window's thread: whether the device's name leads
// anywhere, the system's ports where needed, and at most one open (bounded as every open is). A
// port behind a network serial server is opened in the background instead, since a server that
// does not answer holds the open for seconds; no look is made while it runs. A port opened
// meanwhile by anyone ends the wait.
class PortReturn : public QObject {
    Q_OBJECT
  public:
    static constexpr int PollMs = 500;
    using Lister = std::function<QList<ListedDevice>()>;

    explicit PortReturn(SerialLink& link, Lister lister = ListedDevices,
                        BackgroundOpener networkOpener = OpenNetworkPortInBackground,
                        QObject* parent = nullptr);
    ~PortReturn() override;

    // Begins to wait for the port that vanished last; false when none has.
    bool awaitVanishedPort();
    // Ends the wait without opening anything.
    void stop();
    bool waiting() const { return watch_.has_value(); }
    // The device waited for, by the name it was opened by.
    QString awaitedDevice() const;

    // One look, as the timer makes it.
    void poll();

  signals:
    // The wait is over: `reopened` when the port is open again with its settings.
    void waitEnded(bool reopened);

  private:
    void end(bool reopened);
    void networkOpenFinished(const QString& device);
    // The device, back, was opened with its settings, or not, and is waited for again.
    void chosen(const PortChoiceResult& choice);
    // DTR and RTS as the user left them: a radio may take them for its configuration or power
    // pins, which the open would set anew.
    void restoreSwitchedLines();
    // The choice that opens the device with the settings the port had.
    PortChoice choiceFor(const QString& device) const;

    SerialLink& link_;
    Lister lister_;
    BackgroundOpener networkOpener_;
    std::unique_ptr<PendingOpen> networkOpen_;
    QTimer timer_;
    std::optional<ReturnWatch> watch_;
};
