#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <mutex>
#include <thread>

#include "core/language.h"
#include "serial/descriptorreader.h"
#include "serial/portnames.h"
#include "serial/qtserialdevice.h"
#include "serial/seriallink.h"
#include "tests/support/ptypair.h"
#include "tests/support/recorders.h"
#include "tests/support/warningrecorder.h"

namespace {

constexpr qsizetype MiB = 1024 * 1024;

// Another program that uses the device the way picocom and tio do: it opens it and takes its
// lock with flock(1), then says "locked". Held, it keeps both until its standard input closes.
// As a normal user it is what root's exclusive mode keeps out; root runs it as nobody.
class OtherProgram {
  public:
    enum class Ends { AtOnce, WhenReleased };
    // Exit statuses.
    static constexpr int LockRefused = 4;
    static constexpr int OpenRefused = 3;

    OtherProgram(const QString& device, Ends ends, bool normalUser = false) {
        const QStringList script{
            "-c",
            "true 3<\"$0\" || exit 3; exec 3<\"$0\"; flock -n 3 || exit 4; echo locked; "
            "if [ \"$1\" = held ]; then read line; fi; exit 0",
            device, ends == Ends::WhenReleased ? "held" : "at-once"};
        process_.setWorkingDirectory("/");
        if (normalUser && ::geteuid() == 0) {
            process_.start(
                "setpriv",
                QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", "sh"} + script);
        } else {
            process_.start("sh", script);
        }
    }
    ~OtherProgram() {
        process_.kill();
        process_.waitForFinished(2000);
    }
    // Whether it holds the device now; waits at most two seconds.
    bool holds() {
        QDeadlineTimer deadline(2000);
        while (!process_.canReadLine() && process_.state() != QProcess::NotRunning &&
               !deadline.hasExpired()) {
            process_.waitForReadyRead(static_cast<int>(deadline.remainingTime()));
        }
        return process_.canReadLine() && process_.readLine() == "locked\n";
    }
    // Lets it go and returns its exit status: 0 when it had the device, -1 if it did not end.
    int finish() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(2000) || process_.exitStatus() != QProcess::NormalExit) {
            return -1;
        }
        return process_.exitCode();
    }

  private:
    QProcess process_;
};

// Bytes in which a gap, a repeat or a swap shows: no short period.
QByteArray Pattern(qsizetype size) {
    QByteArray bytes(size, '\0');
    uint32_t state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 24);
    }
    return bytes;
}

const uint8_t* Data(const QByteArray& bytes) {
    return reinterpret_cast<const uint8_t*>(bytes.constData());
}

QByteArray ReadAll(SerialDevice& device) {
    uint32_t errors = 0;
    QByteArray bytes(device.bytesWaiting(&errors), '\0');
    bytes.resize(device.read(reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()));
    return bytes;
}

double ProcessCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

// Waits at most timeoutMs for the condition without running this thread's event loop: the
// device's own thread does the work.
template <typename Condition>
bool WaitUntil(Condition done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) QThread::msleep(2);
    return done();
}

