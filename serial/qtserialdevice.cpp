#include "serial/qtserialdevice.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSemaphore>
#include <QSerialPort>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/logging.h"
#include "serial/bufferedserialdevice.h"
#include "serial/portreturn.h"

#if defined(Q_OS_WIN)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "serial/descriptorreader.h"
#endif
#if defined(Q_OS_LINUX)
#include <linux/serial.h>
#include <sys/sysmacros.h>
#endif

namespace {

QSerialPort::Parity ToQtParity(ParityMode parity) {
    switch (parity) {
        case ParityMode::Odd:
            return QSerialPort::OddParity;
        case ParityMode::Even:
            return QSerialPort::EvenParity;
        case ParityMode::None:
            break;
    }
    return QSerialPort::NoParity;
}

ParityMode FromQtParity(QSerialPort::Parity parity) {
    switch (parity) {
        case QSerialPort::OddParity:
            return ParityMode::Odd;
        case QSerialPort::EvenParity:
            return ParityMode::Even;
        default:
            return ParityMode::None;
    }
}

// The kernel ignores parity on a pseudo-terminal, so a request for it cannot be applied there.
bool IsPseudoTerminal(qintptr handle) {
#if defined(Q_OS_LINUX)
    struct stat status {};
    if (::fstat(static_cast<int>(handle), &status) != 0 || !S_ISCHR(status.st_mode)) return false;
    const unsigned int majorNumber = major(status.st_rdev);
    return majorNumber >= 136 && majorNumber <= 143;
#elif defined(Q_OS_WIN)
    Q_UNUSED(handle);
    return false;
#else
    const char* name = ::ttyname(static_cast<int>(handle));
    return name && QByteArray(name).startsWith("/dev/ttys");
#endif
}

// A device that has vanished (hung up, unplugged) no longer answers a status query.
bool DeviceGone(qintptr handle) {
#if defined(Q_OS_WIN)
    DCB state{};
    state.DCBlength = sizeof(state);
    return !::GetCommState(reinterpret_cast<HANDLE>(handle), &state);
#else
    return DescriptorGone(static_cast<int>(handle));
#endif
}

QtOpenError ToOpenError(QSerialPort::SerialPortError error) {
    switch (error) {
        case QSerialPort::NoError:
            return QtOpenError::None;
        case QSerialPort::PermissionError:
            return QtOpenError::Permission;
        case QSerialPort::DeviceNotFoundError:
            return QtOpenError::NotFound;
        default:
            return QtOpenError::Other;
    }
}

// The buffers, and the modem lines the port's thread watches.
struct SharedBuffers : PortBuffers {
    // As last seen; none where the driver has no modem lines.
    std::optional<uint8_t> modemLines;
};

struct OpenStatus {
    OpenFailure failure = OpenFailure::None;
    QString errorText;
    LineSettings settings;
};

// The device's path as the system names it, as Qt makes it from a port name.
QString SystemLocation(const QString& name) {
#if defined(Q_OS_WIN)
    return name;
#else
    const bool path = name.startsWith(u'/') || name.startsWith(QLatin1String("./")) ||
                      name.startsWith(QLatin1String("../"));
    return path ? name : QStringLiteral("/dev/") + name;
#endif
}

#if !defined(Q_OS_WIN)
OpenFailure FailureFromErrno(int error) {
    switch (error) {
        case EBUSY:
            // Another program has the terminal in exclusive mode.
            return OpenFailure::InUse;
        case EACCES:
        case EPERM:
            return OpenFailure::NoPermission;
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return OpenFailure::NoSuchDevice;
        default:
            return OpenFailure::Other;
    }
}

// Exclusive use of a device, taken the way the system's other serial programs take it. Qt puts
// the terminal in exclusive mode while it has the device open, which refuses later opens by
// anyone but root; the advisory lock (flock) that those programs test keeps root's out too.
// The lock is held through a descriptor of its own, opened before Qt opens the device, because
// Qt's open already changes the line settings: a device another program holds is left exactly
// as it was. Where a device takes no lock, it is claimed all the same.
class DeviceClaim {
  public:
    DeviceClaim() = default;
    DeviceClaim(const DeviceClaim&) = delete;
    DeviceClaim& operator=(const DeviceClaim&) = delete;
    ~DeviceClaim() { release(); }

