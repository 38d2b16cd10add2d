#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTest>
#include <QThread>
#include <ctime>

#include "core/language.h"
#include "fakeserial.h"
#include "serial/portnames.h"
#include "serial/qtserialdevice.h"

namespace {

// A pseudo-terminal pair: the program opens the slave by name, the test plays the far end.
struct PtyPair {
    int master = -1;
    QString slaveName;
    PtyPair() {
        int slave = -1;
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) return;
        slaveName = QString::fromLocal8Bit(name);
        ::close(slave);
        termios raw{};
        ::tcgetattr(master, &raw);
        ::cfmakeraw(&raw);
        ::tcsetattr(master, TCSANOW, &raw);
    }
    ~PtyPair() { closeMaster(); }
    void closeMaster() {
        if (master >= 0) ::close(master);
        master = -1;
    }
    void send(const QByteArray& bytes) const {
        QCOMPARE(::write(master, bytes.constData(), bytes.size()), bytes.size());
    }
    // Whatever arrives within the time limit, up to `expected` bytes.
    QByteArray receive(int expected, int timeoutMs = 2000) const {
        QByteArray received;
        QDeadlineTimer deadline(timeoutMs);
        while (received.size() < expected && !deadline.hasExpired()) {
            pollfd fd{master, POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(deadline.remainingTime())) <= 0) break;
            char chunk[256];
            const ssize_t n = ::read(master, chunk, sizeof chunk);
            if (n <= 0) break;
            received.append(chunk, n);
        }
        return received;
    }
    speed_t slaveSpeed() const {
        termios attributes{};
        ::tcgetattr(master, &attributes);
        return ::cfgetospeed(&attributes);
    }
};

double ProcessCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

// Lets the device's queued work run, waiting at most timeoutMs for the condition.
template <typename Condition>
bool ProcessEventsUntil(Condition done, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return done();
}

}  // namespace

class QtSerialDeviceTest : public QObject {
    Q_OBJECT
  private slots:
    void opensOnceAndRefusesASecondOpen() {
        PtyPair pty;
        QVERIFY(pty.master >= 0);
        auto device = OpenQtSerialDevice(pty.slaveName);
        QVERIFY(device);
        QVERIFY(!OpenQtSerialDevice(pty.slaveName));
        QVERIFY(!OpenQtSerialDevice("/dev/tvr-no-such-port"));
        device->close();
        device.reset();
        QVERIFY(OpenQtSerialDevice(pty.slaveName));
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
        auto device = OpenQtSerialDevice(pty.slaveName);
        QVERIFY(device);
        const LineSettings wanted{rate, ParityMode(parity), 1};
        QVERIFY(device->setLineSettings(wanted));
        QCOMPARE(pty.slaveSpeed(), speed_t(speed));
        QVERIFY(device->lineSettings() == wanted);
    }

    void writeIsOnTheWireWhenItReturns() {
        PtyPair pty;
        auto device = OpenQtSerialDevice(pty.slaveName);
        QVERIFY(device);
        const QByteArray frame("\x55\xAA\x02\x10\x00\x12", 6);
        QCOMPARE(device->write(reinterpret_cast<const uint8_t*>(frame.constData()), 6), 6);
        // No event loop runs between the write and the far end's read.
        QCOMPARE(pty.receive(6, 500), frame);
    }

    void bytesWaitingCountsAfterABlockedThread() {
        PtyPair pty;
        auto device = OpenQtSerialDevice(pty.slaveName);
        QVERIFY(device);
        pty.send("hello radio");
        QThread::msleep(100);  // the UI thread sleeping, no event loop
        uint32_t errors = 0xFFFF;
        QCOMPARE(device->bytesWaiting(&errors), 11u);
        QCOMPARE(errors, 0u);
        uint8_t buffer[11] = {};
        QCOMPARE(device->read(buffer, 11), 11);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(buffer), 11), QByteArray("hello radio"));
        QCOMPARE(device->bytesWaiting(&errors), 0u);
    }

    void purgeDiscardsWhatWaitsInQtAndInTheDriver() {
        PtyPair pty;
        auto device = OpenQtSerialDevice(pty.slaveName);
        QVERIFY(device);
        uint32_t errors = 0;
        // Pulled into Qt's buffer first, then more left in the driver.
        pty.send("first");
        QThread::msleep(50);
        QCOMPARE(device->bytesWaiting(&errors), 5u);
        pty.send("second");
        QThread::msleep(50);
        device->purge(false, true);
        QCOMPARE(device->bytesWaiting(&errors), 0u);

        pty.send("after");
        QThread::msleep(50);
        QCOMPARE(device->bytesWaiting(&errors), 5u);
        device->purge(true, false);
        QCOMPARE(device->bytesWaiting(&errors), 5u);
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
        LanguageFlag = 1;
        QVERIFY(link.OpenPortByName(1));
        link.BaudIndex = 4;
        link.ParityIndex = 0;
        link.ApplyPortSettings();
        QVERIFY(link.PortHandle());

        pty.closeMaster();
        QVERIFY(ProcessEventsUntil(
            [&] {
                if (polling) link.BytesWaiting();
                return !link.PortHandle();
            },
            2000));

        const double cpuBefore = ProcessCpuSeconds();
        ProcessEventsUntil([] { return false; }, 1000);
        const double cpuUsed = ProcessCpuSeconds() - cpuBefore;
        QVERIFY2(cpuUsed < 0.3,
                 qPrintable(QString("CPU seconds in one idle second: %1").arg(cpuUsed)));

        QCOMPARE(messages.shown.size(), 1);
        QCOMPARE(messages.shown[0].text, QString("Port disconnected!"));
        QCOMPARE(messages.shown[0].caption, ApplicationTitle());
        QCOMPARE(host.portsLost, 1);
        QCOMPARE(host.panels[3], QString("Disconnect"));
        QVERIFY(!host.polling);
        SetPinnedPorts({});
    }
};

QTEST_GUILESS_MAIN(QtSerialDeviceTest)
#include "tst_qtserialdevice.moc"
