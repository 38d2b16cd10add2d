#pragma once

// The traffic log: every byte the link sends, receives or purges, written to a file as it
// passes, as text with time stamps or as a raw capture. The file rotates at a size.
//
// Text: a first line "# tvrsetup traffic log 1", a second "#" line naming the fields, then
// one line per event:
//
//   2024-05-01T12:00:00.123456Z TX 55 AA 03 10 00 00 13
//   2024-05-01T12:00:00.140312Z RX 55 AA 04 10 03 12 00 29
//   2024-05-01T12:00:00.150020Z PURGED 01 02 03
//   2024-05-01T12:00:00.150101Z SEARCH 9600-N-1 COM1 (/dev/ttyUSB0)
//   2024-05-01T12:00:00.160000Z SETTINGS 38400-E-1 COM1 (/dev/ttyUSB0)
//   2024-05-01T12:00:00.170000Z SETTINGS CTS=1 COM1 (/dev/ttyUSB0)
//   2024-05-01T12:00:00.190000Z SETTINGS 38400-O-1 rfc2217://rack:4001 confirmed in 12.3 ms
//
// The time is UTC to the microsecond; TX are bytes written, RX bytes read, PURGED received
// bytes a purge threw away, at most 32 to a line (a longer run takes several lines with the
// same time); SEARCH and SETTINGS give the line settings a search attempt or the program set,
// or a modem line that changed (1 on, 0 off), and the rest of the line names the port. Settings
// a network serial server confirmed end in " confirmed in N ms", the time until it did.
//
// Raw: the received bytes (read or purged), exactly as they came, in the file; the sent bytes
// in a second file named like it with ".tx" appended. Nothing else.
//
// A file that is already there is never emptied unless the settings say so: a log is begun
// in new files, appended to the old ones, or replaces them.

#include <QDateTime>
#include <QFile>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>

#include "serial/linkobserver.h"

enum class TrafficLogFormat { Text, Raw };

// What becomes of a file of the log that is already there.
enum class ExistingLogFile {
    Refuse,   // the log does not begin
    Append,   // the log goes on at its end (a text log's header only when it is empty)
    Replace,  // emptied first
};

struct TrafficLogSettings {
    QString path;
    TrafficLogFormat format = TrafficLogFormat::Text;
    // A file that would grow past this size is renamed to "<name>.1" (an older "<name>.1"
    // to "<name>.2" and so on, up to keptFiles old ones) and a new one begun.
    int64_t rotateBytes = 10 * 1024 * 1024;
    int keptFiles = 5;
    ExistingLogFile existing = ExistingLogFile::Refuse;
};

inline constexpr int TrafficLogBytesPerLine = 32;

// The file the sent bytes of a raw capture go to.
QString RawSentPath(const QString& path);
// The files of the log that are already there.
QStringList ExistingLogFiles(const QString& path, TrafficLogFormat format);
// "tvr-traffic-20240501-140000.log": a name of its own for every log begun.
QString DefaultLogFileName(const QDateTime& localTime);

class TrafficLog : public LinkObserver {
  public:
    TrafficLog();
    ~TrafficLog() override;

    // Begins a log, ending the one before; false, with the reason in error(), when a file
    // cannot be written or is there already and the settings refuse it.
    bool start(const TrafficLogSettings& settings);
    void stop();
    bool running() const;
    const TrafficLogSettings& settings() const { return settings_; }
    QString error() const { return error_; }
    // Called, with the reason, when writing fails; the log has stopped by then.
    void setFailureHandler(std::function<void(const QString&)> handler);

    void linkTraffic(LinkTraffic what, const uint8_t* bytes, uint32_t count,
                     int64_t timeUs) override;
    void linkSettings(const QString& settings, const QString& port, bool searching,
                      int64_t timeUs) override;
    void linkSettingsConfirmed(const QString& settings, const QString& port, bool searching,
                               int64_t roundTripUs, int64_t timeUs) override;
    void linkModemLine(const QString& line, bool on, const QString& port, int64_t timeUs) override;

  private:
    class Output;

    void writeSettings(const QString& settings, const QString& port, bool searching,
                       const QByteArray& tail, int64_t timeUs);
    void writeLines(const char* tag, const uint8_t* bytes, uint32_t count, int64_t timeUs);
    void write(Output& output, const QByteArray& bytes);
    void fail(const Output& output);
    QByteArray timeText(int64_t timeUs);

    TrafficLogSettings settings_;
    std::unique_ptr<Output> main_;
    std::unique_ptr<Output> sent_;  // raw capture only
    QString error_;
    std::function<void(const QString&)> failed_;
    int64_t cachedSecond_ = -1;
    QByteArray cachedSecondText_;
};
