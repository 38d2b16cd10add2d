#include "serial/descriptorreader.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace {

// More than a terminal ever hands over in one read.
constexpr int64_t kChunkBytes = 64 * 1024;

// A terminal's queue holds a few tens of milliseconds at 1 MB/s; on a loaded machine a reader
// of normal priority can wait longer than that for a core and the driver drops what does not
// fit. The reader does little per arrival, so running it ahead of ordinary work costs the
// system next to nothing. Where the system allows neither a real-time nor a higher nice
// priority, the reader keeps the normal one.
ReaderPriority RaiseThisThreadsPriority() {
    sched_param lowestRealTime{};
    lowestRealTime.sched_priority = sched_get_priority_min(SCHED_FIFO);
    if (::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &lowestRealTime) == 0)
        return ReaderPriority::RealTime;
    constexpr int kHigherNice = -10;
    if (::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kHigherNice) == 0)
        return ReaderPriority::Raised;
    return ReaderPriority::Normal;
}

// A real-time reader would otherwise be woken for every few bytes the driver passes on, at
// several times cat's cost per byte. A read that did not fill the terminal's line buffer
// (4095 bytes, a byte of its 4 KiB kept back) has emptied the queue: the reader pauses a
// moment, in which a megabyte a second fills a fraction of what the queue holds. A full read
// means a backlog, which it reads without a pause until it is gone.
constexpr int64_t kFullReadBytes = 4095;
constexpr int kGatherMs = 3;
// How long the reader stands back for a thread that waits between two reads.
constexpr int kYieldMs = 1;
// How soon bytes the receiver declined are offered again.
constexpr int kOfferAgainMs = 1;
// Held back longer than this (a quarter of a second at 1 MB/s), the reader waits for the
// receiver rather than hold more.
constexpr qsizetype kHeldBytes = 256 * 1024;

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

ReaderPriority DescriptorReader::priority() const {
    return priority_;
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
    priority_ = RaiseThisThreadsPriority();
    named_.release();
    std::array<pollfd, 2> waits{{{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}}};
    while (true) {
        const int ready = ::poll(waits.data(), waits.size(), holding() ? kOfferAgainMs : -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (waits[1].revents != 0) return;
        // A hang-up or an error is reported again at every poll: the device is gone.
        if ((waits[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) break;
        if ((waits[0].revents & POLLIN) == 0) {
            std::lock_guard lock(reading_);
            handOn(nullptr, 0);
            continue;
        }
        const int64_t count = readChunk();
        if (count < 0) break;
        // Someone waits between two reads: the lock is theirs before the next one.
        if (waiting_.load() > 0 && stoppedWithin(kYieldMs)) return;
        if (priority_ == ReaderPriority::RealTime && count < kFullReadBytes &&
            stoppedWithin(kGatherMs))
            return;
    }
    gone_();
}

bool DescriptorReader::stoppedWithin(int ms) {
    pollfd stop{wake_[0], POLLIN, 0};
    return ::poll(&stop, 1, ms) > 0;
}

int64_t DescriptorReader::readChunk() {
    std::lock_guard lock(reading_);
    const ssize_t count = ::read(fd_, chunk_.get(), kChunkBytes);
    if (count > 0) {
        handOn(chunk_.get(), count);
        return count;
    }
    // A terminal set to return at once answers an empty queue with 0, as it does after a
    // hang-up; the status query tells them apart.
    if (count < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    return DescriptorGone(fd_) ? -1 : 0;
}

void DescriptorReader::handOn(const uint8_t* bytes, int64_t count) {
    if (held_.isEmpty()) {
        if (count == 0 || arrival_(bytes, count, false)) return;
        held_.append(reinterpret_cast<const char*>(bytes), count);
        return;
    }
    held_.append(reinterpret_cast<const char*>(bytes), count);
    const bool mayWait = held_.size() >= kHeldBytes;
    if (arrival_(reinterpret_cast<const uint8_t*>(held_.constData()), held_.size(), mayWait))
        held_.clear();
}

bool DescriptorReader::holding() {
    std::lock_guard lock(reading_);
    return !held_.isEmpty();
}
