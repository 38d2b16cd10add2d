#pragma once

#include <QByteArray>
#include <QObject>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "serial/bytering.h"
#include "serial/qtserialdevice.h"
#include "serial/serialdevice.h"

// What the window's thread and a port's own thread share; the mutex guards all of it.
struct PortBuffers {
    std::mutex mutex;
    ByteRing received{ReceiveBufferBytes};
    uint64_t lost = 0;
    uint32_t errorFlags = 0;
    QByteArray staged;   // written, not yet handed to the driver or the connection
    int64_t unsent = 0;  // written, not yet taken by the driver or the network stack
    uint64_t sent = 0;
    bool flushScheduled = false;
    bool gone = false;
    // The device the port's thread reports to; none once it is closing, so that nothing is
    // posted to a device that is gone.
    QObject* device = nullptr;
    // A notice that bytes were sent is on its way to the window's thread.
    std::atomic<bool> sentNoticePending{false};
};

// A device whose I/O runs in a thread of its own behind PortBuffers: what the window's thread
// reads, writes and counts is the same for a local port and a network port.
class BufferedSerialDevice : public SerialDevice {
  public:
    uint32_t bytesWaiting(uint32_t* errorFlags) override;
    int64_t read(uint8_t* buffer, int64_t n) override;
    int64_t write(const uint8_t* data, int64_t n) override;
    int64_t bytesToWrite() const override;
    uint64_t bytesSent() const override;
    uint64_t bytesLost() const override;

  protected:
    explicit BufferedSerialDevice(std::shared_ptr<PortBuffers> buffers);
    // Asks the port's thread to hand the staged bytes on.
    virtual void requestFlush() = 0;
    // The port's thread reports no more to this device, and writes are refused from now on.
    void detachBuffers();

  private:
    std::shared_ptr<PortBuffers> buffers_;
};