    // None once the device is ours; otherwise why not, with the system's words in `systemText`.
    OpenFailure claim(const QString& location, QString* systemText) {
        fd_ = ::open(QFile::encodeName(location).constData(),
                     O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) {
            const int error = errno;
            *systemText = QString::fromLocal8Bit(std::strerror(error));
            return FailureFromErrno(error);
        }
        if (heldElsewhere()) {
            qCDebug(lcSerial) << location << "is locked by another program";
            release();
            return OpenFailure::InUse;
        }
        return OpenFailure::None;
    }

    // Read-only and non-blocking; the port's reader reads it, since Qt only writes.
    int descriptor() const { return fd_; }

    // Called after Qt has closed the device, so that no other program has it before then.
    void release() {
        if (fd_ < 0) return;
        ::close(fd_);
        fd_ = -1;
    }

  private:
    // Another program holds the lock, or has the exclusive mode, which does not stop root.
    bool heldElsewhere() const {
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) return true;
#if defined(TIOCGEXCL)
        int exclusive = 0;
        if (::ioctl(fd_, TIOCGEXCL, &exclusive) == 0 && exclusive != 0) return true;
#endif
        return false;
    }

    int fd_ = -1;
};
#endif

// While written bytes wait for the driver, how often the port's thread looks how many it took.
constexpr int kSentPollMs = 5;

// How long the window's thread waits for the port's thread to set, purge or close the port. Each
// of these takes well under a millisecond (a purge during a 1 MB/s flood: 0.9 ms at most); a
// port that takes longer has a driver that hangs, and is given up as lost.
constexpr int kControlWaitMs = 200;
// An open may take longer: some drivers connect to their device in it.
constexpr int kOpenWaitMs = 5000;
// How often the port's thread looks at the modem lines: the driver tells no change by itself.
constexpr int kModemPollMs = 100;

uint8_t ModemLinesFrom(QSerialPort::PinoutSignals pins) {
    uint8_t lines = 0;
    if (pins & QSerialPort::DataTerminalReadySignal) lines |= ModemLine::Dtr;
    if (pins & QSerialPort::RequestToSendSignal) lines |= ModemLine::Rts;
    if (pins & QSerialPort::ClearToSendSignal) lines |= ModemLine::Cts;
    if (pins & QSerialPort::DataSetReadySignal) lines |= ModemLine::Dsr;
    if (pins & QSerialPort::DataCarrierDetectSignal) lines |= ModemLine::Cd;
    if (pins & QSerialPort::RingIndicatorSignal) lines |= ModemLine::Ri;
    return lines;
}

#if !defined(Q_OS_WIN)
const char* PriorityName(ReaderPriority priority) {
    switch (priority) {
        case ReaderPriority::RealTime:
            return "real-time";
        case ReaderPriority::Raised:
            return "raised";
        case ReaderPriority::Normal:
            break;
    }
    return "normal";
}
#endif

QString NoAnswerText(int waitMs) {
    return QStringLiteral("the port's driver did not answer within %1 ms").arg(waitMs);
}

#if defined(Q_OS_WIN)
constexpr QIODevice::OpenMode kPortMode = QIODevice::ReadWrite;
#else
// The reader has the device's bytes to itself: Qt's read notifier would take them too.
constexpr QIODevice::OpenMode kPortMode = QIODevice::WriteOnly;
#endif

// Everything that runs in the port's thread: the port itself and what it reports. Received
// bytes go into the receive buffer as soon as the driver has them: on Windows from Qt's read
// buffer, which has no bound and is emptied at every arrival; elsewhere from a reader that
// waits in the kernel in a thread of its own. The window takes the bytes from the receive
// buffer at its own pace.
class PortWorker : public QObject {
  public:
    explicit PortWorker(std::shared_ptr<SharedBuffers> shared)
        : shared_(std::move(shared)), port_(this), sentPoll_(this) {
#if defined(Q_OS_WIN)
        connect(&port_, &QSerialPort::readyRead, this, [this] { drain(); });
#endif
        connect(&port_, &QSerialPort::bytesWritten, this, [this] { countSent(); });
        sentPoll_.setInterval(kSentPollMs);
        connect(&sentPoll_, &QTimer::timeout, this, [this] { countSent(); });
        connect(&port_, &QSerialPort::errorOccurred, this,
                [this](QSerialPort::SerialPortError error) { onError(error); });
    }

