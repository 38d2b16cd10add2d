#pragma once

#include <QString>
#include <QtGlobal>
#include <cstdint>

// What a byte that passed through the link went through.
enum class LinkTraffic {
    Sent,      // written, as the send queue took it
    Received,  // read by the program
    Purged,    // received but thrown away unread by a purge
};

// Watches the link: every byte the program writes, reads or purges and every change of the
// line settings, in the order they happen, on the thread that uses the link. Times are
// microseconds since the Unix epoch.
class LinkObserver {
  public:
    virtual ~LinkObserver() = default;
    virtual void linkTraffic(LinkTraffic what, const uint8_t* bytes, uint32_t count,
                             int64_t timeUs) = 0;
    // The port's line settings as "9600-N-1", on the port named as "COM1 (/dev/ttyUSB0)";
    // `searching` when an attempt of the speed-and-parity search set them.
    virtual void linkSettings(const QString& settings, const QString& port, bool searching,
                              int64_t timeUs) = 0;
    // Settings a network serial server confirmed, `roundTripUs` after the program asked for
    // them; an observer that does not tell them apart sees them as linkSettings.
    virtual void linkSettingsConfirmed(const QString& settings, const QString& port, bool searching,
                                       int64_t roundTripUs, int64_t timeUs) {
        Q_UNUSED(roundTripUs);
        linkSettings(settings, port, searching, timeUs);
    }
    // A modem line ("DTR", "CTS", ...) of the port changed: the program switched it, or the far
    // end did.
    virtual void linkModemLine(const QString& line, bool on, const QString& port, int64_t timeUs) {
        Q_UNUSED(line);
        Q_UNUSED(on);
        Q_UNUSED(port);
        Q_UNUSED(timeUs);
    }
};
