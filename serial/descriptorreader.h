#pragma once

#include <QSemaphore>
#include <QThread>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

// Reads a device's descriptor in a thread of its own ("serial read") that waits in the kernel
// between arrivals and reads each one at once, as cat does, at about cat's cost per byte. Qt's
// read path spent about 1.5 times as much (the notifier's event dispatch, its buffer's copies).
// Only on systems with poll().
class DescriptorReader {
  public:
    // Runs in the reader's thread with every chunk read.
    using Arrival = std::function<void(const uint8_t* bytes, int64_t count)>;
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

    // Runs `work` between two reads: no chunk is read or handed on meanwhile, so whatever
    // `work` does to the driver's queue happens between two arrivals.
    template <typename Work>
    void betweenReads(Work work) {
        std::lock_guard lock(reading_);
        work();
    }

  private:
    void run();
    // Reads one chunk; false when the device is gone.
    bool readChunk();

    int fd_;
    Arrival arrival_;
    Gone gone_;
    std::array<int, 2> wake_{-1, -1};  // a pipe: a byte in it ends the thread
    std::unique_ptr<QThread> thread_;
    QSemaphore named_;  // released once the thread runs under its own name
    std::mutex reading_;
    std::unique_ptr<uint8_t[]> chunk_;
};

// A terminal that no longer answers a status query has vanished (hung up, unplugged).
bool DescriptorGone(int fd);
