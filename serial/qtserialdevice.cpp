#include "serial/qtserialdevice.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <algorithm>
#include <cerrno>
#include <limits>

#if defined(Q_OS_WIN)
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif
#if defined(Q_OS_LINUX)
#include <linux/serial.h>
#include <sys/sysmacros.h>
#endif

namespace {

// A write gives the driver this long to take the bytes; whatever is left goes out later from
// the event loop, so a stalled far end cannot freeze the window.
constexpr int kWriteTimeoutMs = 2000;

#if !defined(Q_OS_WIN)
// While the traffic is light, Qt holds at most one received byte and leaves the rest in the
// driver, so the event loop is not woken for every chunk that arrives: the program reads on
// its own ticks. Once a poll finds the driver's queue filling, Qt reads everything as it
// comes again, so a fast link is drained continuously and the driver never holds back the
// sender; it returns to holding once a poll finds little waiting.
constexpr qint64 kHeldReadBuffer = 1;
constexpr qint64 kBusyDriverQueue = 2048;
constexpr qint64 kQuietWaiting = 512;
#endif

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
    termios attributes{};
    return ::tcgetattr(static_cast<int>(handle), &attributes) != 0;
#endif
}

class QtSerialDevice : public SerialDevice {
  public:
    explicit QtSerialDevice(const QString& name) {
        port_.setPortName(name);
        QObject::connect(&port_, &QSerialPort::errorOccurred, this,
                         [this](QSerialPort::SerialPortError error) { onError(error); });
    }

    bool open() {
        if (!port_.open(QIODevice::ReadWrite)) return false;
#if !defined(Q_OS_WIN)
        port_.setReadBufferSize(kHeldReadBuffer);
#endif
        settings_ = {static_cast<int32_t>(port_.baudRate()), FromQtParity(port_.parity()),
                     port_.stopBits() == QSerialPort::TwoStop ? 2 : 1};
        takeLineErrors();
        return true;
    }

    LineSettings lineSettings() const override { return settings_; }

    bool setLineSettings(const LineSettings& settings) override {
        if (!port_.isOpen()) return false;
        const bool rateSet = port_.setBaudRate(settings.baudRate);
        const bool dataBitsSet = port_.setDataBits(QSerialPort::Data8);
        const bool stopBitsSet =
            port_.setStopBits(settings.stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop);
        const bool paritySet =
            port_.setParity(ToQtParity(settings.parity)) || IsPseudoTerminal(port_.handle());
        port_.clearError();
        settings_ = {static_cast<int32_t>(port_.baudRate()),
                     paritySet ? settings.parity : FromQtParity(port_.parity()),
                     port_.stopBits() == QSerialPort::TwoStop ? 2 : 1};
        return rateSet && dataBitsSet && stopBitsSet && paritySet;
    }

    void purge(bool output, bool input) override {
        if (!port_.isOpen() || !(output || input)) return;
        // clear() empties Qt's buffer and flushes the driver's queue of the same direction.
        QSerialPort::Directions directions;
        if (output) directions |= QSerialPort::Output;
        if (input) directions |= QSerialPort::Input;
        port_.clear(directions);
    }

    uint32_t bytesWaiting(uint32_t* errorFlags) override {
        if (errorFlags) *errorFlags = 0;
        if (!port_.isOpen()) return 0;
#if defined(Q_OS_WIN)
        // Qt counts only its own buffer, which fills from the event loop; pull what the driver
        // holds so a caller that blocked the thread still sees it.
        while (port_.isOpen() && port_.waitForReadyRead(0)) {
        }
        if (!port_.isOpen()) return 0;
        if (port_.error() == QSerialPort::TimeoutError) port_.clearError();
        const qint64 waiting = port_.bytesAvailable();
#else
        // Qt's buffer and what the driver holds beyond it, also after a blocked thread.
        const qint64 queued = DriverQueue();
        const qint64 waiting = port_.bytesAvailable() + queued;
        if (queued >= kBusyDriverQueue) {
            port_.setReadBufferSize(0);
        } else if (waiting < kQuietWaiting) {
            port_.setReadBufferSize(kHeldReadBuffer);
        }
#endif
        const uint32_t errors = takeLineErrors();
        if (errorFlags) *errorFlags = errors;
        return static_cast<uint32_t>(
            std::min<qint64>(waiting, std::numeric_limits<uint32_t>::max()));
    }

    int64_t read(uint8_t* buffer, int64_t n) override {
        if (!port_.isOpen() || n <= 0) return 0;
        // What Qt holds arrived first.
        int64_t count = std::max<qint64>(0, port_.read(reinterpret_cast<char*>(buffer), n));
#if !defined(Q_OS_WIN)
        while (count < n && port_.isOpen()) {
            const ssize_t taken = ::read(static_cast<int>(port_.handle()), buffer + count,
                                         static_cast<size_t>(n - count));
            if (taken > 0) {
                count += taken;
            } else {
                if (taken == 0 || (errno != EAGAIN && errno != EINTR)) {
                    onError(QSerialPort::ReadError);
                }
                break;
            }
        }
#endif
        return count;
    }

    int64_t write(const uint8_t* data, int64_t n) override {
        if (!port_.isOpen() || n <= 0) return 0;
        const qint64 accepted = port_.write(reinterpret_cast<const char*>(data), n);
        if (accepted <= 0) return 0;
        // Qt only buffers until the event loop runs; the caller may block right after.
        const QDeadlineTimer deadline(kWriteTimeoutMs);
        while (port_.isOpen() && port_.bytesToWrite() > 0 && !deadline.hasExpired()) {
            if (!port_.waitForBytesWritten(static_cast<int>(deadline.remainingTime()))) break;
        }
        const qint64 pending = port_.isOpen() ? port_.bytesToWrite() : accepted;
        if (port_.error() == QSerialPort::TimeoutError) port_.clearError();
        return std::max<qint64>(0, accepted - pending);
    }

    void close() override { port_.close(); }

  private:
    void onError(QSerialPort::SerialPortError error) {
        if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError) return;
        if (lostReported_ || !port_.isOpen()) return;
        if (!DeviceGone(port_.handle())) return;
        lostReported_ = true;
        // Qt 6.4 keeps polling a vanished device at full speed until it is closed; close it
        // once control is back in the event loop, outside Qt's own notification code.
        QMetaObject::invokeMethod(
            this,
            [this] {
                port_.close();
                emit lost();
            },
            Qt::QueuedConnection);
    }

#if !defined(Q_OS_WIN)
    // Received bytes the driver holds beyond Qt's buffer.
    qint64 DriverQueue() const {
        int queued = 0;
        if (::ioctl(static_cast<int>(port_.handle()), FIONREAD, &queued) != 0) return 0;
        return queued;
    }
#endif

    // Line error flags since the last call, where the platform can tell; 0 elsewhere.
    uint32_t takeLineErrors() {
#if defined(Q_OS_LINUX)
        serial_icounter_struct counts{};
        if (::ioctl(static_cast<int>(port_.handle()), TIOCGICOUNT, &counts) != 0) return 0;
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

    QSerialPort port_;
    LineSettings settings_;
    bool lostReported_ = false;
#if defined(Q_OS_LINUX)
    serial_icounter_struct lastCounts_{};
#endif
};

}  // namespace

std::unique_ptr<SerialDevice> OpenQtSerialDevice(const QString& name) {
    auto device = std::make_unique<QtSerialDevice>(name);
    if (!device->open()) return nullptr;
    return device;
}
