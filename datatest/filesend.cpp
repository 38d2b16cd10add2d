#include "datatest/filesend.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>

#include "core/regularfile.h"
#include "serial/seriallink.h"

namespace {

int64_t SteadyMs() {
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return clock.elapsed();
}

}  // namespace

FileSend::FileSend(SerialLink& link, PortTakenProbe portTaken, Clock clock)
    : link_(link), portTaken_(std::move(portTaken)), clock_(clock ? std::move(clock) : SteadyMs) {}

QString FileSend::start(const QString& path) {
    if (sending()) return QStringLiteral("a file is being sent");
    file_.close();
    if (QString why = OpenRegularFile(path, file_); !why.isEmpty()) return why;
    device_ = link_.device();
    state_ = FileSendState::Sending;
    piece_.clear();
    endOfFile_ = false;
    total_ = static_cast<uint64_t>(file_.size());
    handed_ = 0;
    sent_ = 0;
    startMs_ = clock_();
    endMs_ = startMs_;
    readError_.clear();
    return {};
}

QString FileSend::fileName() const {
    return QFileInfo(file_.fileName()).fileName();
}

int64_t FileSend::queueLimit() const {
    // About ten bits on the line per byte.
    return std::clamp<int64_t>(device_->lineSettings().baudRate / 10 / 2, SmallestQueue,
                               LargestQueue);
}

bool FileSend::handOver() {
    if (piece_.isEmpty()) return true;
    const auto size = static_cast<uint32_t>(piece_.size());
    const uint32_t taken =
        link_.WriteData(reinterpret_cast<const uint8_t*>(piece_.constData()), size);
    handed_ += taken;
    // A full queue takes the rest on a later tick: no byte of the file is skipped.
    piece_.remove(0, taken);
    return piece_.isEmpty();
}

FileSendState FileSend::tick() {
    if (!sending()) return state_;
    if (!link_.PortHandle() || link_.device() != device_) return end(FileSendState::PortClosed);
    if (portTaken_ && portTaken_()) return end(FileSendState::PortTaken);
    // A driver that takes everything at once still gets no more than the queue's worth a tick,
    // so that a large file cannot hold the window's thread.
    const int64_t limit = queueLimit();
    const uint64_t handedBefore = handed_;
    while (handOver() && !endOfFile_) {
        const int64_t room =
            std::min(limit - device_->bytesToWrite(), limit - int64_t(handed_ - handedBefore));
        if (room <= 0) break;
        piece_ = file_.read(room);
        if (piece_.isEmpty()) {
            if (file_.error() != QFileDevice::NoError) {
                readError_ = file_.errorString();
                return end(FileSendState::ReadFailed);
            }
            endOfFile_ = true;
        }
    }
    const int64_t waiting = device_->bytesToWrite();
    // What waits may include bytes of other sends; the file's count never goes back.
    sent_ = std::max(sent_, handed_ - std::min<uint64_t>(handed_, uint64_t(waiting)));
    endMs_ = clock_();
    if (endOfFile_ && piece_.isEmpty() && waiting == 0) {
        sent_ = handed_;
        return end(FileSendState::Done);
    }
    return state_;
}

void FileSend::cancel() {
    if (!sending()) return;
    // What the queue holds would go on for up to half a second; the user wants the line quiet.
    link_.PurgePort(PURGE_TXABORT | PURGE_TXCLEAR);
    end(FileSendState::Cancelled);
}

FileSendState FileSend::end(FileSendState state) {
    state_ = state;
    endMs_ = clock_();
    file_.close();
    piece_.clear();
    device_ = nullptr;
    return state_;
}

double FileSend::bytesPerSecond() const {
    const int64_t elapsed = endMs_ - startMs_;
    return elapsed <= 0 ? 0.0 : double(sent_) * 1000.0 / double(elapsed);
}