    OpenStatus open(const QString& name) {
#if !defined(Q_OS_WIN)
        QString claimText;
        const OpenFailure claimed = claim_.claim(SystemLocation(name), &claimText);
        if (claimed != OpenFailure::None) return {claimed, claimText, {}};
#endif
        port_.setPortName(name);
        if (!port_.open(kPortMode)) {
            const OpenStatus refused{ClassifyOpenFailure(true, true, ToOpenError(port_.error())),
                                     port_.errorString(),
                                     {}};
#if !defined(Q_OS_WIN)
            claim_.release();
#endif
            return refused;
        }
        takeLineErrors();
#if !defined(Q_OS_WIN)
        reader_.emplace(
            claim_.descriptor(),
            [this](const uint8_t* bytes, int64_t count, bool mayWait) {
                return receive(bytes, count, mayWait);
            },
            [this] {
                QMetaObject::invokeMethod(
                    this, [this] { lose(); }, Qt::QueuedConnection);
            });
        if (!reader_->start()) {
            const OpenStatus failed{
                OpenFailure::Other, QString::fromLocal8Bit(std::strerror(errno)), {}};
            closePort();
            return failed;
        }
        qCDebug(lcSerial) << "reader priority:" << PriorityName(reader_->priority());
#endif
        watchModemLines();
        return {OpenFailure::None, {}, settings()};
    }

