#include "serial/descriptorreader.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

// More than a terminal ever hands over in one read.
constexpr int64_t kChunkBytes = 64 * 1024;

}  // namespace

bool DescriptorGone(int fd) {
    termios attributes{};
    return ::tcgetattr(fd, &attributes) != 0;
}

DescriptorReader::DescriptorReader(int fd, Arrival arrival, Gone gone)
    : fd_(fd),
      arrival_(std::move(arrival)),
      gone_(std::move(gone)),
      chunk_(std::make_unique_for_overwrite<uint8_t[]>(kChunkBytes)) {}

DescriptorReader::~DescriptorReader() {
    stop();
}

bool DescriptorReader::start() {
    if (::pipe(wake_.data()) != 0) return false;
    for (const int end : wake_) ::fcntl(end, F_SETFD, FD_CLOEXEC);
    thread_.reset(QThread::create([this] { run(); }));
    thread_->setObjectName(QStringLiteral("serial read"));
    thread_->start();
    if (!thread_->isRunning()) return false;
    // A new thread bears its creator's name until it takes its own; whoever looks for the
    // port's threads by name (a profiler, top -H) finds each under its own name once open.
    named_.acquire();
    return true;
}

void DescriptorReader::stop() {
    if (!thread_) return;
    const char stopByte = 0;
    while (::write(wake_[1], &stopByte, 1) < 0 && errno == EINTR) {
    }
    thread_->wait();
    thread_.reset();
    for (int& end : wake_) ::close(std::exchange(end, -1));
}

void DescriptorReader::run() {
    named_.release();
    std::array<pollfd, 2> waits{{{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}}};
    while (true) {
        if (::poll(waits.data(), waits.size(), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (waits[1].revents != 0) return;
        // A hang-up or an error is reported again at every poll: the device is gone.
        if ((waits[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) break;
        if ((waits[0].revents & POLLIN) != 0 && !readChunk()) break;
    }
    gone_();
}

bool DescriptorReader::readChunk() {
    std::lock_guard lock(reading_);
    const ssize_t count = ::read(fd_, chunk_.get(), kChunkBytes);
    if (count > 0) {
        arrival_(chunk_.get(), count);
        return true;
    }
    // A terminal set to return at once answers an empty queue with 0, as it does after a
    // hang-up; the status query tells them apart.
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    return !DescriptorGone(fd_);
}
