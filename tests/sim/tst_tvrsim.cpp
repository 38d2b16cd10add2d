// tvrsim as a separate process behind pseudo-terminals, driven by a plain termios client.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTest>

#include "tests/support/processes.h"

namespace {

const QByteArray Probe = QByteArray::fromHex("55 AA 03 10 00 00 13");
const QByteArray ModelReply = QByteArray::fromHex("55 AA 04 10 03 12 00 29");

class Client {
  public:
    explicit Client(const QString& path) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~Client() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool isOpen() const { return fd_ >= 0; }

    bool setLine(speed_t speed, tcflag_t parity = 0) {
        termios tio{};
        if (tcgetattr(fd_, &tio) != 0) return false;
        cfmakeraw(&tio);
        cfsetspeed(&tio, speed);
        tio.c_cflag &= ~PARODD;  // cfmakeraw leaves it
        tio.c_cflag |= CLOCAL | CREAD | parity;
        // A pseudo-terminal drops PARENB, which tcsetattr does not report as a failure.
        return tcsetattr(fd_, TCSANOW, &tio) == 0 && tcflush(fd_, TCIOFLUSH) == 0;
    }

    bool send(const QByteArray& bytes) {
        return ::write(fd_, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    }

    // Collects what arrives until `count` bytes are in or `timeoutMs` has passed.
    QByteArray receive(qsizetype count, int timeoutMs) {
        QByteArray got;
        QElapsedTimer timer;
        timer.start();
        while (got.size() < count && timer.elapsed() < timeoutMs) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(timeoutMs - timer.elapsed())) <= 0) continue;
            char buffer[256];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, n);
        }
        return got;
    }

  private:
    int fd_ = -1;
};

}  // namespace

class TvrsimTest : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();
    void silentAtAnotherRateOrOddParity_data();
    void silentAtAnotherRateOrOddParity();
    void followsItsOwnSerialWrite();
    void pairCarriesUserData();
    void logsFramesInAndOut();
    void badArgumentsExitWithStatus2_data();
    void badArgumentsExitWithStatus2();
    void removesLinksOnSigint();

  private:
    // Starts tvrsim with `args` and waits until its links exist.
    bool start(const QStringList& args, const QStringList& links) {
        sim_ = folder_.radios().run(args, links);
        return sim_ != nullptr;
    }
    QString path(const char* name) const { return folder_.path(QString::fromLatin1(name)); }

    RadioFolder folder_;
    QProcess* sim_ = nullptr;
};

void TvrsimTest::init() {
    QVERIFY(folder_.begin());
}

void TvrsimTest::cleanup() {
    folder_.end();
    sim_ = nullptr;
}

void TvrsimTest::silentAtAnotherRateOrOddParity_data() {
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("parity");
    QTest::newRow("19200") << int{B19200} << 0;
    QTest::newRow("4800") << int{B4800} << 0;
    QTest::newRow("9600 odd") << int{B9600} << int{PARENB | PARODD};
}

void TvrsimTest::silentAtAnotherRateOrOddParity() {
    QFETCH(int, speed);
    QFETCH(int, parity);
    QVERIFY(start({"--link", path("radio")}, {path("radio")}));
    Client client(path("radio"));
    QVERIFY(client.isOpen());
    QVERIFY(client.setLine(static_cast<speed_t>(speed), static_cast<tcflag_t>(parity)));
    QVERIFY(client.send(Probe));
    QCOMPARE(client.receive(8, 400), QByteArray());
    // The same client at the radio's settings is answered.
    QVERIFY(client.setLine(B9600));
    QVERIFY(client.send(Probe));
    QCOMPARE(client.receive(8, 2000).toHex(' '), ModelReply.toHex(' '));
}

void TvrsimTest::followsItsOwnSerialWrite() {
    QVERIFY(start({"--link", path("radio"), "--baud", "19200", "--parity", "E"}, {path("radio")}));
    Client client(path("radio"));
    QVERIFY(client.setLine(B19200));
    // 57600 bit/s, odd parity.
    QVERIFY(client.send(QByteArray::fromHex("55 AA 03 0F 18 00 2A")));
    QCOMPARE(client.receive(6, 2000).toHex(' '), QByteArray("55 aa 02 20 00 22"));
    QVERIFY(client.send(Probe));
    QCOMPARE(client.receive(8, 400), QByteArray());
    QVERIFY(client.setLine(B57600, PARENB | PARODD));
    QVERIFY(client.send(Probe));
    QCOMPARE(client.receive(8, 2000).toHex(' '), ModelReply.toHex(' '));
}

void TvrsimTest::pairCarriesUserData() {
    QVERIFY(start({"--link", path("a"), "--pair", path("b")}, {path("a"), path("b")}));
    Client a(path("a"));
    Client b(path("b"));
    QVERIFY(a.setLine(B9600));
    QVERIFY(b.setLine(B9600));
    const QByteArray there("over the air, one way");
    QVERIFY(a.send(there));
    QCOMPARE(b.receive(there.size(), 2000), there);
    QVERIFY(b.send("and back"));
    QCOMPARE(a.receive(8, 2000), QByteArray("and back"));
}

void TvrsimTest::logsFramesInAndOut() {
    const QString log = path("frames.log");
    QVERIFY(start({"--link", path("radio"), "--log", log}, {path("radio")}));
    Client client(path("radio"));
    QVERIFY(client.setLine(B9600));
    QVERIFY(client.send(Probe));
    QCOMPARE(client.receive(8, 2000).size(), 8);
    sim_->terminate();
    QVERIFY(sim_->waitForFinished(3000));
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines[0].endsWith(" in  55 AA 03 10 00 00 13"), lines[0]);
    QVERIFY2(lines[1].endsWith(" out 55 AA 04 10 03 12 00 29"), lines[1]);
}

void TvrsimTest::badArgumentsExitWithStatus2_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown option") << QStringList{"--colour"} << "unknown option '--colour'";
    QTest::newRow("rate off the table") << QStringList{"--baud", "14400"} << "--baud";
    QTest::newRow("missing value") << QStringList{"--link"} << "needs a value";
    QTest::newRow("parity letter") << QStringList{"--parity", "X"} << "--parity";
    QTest::newRow("identity digits") << QStringList{"--id", "12A4"} << "--id";
    QTest::newRow("firmware") << QStringList{"--firmware", "1.16"} << "--firmware";
    QTest::newRow("probability") << QStringList{"--loss", "1.5"} << "--loss";
    QTest::newRow("fault name") << QStringList{"--fault", "smoke"} << "unknown fault 'smoke'";
    QTest::newRow("fault value") << QStringList{"--fault", "delay"} << "delay";
    QTest::newRow("echo with pair")
        << QStringList{"--echo", "--pair", "/tmp/x"} << "exclude each other";
}

void TvrsimTest::badArgumentsExitWithStatus2() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const ProcessRun run = RunProcess(QStringLiteral(TVRSIM_PATH), args, 3000);
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
}

void TvrsimTest::removesLinksOnSigint() {
    QVERIFY(start({"--link", path("a"), "--pair", path("b")}, {path("a"), path("b")}));
    ::kill(static_cast<pid_t>(sim_->processId()), SIGINT);
    QVERIFY(sim_->waitForFinished(3000));
    QCOMPARE(sim_->exitCode(), 0);
    QVERIFY(!QFileInfo::exists(path("a")) && !QFileInfo(path("a")).isSymLink());
    QVERIFY(!QFileInfo(path("b")).isSymLink());
}

QTEST_GUILESS_MAIN(TvrsimTest)
#include "tst_tvrsim.moc"