    std::pair<bool, LineSettings> setLineSettings(const LineSettings& wanted) {
        if (!port_.isOpen()) return {false, wanted};
        const bool rateSet = port_.setBaudRate(wanted.baudRate);
        const bool dataBitsSet = port_.setDataBits(QSerialPort::Data8);
        const bool stopBitsSet =
            port_.setStopBits(wanted.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
        const bool paritySet =
            port_.setParity(ToQtParity(wanted.parity)) || IsPseudoTerminal(port_.handle());
        port_.clearError();
        LineSettings now = settings();
        if (paritySet) now.parity = wanted.parity;
        return {rateSet && dataBitsSet && stopBitsSet && paritySet, now};
    }

    QByteArray purge(bool output, bool input) {
        QByteArray thrownAway;
        if (output) {
            countSent();
            // What Qt still holds never reaches the driver.
            handed_ -= static_cast<uint64_t>(port_.bytesToWrite());
            if (port_.isOpen()) port_.clear(QSerialPort::Output);
            std::lock_guard lock(shared_->mutex);
            // Whatever was written is now either taken by the driver or thrown away.
            shared_->staged.clear();
            shared_->unsent = 0;
        }
        if (input) {
            // What the receive buffer holds, then what the driver holds, read so that the purge
            // can tell what it threw away, and the driver's queue cleared, so nothing older can
            // follow.
#if defined(Q_OS_WIN)
            takeReceived(thrownAway);
            if (port_.isOpen()) {
                thrownAway += port_.readAll();
                port_.clear(QSerialPort::Input);
            }
#else
            // Between two reads, so that no chunk read before the purge arrives after it.
            const auto purgeInput = [&](QByteArray& heldByReader) {
                takeReceived(thrownAway);
                thrownAway += std::exchange(heldByReader, {});
                if (!port_.isOpen()) return;
                readDriver(thrownAway);
                port_.clear(QSerialPort::Input);
            };
            if (reader_) {
                reader_->betweenReads(purgeInput);
            } else {
                QByteArray nothingHeld;
                purgeInput(nothingHeld);
            }
#endif
            if (!thrownAway.isEmpty()) {
                qCDebug(lcSerial) << "purge throws away" << thrownAway.size() << "received bytes";
            }
        }
        return thrownAway;
    }

    // Hands what was written since the last time to the port.
    void flush() {
        QByteArray bytes;
        {
            std::lock_guard lock(shared_->mutex);
            bytes = std::exchange(shared_->staged, {});
            shared_->flushScheduled = false;
        }
        if (bytes.isEmpty()) return;
        if (port_.isOpen() && port_.write(bytes) == bytes.size()) {
            handed_ += static_cast<uint64_t>(bytes.size());
            sentPoll_.start();
            return;
        }
        std::lock_guard lock(shared_->mutex);
        shared_->unsent = 0;
    }

    // Switches DTR or RTS and notes the lines as they are then, so that the poll does not report
    // the change again; false where the driver refused.
    bool setModemLine(uint8_t line, bool on) {
        const bool set =
            line == ModemLine::Dtr ? port_.setDataTerminalReady(on) : port_.setRequestToSend(on);
        port_.clearError();
        if (!set) return false;
        const std::optional<uint8_t> now = readModemLines();
        std::lock_guard lock(shared_->mutex);
        if (now) shared_->modemLines = now;
        return true;
    }

    // Closes the port and ends the thread's loop; the worker is deleted in this thread then.
    void shutdown() {
        closePort();
        thread()->quit();
    }

  private:
#if defined(Q_OS_WIN)
    // Moves what Qt has read into the receive buffer.
    void drain() {
        const QByteArray bytes = port_.readAll();
        receive(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size(), true);
    }
#endif

    // Puts bytes that arrived into the receive buffer, with the line errors met meanwhile.
    // Unless `mayWait`, declines (false) when the window's thread holds the buffer: a reader
    // of raised priority waiting on it would wait as long as the window's thread waits for a
    // core.
    bool receive(const uint8_t* bytes, int64_t count, bool mayWait) {
        if (count == 0) return true;
        lineErrors_ |= takeLineErrors();
        std::unique_lock lock(shared_->mutex, std::defer_lock);
        if (mayWait) {
            lock.lock();
        } else if (!lock.try_lock()) {
            return false;
        }
        const int64_t taken = shared_->received.append(bytes, count);
        shared_->lost += static_cast<uint64_t>(count - taken);
        shared_->errorFlags |= std::exchange(lineErrors_, 0);
        return true;
    }

    // Appends what the receive buffer holds to `bytes` and empties it.
    void takeReceived(QByteArray& bytes) {
        std::lock_guard lock(shared_->mutex);
        const qsizetype before = bytes.size();
        bytes.resize(before + shared_->received.size());
        shared_->received.take(reinterpret_cast<uint8_t*>(bytes.data() + before),
                               bytes.size() - before);
    }

    // The first loss report closes the port and tells the device; later ones change nothing.
    void lose() {
        if (lossReported_) return;
        lossReported_ = true;
        qCDebug(lcSerial) << "device" << port_.portName() << "vanished";
        {
            std::lock_guard lock(shared_->mutex);
            shared_->gone = true;
        }
        // Qt 6.4 keeps polling a vanished device at full speed until it is closed; close it
        // once control is back in this thread's event loop, outside Qt's own notification code.
        QMetaObject::invokeMethod(
            this,
            [this] {
                closePort();
                tellDevice([](QObject* device) { ReportLoss(device, "the device vanished"); });
            },
            Qt::QueuedConnection);
    }

    void closePort() {
        sentPoll_.stop();
        modemPoll_.stop();
#if !defined(Q_OS_WIN)
        // Before the descriptor it reads closes with the claim.
        reader_.reset();
#endif
        port_.close();
#if !defined(Q_OS_WIN)
        claim_.release();
#endif
    }

    // Runs `report` in the window's thread, unless the device is closing.
    template <typename Report>
    void tellDevice(Report report) {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->device) return;
        QMetaObject::invokeMethod(
            shared_->device, [device = shared_->device, report] { report(device); },
            Qt::QueuedConnection);
    }

    LineSettings settings() const {
        return {static_cast<int32_t>(port_.baudRate()), FromQtParity(port_.parity()),
                port_.stopBits() == QSerialPort::TwoStop ? 2 : 1};
    }

