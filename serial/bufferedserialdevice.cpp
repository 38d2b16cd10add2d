#include "serial/bufferedserialdevice.h"

#include <algorithm>
#include <utility>

BufferedSerialDevice::BufferedSerialDevice(std::shared_ptr<PortBuffers> buffers)
    : buffers_(std::move(buffers)) {
    buffers_->device = this;
}

uint32_t BufferedSerialDevice::bytesWaiting(uint32_t* errorFlags) {
    std::lock_guard lock(buffers_->mutex);
    const uint32_t errors = std::exchange(buffers_->errorFlags, 0);
    if (errorFlags) *errorFlags = errors;
    return static_cast<uint32_t>(buffers_->received.size());
}

int64_t BufferedSerialDevice::read(uint8_t* buffer, int64_t n) {
    std::lock_guard lock(buffers_->mutex);
    return buffers_->received.take(buffer, n);
}

int64_t BufferedSerialDevice::write(const uint8_t* data, int64_t n) {
    int64_t accepted = 0;
    bool schedule = false;
    {
        std::lock_guard lock(buffers_->mutex);
        if (buffers_->gone || n <= 0) return 0;
        accepted = std::min(n, SendQueueBytes - buffers_->unsent);
        buffers_->staged.append(reinterpret_cast<const char*>(data), accepted);
        buffers_->unsent += accepted;
        schedule = accepted > 0 && !buffers_->flushScheduled;
        buffers_->flushScheduled = buffers_->flushScheduled || schedule;
    }
    if (schedule) requestFlush();
    return accepted;
}

int64_t BufferedSerialDevice::bytesToWrite() const {
    std::lock_guard lock(buffers_->mutex);
    return buffers_->unsent;
}

uint64_t BufferedSerialDevice::bytesSent() const {
    std::lock_guard lock(buffers_->mutex);
    return buffers_->sent;
}

uint64_t BufferedSerialDevice::bytesLost() const {
    std::lock_guard lock(buffers_->mutex);
    return buffers_->lost;
}

void BufferedSerialDevice::detachBuffers() {
    std::lock_guard lock(buffers_->mutex);
    buffers_->device = nullptr;
    buffers_->gone = true;
}
