#pragma once

#include <QByteArray>
#include <QSemaphore>
#include <QThread>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

enum class ReaderPriority {
    Normal,
    Raised,    // a higher nice priority
    RealTime,  // the lowest real-time priority, ahead of all ordinary threads
};

// Reads a device's descriptor in a thread of its own ("serial read") that waits in the kernel
// between arrivals and reads each one at once, as cat does, at about cat's cost per byte. Qt's
// read path spent about 1.5 times as much (the notifier's event dispatch, its buffer's copies).
// Only on systems with poll().
class DescriptorReader {
  public:
    // Runs in the reader's thread with what was read. Unless `mayWait`, it may decline when it
    // would have to wait (its receiver busy in another thread) and return false; the reader then
    // keeps reading and offers the bytes again a moment later, so that the driver's queue never
    // fills while the receiver is held up.
    using Arrival = std::function<bool(const uint8_t* bytes, int64_t count, bool mayWait)>;
    // Runs in the reader's thread once, when the descriptor can no longer be read: the device
    // is gone. The reader stops then.
    using Gone = std::function<void()>;

    // `fd` must be non-blocking; it stays open, and must stay so until stop().
    DescriptorReader(int fd, Arrival arrival, Gone gone);
    ~DescriptorReader();
    DescriptorReader(const DescriptorReader&) = delete;
    DescriptorReader& operator=(const DescriptorReader&) = delete;

    // Starts reading, once; false when the reader's thread or its wake-up could not be made.
    bool start();
    // Ends the reader's thread, which never waits for anything but the descriptor.
    void stop();
    // What the system let the reader's thread have; known once start() has returned.
    ReaderPriority priority() const;

    // Runs `work` between two reads: no chunk is read or handed on meanwhile, so whatever
    // `work` does to the driver's queue happens between two arrivals. `work` is given the bytes
    // read but not yet handed on, oldest first, and may take them.
    template <typename Work>
    void betweenReads(Work work) {
        ++waiting_;
        std::lock_guard lock(reading_);
        --waiting_;
        work(held_);
    }

  private:
    void run();
    // Reads one chunk; the bytes read, or -1 when the device is gone.
    int64_t readChunk();
    // Hands on what was read, after what is held from before. With reading_ held.
    void handOn(const uint8_t* bytes, int64_t count);
    bool holding();
    // Waits up to `ms` for stop(); true when it came.
    bool stoppedWithin(int ms);

    int fd_;
    Arrival arrival_;
    Gone gone_;
    std::array<int, 2> wake_{-1, -1};  // a pipe: a byte in it ends the thread
    std::unique_ptr<QThread> thread_;
    QSemaphore named_;  // released once the thread runs under its own name
    ReaderPriority priority_ = ReaderPriority::Normal;
    std::mutex reading_;
    // Threads waiting in betweenReads: under a flood a real-time reader would take the lock
    // again before any of them is woken, for as long as the flood lasts.
    std::atomic<int> waiting_{0};
    std::unique_ptr<uint8_t[]> chunk_;
    QByteArray held_;  // read, declined by the receiver so far
};

// A terminal that no longer answers a status query has vanished (hung up, unplugged).
bool DescriptorGone(int fd);