    // Qt reports a chunk written to the driver only once the driver can take more, so a full
    // driver would hide the last chunk it took; what Qt still holds tells it at once.
    void countSent() {
        const uint64_t taken = handed_ - static_cast<uint64_t>(port_.bytesToWrite());
        if (port_.bytesToWrite() == 0) sentPoll_.stop();
        if (taken <= taken_) return;
        const uint64_t fresh = taken - std::exchange(taken_, taken);
        {
            std::lock_guard lock(shared_->mutex);
            shared_->unsent = std::max<int64_t>(0, shared_->unsent - static_cast<int64_t>(fresh));
            shared_->sent += fresh;
        }
        // One notice at a time is enough: the receiver reads the totals.
        if (shared_->sentNoticePending.exchange(true)) return;
        tellDevice([shared = shared_](QObject* device) {
            shared->sentNoticePending = false;
            ReportSent(device);
        });
    }

    void onError(QSerialPort::SerialPortError error) {
        if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError) return;
        if (!port_.isOpen() || !DeviceGone(port_.handle())) return;
        lose();
    }

#if !defined(Q_OS_WIN)
    // Appends what the driver holds (a terminal hands over a few KB a read); a read that fails
    // for another reason than an empty queue means the device is going.
    void readDriver(QByteArray& bytes) {
        const int fd = claim_.descriptor();
        while (true) {
            const ssize_t count = ::read(fd, chunk_.data(), chunk_.size());
            if (count > 0) {
                bytes.append(chunk_.data(), count);
                continue;
            }
            if (count < 0 && errno == EINTR) continue;
            if ((count == 0 || errno != EAGAIN) && DeviceGone(port_.handle())) lose();
            return;
        }
    }
#endif

    // Line error flags since the last call, where the platform can tell; 0 elsewhere. Called
    // from the reader's thread once it runs.
    uint32_t takeLineErrors() {
#if defined(Q_OS_LINUX)
        if (!lineCountsKnown_) return 0;
        serial_icounter_struct counts{};
        if (::ioctl(static_cast<int>(port_.handle()), TIOCGICOUNT, &counts) != 0) {
            // A driver without the counts (a pseudo-terminal) is not asked at every arrival.
            lineCountsKnown_ = errno != ENOTTY && errno != EINVAL;
            return 0;
        }
        uint32_t flags = 0;
        if (counts.parity != lastCounts_.parity) flags |= LineError::RxParity;
        if (counts.frame != lastCounts_.frame) flags |= LineError::Framing;
        if (counts.overrun != lastCounts_.overrun) flags |= LineError::Overrun;
        if (counts.buf_overrun != lastCounts_.buf_overrun) flags |= LineError::RxOverflow;
        if (counts.brk != lastCounts_.brk) flags |= LineError::Break;
        lastCounts_ = counts;
        return flags;
#elif defined(Q_OS_WIN)
        DWORD errors = 0;
        if (!::ClearCommError(reinterpret_cast<HANDLE>(port_.handle()), &errors, nullptr)) return 0;
        return errors & (CE_RXOVER | CE_OVERRUN | CE_RXPARITY | CE_FRAME | CE_BREAK);
#else
        return 0;
#endif
    }

    // None where the driver has no modem lines (a pseudo-terminal answers ENOTTY).
    std::optional<uint8_t> readModemLines() {
        port_.clearError();
        const QSerialPort::PinoutSignals pins = port_.pinoutSignals();
        if (port_.error() != QSerialPort::NoError) {
            port_.clearError();
            return std::nullopt;
        }
        return ModemLinesFrom(pins);
    }

    // Polls the lines of a driver that has them, and tells the device of each change.
    void watchModemLines() {
        const std::optional<uint8_t> lines = readModemLines();
        {
            std::lock_guard lock(shared_->mutex);
            shared_->modemLines = lines;
        }
        if (!lines) return;
        modemPoll_.setInterval(kModemPollMs);
        connect(&modemPoll_, &QTimer::timeout, this, [this] { pollModemLines(); });
        modemPoll_.start();
    }

    void pollModemLines() {
        const std::optional<uint8_t> now = readModemLines();
        // A driver that stops answering is going; its loss is told elsewhere.
        if (!now) return;
        {
            std::lock_guard lock(shared_->mutex);
            if (shared_->modemLines == now) return;
            shared_->modemLines = now;
        }
        tellDevice([](QObject* device) { ReportModemLines(device); });
    }

    // What the device is told; defined with it.
    static void ReportLoss(QObject* device, const QString& reason);
    static void ReportSent(QObject* device);
    static void ReportModemLines(QObject* device);

    std::shared_ptr<SharedBuffers> shared_;