// Lets this thread's queued work run, waiting at most timeoutMs for the condition.
template <typename Condition>
bool ProcessEventsUntil(Condition done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

// A far end that sends like a UART at `bytesPerSecond`: every millisecond what is due, never
// waiting for the terminal; what it refuses is lost. Runs until stopped.
class UartFeeder {
  public:
    UartFeeder(int master, qsizetype bytesPerSecond)
        : thread_([this, master, bytesPerSecond] {
              const QByteArray data = Pattern(bytesPerSecond / 1000);
              timespec next{};
              ::clock_gettime(CLOCK_MONOTONIC, &next);
              while (!stop_) {
                  next.tv_nsec += 1000000;
                  if (next.tv_nsec >= 1000000000) {
                      next.tv_nsec -= 1000000000;
                      ++next.tv_sec;
                  }
                  ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
                  const ssize_t n = ::write(master, data.constData(), data.size());
                  if (n < 0 && errno != EAGAIN) return;
              }
          }) {}
    ~UartFeeder() {
        stop_ = true;
        thread_.join();
    }

  private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// Holds the port's thread where a hanging driver would: inside a call that does not return
// until released (or, so that no test waits for ever, after ten seconds).
class PortThreadHold {
  public:
    // Holds the one thread named "serial I/O"; false when there is none.
    bool hold() {
        const pid_t tid = PortThread();
        if (tid <= 0) return false;
        struct sigaction action {};
        action.sa_handler = &PortThreadHold::stay;
        ::sigaction(SIGUSR1, &action, nullptr);
        held_ = true;
        if (::syscall(SYS_tgkill, ::getpid(), tid, SIGUSR1) != 0) return false;
        return WaitUntil([] { return staying_.load(); }, 2000);
    }
    void release() { held_ = false; }
    ~PortThreadHold() { release(); }

    // The thread of the one open device by its name, 0 when there is none.
    static pid_t PortThread(const QByteArray& name = "serial I/O") {
        pid_t found = 0;
        QDirIterator tasks("/proc/self/task", QDir::Dirs | QDir::NoDotAndDotDot);
        while (tasks.hasNext()) {
            const QString task = tasks.next();
            QFile comm(task + "/comm");
            if (comm.open(QIODevice::ReadOnly) && comm.readAll() == name + '\n')
                found = task.section('/', -1).toInt();
        }
        return found;
    }

  private:
    static void stay(int) {
        staying_ = true;
        timespec pause{0, 1000000};
        for (int ms = 0; held_ && ms < 10000; ++ms) ::nanosleep(&pause, nullptr);
        staying_ = false;
    }

    static inline std::atomic<bool> held_{false};
    static inline std::atomic<bool> staying_{false};
};

// What the port logs when its driver hangs: the loss, unless close met the hang first, and the
// thread left to end on its own.
void ExpectHungDriverWarnings(bool lost) {
    if (lost) {
        QTest::ignoreMessage(QtWarningMsg,
                             "port lost: the port's driver did not answer within 200 ms");
    }
    QTest::ignoreMessage(QtWarningMsg,
                         "port closed without its thread: the port's driver "
                         "did not answer within 200 ms");
}

}  // namespace

class QtSerialDeviceTest : public QObject {
    Q_OBJECT
  private slots:
    void openFailureKinds_data() {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<bool>("accessible");
        QTest::addColumn<int>("error");
        QTest::addColumn<int>("failure");
        QTest::newRow("opened") << true << true << int(QtOpenError::None) << int(OpenFailure::None);
        QTest::newRow("missing") << false << true << int(QtOpenError::Other)
                                 << int(OpenFailure::NoSuchDevice);
        QTest::newRow("missing outweighs the rest")
            << false << false << int(QtOpenError::Permission) << int(OpenFailure::NoSuchDevice);
        QTest::newRow("not ours to open")
            << true << false << int(QtOpenError::Other) << int(OpenFailure::NoPermission);
        QTest::newRow("ours to open, refused: in use")
            << true << true << int(QtOpenError::Permission) << int(OpenFailure::InUse);
        QTest::newRow("gone by the time of the open")
            << true << true << int(QtOpenError::NotFound) << int(OpenFailure::NoSuchDevice);
        QTest::newRow("anything else")
            << true << true << int(QtOpenError::Other) << int(OpenFailure::Other);
    }
    void openFailureKinds() {
        QFETCH(bool, exists);
        QFETCH(bool, accessible);
        QFETCH(int, error);
        QFETCH(int, failure);
        QCOMPARE(int(ClassifyOpenFailure(exists, accessible, QtOpenError(error))), failure);
    }

    void openFailuresSayWhy_data() {
        QTest::addColumn<bool>("missing");
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("reason");
        QTest::newRow("in use") << false << int(OpenFailure::InUse)
                                << "%1 is in use by another program.";
        QTest::newRow("no such device")
            << true << int(OpenFailure::NoSuchDevice) << "%1: no such device.";
    }
    void openFailuresSayWhy() {
        QFETCH(bool, missing);
        QFETCH(int, failure);
        QFETCH(QString, reason);
        PtyPair pty;
        QVERIFY(pty.master >= 0);
        OpenResult first = OpenQtSerialDevice(pty.slaveName);
        QVERIFY(first.device);
        const QString name = missing ? "/dev/tvr-no-such-port" : pty.slaveName;
        const OpenResult second = OpenQtSerialDevice(name);
        QVERIFY(!second.device);
        QCOMPARE(int(second.failure), failure);

        SerialLink link(OpenQtSerialDevice);
        MessageRecorder messages;
        LanguageScope english(1);
        QVERIFY(!link.OpenPortByName(name));
        QCOMPARE(link.OpenFailureText(), reason.arg(name));
        QVERIFY(!link.OpenPortScan());
        QCOMPARE(link.OpenFailureText(), reason.arg(name));
        QVERIFY(messages.texts().isEmpty());

        // Closed, the port opens again.
        first.device->close();
        first.device.reset();
        QVERIFY(OpenQtSerialDevice(pty.slaveName).device);
    }

    // A device another program has locked is in use at once, and is left as it was: neither
    // a setting nor a single byte reach it. The far end reads in packet mode, where a change of
    // the flow control that any open of Qt's makes (raw mode) arrives as a packet of its own.
    void deviceLockedByAnotherProgramIsInUseAndUntouched() {
        PtyPair pty;
        QVERIFY(pty.master >= 0);
        termios before{};
        ::tcgetattr(pty.master, &before);
        ::cfsetspeed(&before, B1200);
        before.c_iflag |= IXON;
        ::tcsetattr(pty.master, TCSANOW, &before);
        const int packetMode = 1;
        QCOMPARE(::ioctl(pty.master, TIOCPKT, &packetMode), 0);
        OtherProgram holder(pty.slaveName, OtherProgram::Ends::WhenReleased);
        QVERIFY(holder.holds());

        QElapsedTimer clock;
        clock.start();
        const OpenResult refused = OpenQtSerialDevice(pty.slaveName);
        QVERIFY(!refused.device);
        QCOMPARE(int(refused.failure), int(OpenFailure::InUse));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));

        SetPinnedPorts({pty.slaveName});
        SerialLink link(OpenQtSerialDevice);
        MessageRecorder messages;
        LanguageScope english(1);
        QVERIFY(!link.OpenPortScan());
        SetPinnedPorts({});
        QCOMPARE(link.OpenFailureText(),
                 QString("COM1 (%1) is in use by another program.").arg(pty.slaveName));
        QVERIFY(messages.texts().isEmpty());
        QCOMPARE(pty.receive(1, 200), QByteArray());
        QCOMPARE(pty.slaveSpeed(), speed_t(B1200));

        // Once the other program has let go, the device is ours.
        QCOMPARE(holder.finish(), 0);
        QVERIFY(OpenQtSerialDevice(pty.slaveName).device);
    }

    // One process, one device, two names: Qt's lock file goes by the name, the lock by the
    // device. As root too, whom the exclusive mode does not stop.
    void sameDeviceUnderAnotherNameIsInUse_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("link, then its target") << "link"
                                               << "target";
        QTest::newRow("target, then a link to it") << "target"
                                                   << "link";
        QTest::newRow("relative link, then its target") << "./link"
                                                        << "target";
    }
    void sameDeviceUnderAnotherNameIsInUse() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        PtyPair pty;
        QTemporaryDir dir;
        QVERIFY(QFile::link(pty.slaveName, dir.filePath("link")));
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        const auto name = [&](const QString& which) {
            if (which == "target") return pty.slaveName;
            return which == "link" ? dir.filePath(which) : which;
        };
        OpenResult opened = OpenQtSerialDevice(name(first));
        const OpenResult again = OpenQtSerialDevice(name(second));
        QDir::setCurrent(before);
        QVERIFY(opened.device);
        QVERIFY(!again.device);
        QCOMPARE(int(again.failure), int(OpenFailure::InUse));
        opened.device->close();
        QVERIFY(OpenQtSerialDevice(pty.slaveName).device);
    }

    // While the port is open, no other program gets the device: a normal user's cannot even
    // open it (the exclusive mode), root's finds it locked. Once closed, both can.
    void otherProgramsGetTheDeviceOnlyAfterTheClose_data() {
        QTest::addColumn<bool>("normalUser");
        QTest::newRow("as this user") << false;
        if (::geteuid() == 0) QTest::newRow("as a normal user") << true;
    }
    void otherProgramsGetTheDeviceOnlyAfterTheClose() {
        QFETCH(bool, normalUser);
        PtyPair pty;
        if (normalUser) QCOMPARE(::chmod(QFile::encodeName(pty.slaveName), 0666), 0);
        auto device = OpenQtSerialDevice(pty.slaveName).device;
        QVERIFY(device);
        const bool root = ::geteuid() == 0 && !normalUser;
        QCOMPARE(OtherProgram(pty.slaveName, OtherProgram::Ends::AtOnce, normalUser).finish(),
                 root ? OtherProgram::LockRefused : OtherProgram::OpenRefused);
        device->close();
        QCOMPARE(OtherProgram(pty.slaveName, OtherProgram::Ends::AtOnce, normalUser).finish(), 0);
    }

    // A program that only set the terminal's exclusive mode holds the device too, and keeps it.
    void exclusiveModeOfAnotherProgramIsRespected() {
        PtyPair pty;
        const int other = ::open(QFile::encodeName(pty.slaveName), O_RDWR | O_NOCTTY | O_NONBLOCK);
        QVERIFY(other >= 0);
        QCOMPARE(::ioctl(other, TIOCEXCL), 0);
        const OpenResult refused = OpenQtSerialDevice(pty.slaveName);
        QVERIFY(!refused.device);
        QCOMPARE(int(refused.failure), int(OpenFailure::InUse));
        int exclusive = 0;
        QCOMPARE(::ioctl(other, TIOCGEXCL, &exclusive), 0);
        QCOMPARE(exclusive, 1);
        ::ioctl(other, TIOCNXCL);
        ::close(other);
        QVERIFY(OpenQtSerialDevice(pty.slaveName).device);
    }

    void rateReachesTheDriver_data() {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("parity");
        QTest::addColumn<uint>("speed");
        QTest::newRow("600 N") << 600 << int(ParityMode::None) << uint(B600);
        QTest::newRow("19200 O") << 19200 << int(ParityMode::Odd) << uint(B19200);
        // The pseudo-terminal carries no parity; even is accepted all the same.
        QTest::newRow("115200 E") << 115200 << int(ParityMode::Even) << uint(B115200);
    }
    void rateReachesTheDriver() {
        QFETCH(int, rate);
        QFETCH(int, parity);
        QFETCH(uint, speed);
        PtyPair pty;
        auto device = OpenQtSerialDevice(pty.slaveName).device;
        QVERIFY(device);
        const LineSettings wanted{rate, ParityMode(parity), 1};
        QVERIFY(device->setLineSettings(wanted));
        QCOMPARE(pty.slaveSpeed(), speed_t(speed));
        QVERIFY(device->lineSettings() == wanted);
    }

    // A pseudo-terminal has no modem lines: it says so, refuses to switch them, and goes on
    // working; it sits behind no adapter.
    void pseudoTerminalHasNoModemLines() {
        PtyPair pty;
        auto device = OpenQtSerialDevice(pty.slaveName).device;
        QVERIFY(device);
        QCOMPARE(device->modemLines(), std::nullopt);
        QVERIFY(!device->setModemLine(ModemLine::Dtr, false));
        QVERIFY(!device->setModemLine(ModemLine::Rts, true));
        QCOMPARE(device->modemLines(), std::nullopt);
        QCOMPARE(device->adapterSerialNumber(), QString());
        QVERIFY(device->setLineSettings({9600, ParityMode::None, 1}));
        QCOMPARE(device->write(Data("ok"), 2), 2);
        QCOMPARE(pty.receive(2, 1000), QByteArray("ok"));
    }

    void writeReachesTheFarEndWithoutThisThreadsEventLoop() {
        PtyPair pty;
        auto device = OpenQtSerialDevice(pty.slaveName).device;
        QVERIFY(device);
        const QByteArray frame("\x55\xAA\x02\x10\x00\x12", 6);
        QCOMPARE(device->write(Data(frame), frame.size()), 6);
        // This thread only waits for the far end.
        QCOMPARE(pty.receive(6, 1000), frame);
    }

    // Far more than the driver holds arrives while this thread neither reads nor runs its
    // event loop: the port's thread drains the driver, or the far end could not write it all.
    void readsContinuouslyWhileTheCallerIsBusy() {
        PtyPair pty;
        auto device = OpenQtSerialDevice(pty.slaveName).device;
        QVERIFY(device);
        const QByteArray data = Pattern(MiB);
        QCOMPARE(pty.send(data), data.size());
        uint32_t errors = 0xFFFF;
        QVERIFY(WaitUntil([&] { return device->bytesWaiting(&errors) == MiB; }, 2000));
        QCOMPARE(errors, 0u);
        QVERIFY(ReadAll(*device) == data);
        QCOMPARE(device->bytesWaiting(&errors), 0u);
        QCOMPARE(device->bytesLost(), 0u);

        // After the flood a trickle is noticed again, each byte once.
        QCOMPARE(pty.send("after"), 5);
        QVERIFY(WaitUntil([&] { return device->bytesWaiting(&errors) == 5; }, 1000));
        QCOMPARE(ReadAll(*device), QByteArray("after"));
    }

    // The reader waits for the device alone: while the port's thread is held (a write or a
    // setting in a slow driver), far more than the driver holds still arrives, each byte once,
    // and the held thread then closes the port as usual.
    void readingGoesOnWhileThePortsThreadIsHeld() {
        WarningRecorder warnings;
        PtyPair pty;
        auto device = OpenQtSerialDevice(pty.slaveName).device;
        QVERIFY(device);
        PortThreadHold hold;
        QVERIFY(hold.hold());
        const QByteArray data = Pattern(MiB);
        QCOMPARE(pty.send(data), data.size());
        uint32_t errors = 0;
        QVERIFY(WaitUntil([&] { return device->bytesWaiting(&errors) == MiB; }, 2000));
        QVERIFY(ReadAll(*device) == data);
        hold.release();
        QElapsedTimer clock;
        clock.start();
        device->close();
        QVERIFY2(clock.elapsed() < 200, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(PortThreadHold::PortThread("serial read"), 0);
        QCOMPARE(warnings.warnings(), QStringList());
    }

    // The reader alone. Work run between two reads holds back what arrives meanwhile, so that a
    // chunk read before a purge cannot land after it; the bytes follow in order once it is
    // done. Stopped while waiting, the reader ends at once; at a hang-up it reports the device
    // gone once and ends by itself.
    void readerHoldsArrivalsBetweenReadsAndEndsWhenStoppedOrGone() {
        PtyPair pty;
        const int fd = ::open(qPrintable(pty.slaveName), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        std::mutex mutex;
        QByteArray arrived;
        std::atomic<int> gone{0};
        const auto arrival = [&](const uint8_t* bytes, int64_t count, bool) {
            std::lock_guard lock(mutex);
            arrived.append(reinterpret_cast<const char*>(bytes), count);
            return true;
        };
        const auto received = [&] {
            std::lock_guard lock(mutex);
            return arrived;
        };
        const QByteArray data = Pattern(4096);
        {
            DescriptorReader reader(fd, arrival, [&] { ++gone; });
            QVERIFY(reader.start());
            qsizetype sent = 0;
            QByteArray heldBack;
            reader.betweenReads([&](QByteArray&) {
                sent = pty.send(data);
                QThread::msleep(50);
                heldBack = received();
            });
            QCOMPARE(sent, data.size());
            QCOMPARE(heldBack, QByteArray());
            QVERIFY(WaitUntil([&] { return received().size() == data.size(); }, 1000));
            QVERIFY(received() == data);
            QElapsedTimer clock;
            clock.start();
            reader.stop();
            QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
        }
        DescriptorReader reader(fd, arrival, [&] { ++gone; });
        QVERIFY(reader.start());
        pty.closeMaster();
        QVERIFY(WaitUntil([&] { return gone == 1; }, 1000));
        QVERIFY(WaitUntil([] { return PortThreadHold::PortThread("serial read") == 0; }, 1000));
        QCOMPARE(gone.load(), 1);
        reader.stop();
        ::close(fd);
    }

    // A receiver busy in another thread declines what the reader offers; the reader goes on
    // reading meanwhile, so the terminal takes far more than its own queue holds, and hands
    // everything on in order once the receiver is free. A purge between two reads takes what
    // the reader holds. Held back too long, the reader waits for the receiver instead.
    void aBusyReceiverDoesNotStopTheReading() {
        PtyPair pty;
        const int fd = ::open(qPrintable(pty.slaveName), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        QVERIFY(fd >= 0);
        std::mutex mutex;
        QByteArray arrived;
        std::atomic<bool> busy{true};
        const auto arrival = [&](const uint8_t* bytes, int64_t count, bool mayWait) {
            if (busy && !mayWait) return false;
            std::lock_guard lock(mutex);
            arrived.append(reinterpret_cast<const char*>(bytes), count);
            return true;
        };
        const auto received = [&] {
            std::lock_guard lock(mutex);
            return arrived;
        };
        DescriptorReader reader(fd, arrival, [] {});
        QVERIFY(reader.start());

        const QByteArray purged = Pattern(4096);
        QCOMPARE(pty.send(purged), purged.size());
        QByteArray taken;
        QVERIFY(WaitUntil(
            [&] {
                reader.betweenReads([&](QByteArray& held) {
                    if (held.size() == purged.size()) taken = std::exchange(held, {});
                });
                return !taken.isEmpty();
            },
            1000));
        QVERIFY(taken == purged);

        const QByteArray data = Pattern(160 * 1024);
        QCOMPARE(pty.send(data), data.size());
        QCOMPARE(received(), QByteArray());
        busy = false;
        QVERIFY(WaitUntil([&] { return received().size() >= data.size(); }, 2000));
        QVERIFY(received() == data);

        busy = true;
        const QByteArray more = Pattern(512 * 1024);
        QCOMPARE(pty.send(more), more.size());
        QVERIFY(WaitUntil([&] { return received().size() > data.size() + 200 * 1024; }, 2000));
        busy = false;
        QVERIFY(WaitUntil([&] { return received().size() == data.size() + more.size(); }, 2000));
        QVERIFY(received() == data + more);
        reader.stop();
        ::close(fd);
    }

    void bytesBeyondTheReceiveBufferAreCountedLost() {
        PtyPair pty;
        auto device = OpenQtSerialDevice(pty.slaveName).device;
        QVERIFY(device);
        const qsizetype excess = 256 * 1024;
        const QByteArray data = Pattern(ReceiveBufferBytes + excess);
        QCOMPARE(pty.send(data), data.size());
        uint32_t errors = 0;
        // Every byte is either waiting or counted lost.
        QVERIFY(WaitUntil(
            [&] {
                return device->bytesWaiting(&errors) + device->bytesLost() == uint64_t(data.size());
            },
            2000));
        QCOMPARE(device->bytesLost(), uint64_t(excess));
        QVERIFY(ReadAll(*device) == data.left(ReceiveBufferBytes));

        // With room again, what arrives next is kept.
        QCOMPARE(pty.send("more"), 4);
        QVERIFY(WaitUntil([&] { return device->bytesWaiting(&errors) == 4; }, 1000));
        QCOMPARE(ReadAll(*device), QByteArray("more"));
        QCOMPARE(device->bytesLost(), uint64_t(excess));
    }

    void sendQueueIsBoundedAndEmptiesAsTheFarEndReads() {
        PtyPair pty;
        auto device = OpenQtSerialDevice(pty.slaveName).device;
        QVERIFY(device);
        QSignalSpy sentNotices(device.get(), &SerialDevice::sent);
        const QByteArray data = Pattern(SendQueueBytes + MiB);
        // The far end does not read: the queue takes what fits and the call returns. The driver
        // holds a small part of it at most.
        QCOMPARE(device->write(Data(data), data.size()), SendQueueBytes);
        QVERIFY(device->bytesToWrite() > 0);
        QVERIFY(device->bytesSent() < uint64_t(MiB / 2));

        // Qt reports the driver's last take only once the driver has room again, so the count
        // may trail what the far end has read by that much.
        QByteArray received = pty.receive(MiB);
        QCOMPARE(received.size(), MiB);
        QVERIFY(WaitUntil([&] { return device->bytesSent() >= uint64_t(MiB / 2); }, 1000));
        received += pty.receive(SendQueueBytes - MiB);
        QVERIFY(received == data.left(SendQueueBytes));
        QVERIFY(WaitUntil([&] { return device->bytesToWrite() == 0; }, 1000));
        QCOMPARE(device->bytesSent(), uint64_t(SendQueueBytes));
        QVERIFY(ProcessEventsUntil([&] { return !sentNotices.isEmpty(); }, 1000));
    }

    void outputPurgeDropsWhatIsQueued() {
        PtyPair pty;
        auto device = OpenQtSerialDevice(pty.slaveName).device;
        QVERIFY(device);
        const QByteArray data = Pattern(MiB);
        QCOMPARE(device->write(Data(data), data.size()), MiB);
        device->purge(true, false);
        QCOMPARE(device->bytesToWrite(), 0);
        QCOMPARE(device->write(Data("END"), 3), 3);
        const QByteArray received =
            pty.receiveUntil([](const QByteArray& r) { return r.endsWith("END"); }, 1000, 2 * MiB);
        QVERIFY(received.endsWith("END"));
        // Only the little the driver had taken before the purge may come ahead of the next
        // write, in order; the dropped bytes never count as sent.
        const qsizetype ahead = received.size() - 3;
        QVERIFY(ahead < MiB / 2);
        QVERIFY(received.left(ahead) == data.left(ahead));
        QVERIFY(WaitUntil([&] { return device->bytesSent() >= uint64_t(ahead + 3); }, 1000));
        QVERIFY(device->bytesSent() < uint64_t(MiB / 2));
    }

    void inputPurgeDropsWhatArrivedAndNothingOlderFollows() {
        PtyPair pty;
        auto device = OpenQtSerialDevice(pty.slaveName).device;
        QVERIFY(device);
        uint32_t errors = 0;
        QCOMPARE(pty.send("first second"), 12);
        QVERIFY(WaitUntil([&] { return device->bytesWaiting(&errors) == 12; }, 1000));
        QCOMPARE(device->purge(false, true), QByteArray("first second"));
        QCOMPARE(device->bytesWaiting(&errors), 0u);

        QCOMPARE(pty.send("after"), 5);
        QVERIFY(WaitUntil([&] { return device->bytesWaiting(&errors) == 5; }, 1000));
        QCOMPARE(device->purge(true, false), QByteArray());
        QCOMPARE(ReadAll(*device), QByteArray("after"));
    }

    // Qt reports a hang-up again on each read of the port until it is closed, with bytes still
    // arriving or without; the device reports its loss once all the same.
    void lossIsReportedOnce_data() {
        QTest::addColumn<qsizetype>("bytesFirst");
        QTest::newRow("hang-up alone") << qsizetype(0);
        QTest::newRow("bytes, then hang-up") << qsizetype(64 * 1024);
    }
    // A purge in the middle of a flood returns each byte once: what it threw away and what came
    // after it are the data sent, less only what the driver dropped at that moment.
    void purgeDuringAFloodReturnsEachByteOnce() {
        PtyPair pty;
        auto device = OpenQtSerialDevice(pty.slaveName).device;
        QVERIFY(device);
        const QByteArray data = Pattern(MiB / 2);
        std::thread writer([&] {
            for (qsizetype at = 0; at < data.size(); at += 4096) {
                pty.send(data.mid(at, 4096));
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        uint32_t errors = 0;
        WaitUntil([&] { return device->bytesWaiting(&errors) > 64 * 1024; }, 2000);
        const QByteArray thrownAway = device->purge(false, true);
        writer.join();
        WaitUntil([&] { return thrownAway.size() + device->bytesWaiting(&errors) >= data.size(); },
                  1000);
        const QByteArray received = thrownAway + ReadAll(*device);
        QVERIFY(received.size() <= data.size());
        qsizetype same = 0;
        while (same < received.size() && received[same] == data[same]) ++same;
        const qsizetype dropped = data.size() - received.size();
        QVERIFY(received.mid(same) == data.mid(same + dropped));
    }

    void lossIsReportedOnce() {
        QFETCH(qsizetype, bytesFirst);
        PtyPair pty;
        auto device = OpenQtSerialDevice(pty.slaveName).device;
        QVERIFY(device);
        QSignalSpy lost(device.get(), &SerialDevice::lost);
        QCOMPARE(pty.send(Pattern(bytesFirst)), bytesFirst);
        pty.closeMaster();
        QVERIFY(ProcessEventsUntil([&] { return !lost.isEmpty(); }, 2000));
        ProcessEventsUntil([] { return false; }, 300);
        QCOMPARE(lost.size(), 1);
        QCOMPARE(device->write(Data("x"), 1), 0);
    }

    void vanishedFarEndClosesThePortOnceWithoutSpinning_data() {
        QTest::addColumn<bool>("polling");
        QTest::newRow("receive poll asking") << true;
        QTest::newRow("event loop only") << false;
    }
    void vanishedFarEndClosesThePortOnceWithoutSpinning() {
        QFETCH(bool, polling);
        PtyPair pty;
        SetPinnedPorts({pty.slaveName});
        SerialLink link(OpenQtSerialDevice);
        HostRecorder host;
        link.setHost(&host);
        MessageRecorder messages;
        LanguageScope english(1);
        QVERIFY(link.OpenPortByName(1));
        QVERIFY(link.ApplyPortSettings({4, 0}));

        pty.closeMaster();
        QVERIFY(ProcessEventsUntil(
            [&] {
                if (polling) link.BytesWaiting();
                return !link.PortHandle();
            },
            2000));

        const double cpuBefore = ProcessCpuSeconds();
        ProcessEventsUntil([] { return false; }, 500);
        const double cpuUsed = ProcessCpuSeconds() - cpuBefore;
        QVERIFY2(cpuUsed < 0.15,
                 qPrintable(QString("CPU seconds in half an idle second: %1").arg(cpuUsed)));

        QVERIFY(messages.texts().isEmpty());
        QCOMPARE(host.portsLost, 1);
        QCOMPARE(host.panels[3], QString("Disconnect"));
        QVERIFY(!host.polling);
        SetPinnedPorts({});
    }

    // Closed while a flood arrives at 1 MB/s and more is being sent than the far end reads
    // (the port's timers run), again and again: each close ends well within its bound, the
    // port's thread ends with it, and neither Qt nor the program has a word to say.
    void closeDuringAFloodIsQuickAndQuiet() {
        WarningRecorder warnings;
        qint64 longestMs = 0;
        const QByteArray outgoing = Pattern(256 * 1024);
        for (int round = 0; round < 100; ++round) {
            PtyPair pty;
            auto device = OpenQtSerialDevice(pty.slaveName).device;
            QVERIFY(device);
            const UartFeeder feeder(pty.master, 1000000);
            QCOMPARE(device->write(Data(outgoing), outgoing.size()), outgoing.size());
            uint32_t errors = 0;
            QVERIFY(WaitUntil([&] { return device->bytesWaiting(&errors) >= 16 * 1024; }, 2000));
            QElapsedTimer clock;
            clock.start();
            device->close();
            longestMs = std::max(longestMs, clock.elapsed());
            QVERIFY(WaitUntil(
                [] {
                    return PortThreadHold::PortThread() == 0 &&
                           PortThreadHold::PortThread("serial read") == 0;
                },
                1000));
        }
        QCOMPARE(warnings.warnings(), QStringList());
        QVERIFY2(longestMs < 200, qPrintable(QString("longest close: %1 ms").arg(longestMs)));
    }

    // A stream of 250-byte pieces, each after a pause of 5 ms: every piece is read as soon as
    // it arrives. Reading a piece only after a drain timer (up to 100 ms, with nothing watching
    // the port meanwhile) let a terminal overflow at 1 MB/s. The median wait is compared, so
    // that a moment in which a busy machine does not run the port's thread does not count.
    void streamInPiecesWithPausesIsReadAtOnce() {
        PtyPair pty;
        auto device = OpenQtSerialDevice(pty.slaveName).device;
        QVERIFY(device);
        const qsizetype piece = 250;
        const QByteArray data = Pattern(100 * piece);
        std::vector<double> waitsMs;
        uint32_t errors = 0;
        for (qsizetype at = 0; at < data.size(); at += piece) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            QElapsedTimer clock;
            clock.start();
            QCOMPARE(pty.send(data.mid(at, piece)), piece);
            QVERIFY(WaitUntil([&] { return device->bytesWaiting(&errors) == at + piece; }, 2000));
            waitsMs.push_back(clock.nsecsElapsed() / 1e6);
        }
        QVERIFY(ReadAll(*device) == data);
        std::nth_element(waitsMs.begin(), waitsMs.begin() + waitsMs.size() / 2, waitsMs.end());
        const double medianMs = waitsMs[waitsMs.size() / 2];
        QVERIFY2(medianMs < 20, qPrintable(QString("median wait %1 ms").arg(medianMs)));
    }

    // A driver that stops answering freezes nothing: the first call that meets it waits no more
    // than 200 ms, the port is lost with the reason, and no later call waits at all. Once the
    // driver returns, the port's thread closes the port and ends, and the device opens again.
    void hangingDriverIsGivenUpInTime_data() {
        QTest::addColumn<QString>("first");
        QTest::newRow("line settings") << "line settings";
        QTest::newRow("purge") << "purge";
        QTest::newRow("modem line") << "modem line";
        QTest::newRow("close") << "close";
    }
    void hangingDriverIsGivenUpInTime() {
        QFETCH(QString, first);
        PtyPair pty;
        auto device = OpenQtSerialDevice(pty.slaveName).device;
        QVERIFY(device);
        QSignalSpy lost(device.get(), &SerialDevice::lost);
        uint32_t errors = 0;
        QCOMPARE(pty.send("abc"), 3);
        QVERIFY(WaitUntil([&] { return device->bytesWaiting(&errors) == 3; }, 1000));
        PortThreadHold hold;
        QVERIFY(hold.hold());
        ExpectHungDriverWarnings(first != "close");

        QElapsedTimer clock;
        clock.start();
        if (first == "line settings") {
            QVERIFY(!device->setLineSettings({19200, ParityMode::None, 1}));
        } else if (first == "purge") {
            QCOMPARE(device->purge(true, true), QByteArray());
        } else if (first == "modem line") {
            QVERIFY(!device->setModemLine(ModemLine::Dtr, true));
        } else {
            device->close();
        }
        const qint64 firstMs = clock.elapsed();
        QVERIFY2(firstMs >= 150 && firstMs < 1000, qPrintable(QString::number(firstMs)));

        clock.restart();
        QVERIFY(!device->setLineSettings({9600, ParityMode::None, 1}));
        QCOMPARE(device->purge(true, true), QByteArray());
        QVERIFY(!device->setModemLine(ModemLine::Rts, false));
        QCOMPARE(device->write(Data("x"), 1), 0);
        device->close();
        QVERIFY2(clock.elapsed() < 50, qPrintable(QString::number(clock.elapsed())));
        if (first != "close") {
            QVERIFY(ProcessEventsUntil([&] { return !lost.isEmpty(); }, 1000));
            QCOMPARE(lost.size(), 1);
            QCOMPARE(lost[0][0].toString(),
                     QString("the port's driver did not answer within 200 ms"));
        }
        device.reset();

        hold.release();
        QVERIFY(ProcessEventsUntil([] { return PortThreadHold::PortThread() == 0; }, 3000));
        QVERIFY(ProcessEventsUntil(
            [&] { return OpenQtSerialDevice(pty.slaveName).device != nullptr; }, 1000));
        QCOMPARE(pty.receive(1, 100), QByteArray());
    }

    // Through the link, as a search meets it: the step returns in time, and the port is then
    // closed and reported lost to the host, once; the link itself says nothing.
    void searchStepOnAHangingDriverEndsInPortLost() {
        PtyPair pty;
        SetPinnedPorts({pty.slaveName});
        SerialLink link(OpenQtSerialDevice);
        HostRecorder host;
        link.setHost(&host);
        MessageRecorder messages;
        QVERIFY(link.OpenPortByName(1));
        PortThreadHold hold;
        QVERIFY(hold.hold());
        ExpectHungDriverWarnings(true);

        QElapsedTimer clock;
        clock.start();
        QVERIFY(!link.SearchStep(link.Settings()));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(ProcessEventsUntil([&] { return !link.PortHandle(); }, 1000));
        QCOMPARE(host.portsLost, 1);
        QCOMPARE(messages.texts(), QStringList{});

        hold.release();
        QVERIFY(ProcessEventsUntil([] { return PortThreadHold::PortThread() == 0; }, 3000));
        SetPinnedPorts({});
    }
};

QTEST_GUILESS_MAIN(QtSerialDeviceTest)
#include "tst_qtserialdevice.moc"
