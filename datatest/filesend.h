#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>
#include <functional>

class SerialLink;
class SerialDevice;

// How a file send stands.
enum class FileSendState {
    Idle,
    Sending,
    Done,
    Cancelled,
    PortClosed,  // the port closed or went away
    PortTaken,   // a radio exchange or the factory window took the port
    ReadFailed,  // the file could not be read on; readError() says why
};

// Sends a file's bytes as they are through the link's send queue, as user data that the TX
// counter counts. The file is read a piece at a time and only about half a second of the line's
// bytes waits in the queue, so a file of any size takes little memory and a cancel stops the
// line at once. The host calls tick() often (every 20 ms does) while sending() is true.
class FileSend {
  public:
    // Milliseconds of a steady clock.
    using Clock = std::function<int64_t()>;
    // True while something else has the port to itself.
    using PortTakenProbe = std::function<bool()>;

    static constexpr int64_t SmallestQueue = 512;
    static constexpr int64_t LargestQueue = 64 * 1024;

    FileSend(SerialLink& link, PortTakenProbe portTaken, Clock clock = {});

    // Opens the file and starts; returns why not, empty when sending.
    QString start(const QString& path);
    // Tops the queue up and tells how the send stands; the send ends on any state but Sending.
    FileSendState tick();
    // Stops, throwing away what waits in the send queue.
    void cancel();

    bool sending() const { return state_ == FileSendState::Sending; }
    FileSendState state() const { return state_; }
    QString fileName() const;
    // The file's size when the send began.
    uint64_t total() const { return total_; }
    // Bytes the driver has taken.
    uint64_t sent() const { return sent_; }
    // Bytes taken per second since the start.
    double bytesPerSecond() const;
    QString readError() const { return readError_; }

  private:
    // What may wait in the queue: half a second at the port's rate, within the bounds above.
    int64_t queueLimit() const;
    // Hands the piece read but not yet taken to the queue; false when some is still left.
    bool handOver();
    FileSendState end(FileSendState state);

    SerialLink& link_;
    PortTakenProbe portTaken_;
    Clock clock_;
    QFile file_;
    SerialDevice* device_ = nullptr;
    FileSendState state_ = FileSendState::Idle;
    QByteArray piece_;  // read from the file, not yet taken by the queue
    bool endOfFile_ = false;
    uint64_t total_ = 0;
    uint64_t handed_ = 0;
    uint64_t sent_ = 0;
    int64_t startMs_ = 0;
    int64_t endMs_ = 0;
    QString readError_;
};