#if !defined(Q_OS_WIN)
    DeviceClaim claim_;  // released after the port has closed
#endif
    QSerialPort port_;
    QTimer sentPoll_;
    QTimer modemPoll_{this};
#if !defined(Q_OS_WIN)
    std::optional<DescriptorReader> reader_;  // while the port is open
    std::vector<char> chunk_ = std::vector<char>(64 * 1024);
#endif
    uint64_t handed_ = 0;  // bytes given to Qt to write
    uint64_t taken_ = 0;   // of those, bytes the driver has taken
    bool lossReported_ = false;
    uint32_t lineErrors_ = 0;  // met by the reader, not yet in the receive buffer's flags
#if defined(Q_OS_LINUX)
    bool lineCountsKnown_ = true;
    serial_icounter_struct lastCounts_{};
#endif
};

// The outcome of a call into the port's thread, if it ends in time.
template <typename Result>
struct PendingCall {
    QSemaphore done;
    Result result{};
};

class QtSerialDevice : public BufferedSerialDevice {
  public:
    explicit QtSerialDevice(
        std::shared_ptr<SharedBuffers> shared = std::make_shared<SharedBuffers>())
        : BufferedSerialDevice(shared), shared_(std::move(shared)), thread_(new QThread) {
        worker_ = new PortWorker(shared_);
        worker_->moveToThread(thread_);
        // Deleted in its own thread, port and timers with it, when the thread's loop has ended.
        connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
        thread_->setObjectName(QStringLiteral("serial I/O"));
        thread_->start();
    }
    ~QtSerialDevice() override { close(); }

    OpenStatus open(const QString& name) {
        const std::optional<OpenStatus> status =
            inWorker(kOpenWaitMs, [name](PortWorker& worker) { return worker.open(name); });
        if (!status) return {OpenFailure::Other, NoAnswerText(kOpenWaitMs), {}};
        settings_ = status->settings;
        return *status;
    }

    LineSettings lineSettings() const override { return settings_; }

    bool setLineSettings(const LineSettings& settings) override {
        const auto outcome = inWorker(kControlWaitMs, [settings](PortWorker& worker) {
            return worker.setLineSettings(settings);
        });
        if (!outcome) return false;
        settings_ = outcome->second;
        return outcome->first;
    }

    QByteArray purge(bool output, bool input) override {
        if (!output && !input) return {};
        return inWorker(kControlWaitMs,
                        [output, input](PortWorker& worker) { return worker.purge(output, input); })
            .value_or(QByteArray());
    }

    void requestFlush() override {
        QMetaObject::invokeMethod(
            worker_, [worker = worker_] { worker->flush(); }, Qt::QueuedConnection);
    }

    // The port closes in its own thread. A thread that does not end in time is left to end on
    // its own, and is deleted then; the device no longer hears from it.
    void close() override {
        if (!thread_) return;
        detachBuffers();
        QThread* thread = std::exchange(thread_, nullptr);
        PortWorker* worker = std::exchange(worker_, nullptr);
        QMetaObject::invokeMethod(
            worker, [worker] { worker->shutdown(); }, Qt::QueuedConnection);
        if (!hung_ && thread->wait(QDeadlineTimer(kControlWaitMs))) {
            delete thread;
            return;
        }
        qCWarning(lcSerial).noquote()
            << "port closed without its thread:" << NoAnswerText(kControlWaitMs);
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        // It may have ended before it was told to delete itself.
        if (thread->wait(QDeadlineTimer(0))) delete thread;
    }

    // Emits lost() for the first loss only.
    void reportLoss(const QString& reason) {
        if (std::exchange(lossReported_, true)) return;
        emit lost(reason);
    }

    void reportSent() { emit sent(); }

    std::optional<uint8_t> modemLines() const override {
        std::lock_guard lock(shared_->mutex);
        return shared_->modemLines;
    }

    bool setModemLine(uint8_t line, bool on) override {
        return inWorker(kControlWaitMs,
                        [line, on](PortWorker& worker) { return worker.setModemLine(line, on); })
            .value_or(false);
    }

    void reportModemLines() { emit modemLinesChanged(); }

    QString adapterSerialNumber() const override { return adapterSerialNumber_; }
    void setAdapterSerialNumber(const QString& serialNumber) {
        adapterSerialNumber_ = serialNumber;
    }

  private:
    // Runs `work` in the port's thread and returns its result, or none when the thread does not
    // answer within waitMs: the port is then lost, and no later call waits for it.
    template <typename Work>
    auto inWorker(int waitMs, Work work) -> std::optional<std::invoke_result_t<Work, PortWorker&>> {
        using Result = std::invoke_result_t<Work, PortWorker&>;
        if (!worker_ || hung_) return std::nullopt;
        auto call = std::make_shared<PendingCall<Result>>();
        QMetaObject::invokeMethod(
            worker_,
            [call, work, worker = worker_] {
                call->result = work(*worker);
                call->done.release();
            },
            Qt::QueuedConnection);
        if (call->done.tryAcquire(1, waitMs)) return std::move(call->result);
        hung_ = true;
        const QString reason = NoAnswerText(waitMs);
        qCWarning(lcSerial).noquote() << "port lost:" << reason;
        {
            std::lock_guard lock(shared_->mutex);
            shared_->gone = true;
        }
        QMetaObject::invokeMethod(
            this, [this, reason] { reportLoss(reason); }, Qt::QueuedConnection);
        return std::nullopt;
    }

    std::shared_ptr<SharedBuffers> shared_;
    QThread* thread_;
    PortWorker* worker_ = nullptr;
    LineSettings settings_;
    bool hung_ = false;  // a call into the port's thread did not end in time
    bool lossReported_ = false;
    QString adapterSerialNumber_;
};

void PortWorker::ReportLoss(QObject* device, const QString& reason) {
    static_cast<QtSerialDevice*>(device)->reportLoss(reason);
}

void PortWorker::ReportSent(QObject* device) {
    static_cast<QtSerialDevice*>(device)->reportSent();
}

void PortWorker::ReportModemLines(QObject* device) {
    static_cast<QtSerialDevice*>(device)->reportModemLines();
}

}  // namespace

OpenFailure ClassifyOpenFailure(bool exists, bool accessible, QtOpenError error) {
    if (!exists) return OpenFailure::NoSuchDevice;
    if (!accessible) return OpenFailure::NoPermission;
    switch (error) {
        case QtOpenError::None:
            return OpenFailure::None;
        case QtOpenError::NotFound:
            return OpenFailure::NoSuchDevice;
        case QtOpenError::Permission:
            // Allowed to open it, refused all the same: another program holds it (its lock
            // file, or exclusive use on Windows).
            return OpenFailure::InUse;
        case QtOpenError::Other:
            break;
    }
    return OpenFailure::Other;
}

OpenResult OpenQtSerialDevice(const QString& name) {
    bool exists = true;
    bool accessible = true;
#if !defined(Q_OS_WIN)
    const QByteArray location = QFile::encodeName(SystemLocation(name));
    exists = QFileInfo::exists(SystemLocation(name));
    accessible = !exists || ::access(location.constData(), R_OK | W_OK) == 0;
#endif
    if (!exists || !accessible) {
        qCDebug(lcSerial) << "cannot open" << name << (exists ? "(no permission)" : "(missing)");
        return OpenResult::Failed(ClassifyOpenFailure(exists, accessible, QtOpenError::Other));
    }
    auto device = std::make_unique<QtSerialDevice>();
    const OpenStatus status = device->open(name);
    if (status.failure != OpenFailure::None) {
        qCDebug(lcSerial) << "cannot open" << name << status.errorText;
        return OpenResult::Failed(status.failure, status.errorText);
    }
    qCDebug(lcSerial) << "opened" << name;
    device->setAdapterSerialNumber(AdapterSerialNumber(SystemLocation(name)));
    return OpenResult(std::move(device));
}
