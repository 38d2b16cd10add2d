// The first read of a radio behind a network serial server far away, against the same radio
// read on its own pseudo-terminal: tvrsim at 38400 bit/s, ser2net serving it with the COM port
// option, and a relay of the bench's own between the program and ser2net that holds every byte
// back for the same time in each direction, as a long network path does.

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "app/mainwindow.h"
#include "app/windows.h"
#include "bench/support/benchsupport.h"
#include "core/language.h"
#include "core/messages.h"
#include "serial/portnames.h"
#include "serial/seriallink.h"
#include "tests/support/ser2net.h"

namespace {

constexpr const char* Usage =
    "Usage: bench_netfirstread [OPTION]...\n"
    "Starts tvrsim (a radio at 38400 bit/s, no parity, behind a pseudo-terminal), ser2net\n"
    "serving it over RFC 2217, and a relay that delays every byte by --delay ms each way. Each\n"
    "row reads the radio from a closed port with the main window's Read, the search starting at\n"
    "9600 bit/s, once on the pseudo-terminal (local) and once through the relay (network).\n"
    "\n"
    "  --runs N           rows (default 5)\n"
    "  --delay MS         one-way delay of the relay (default 20)\n"
    "  --ser2net PATH     the server (default /usr/sbin/ser2net)\n"
    "%s"
    "\n"
    "Columns: local and network ms from Read to \"Read correct!\", the connect attempts each\n"
    "used (the radio is the 7th setting tried), the network port's measured round trip, the\n"
    "allowance local + 27 x 2 x delay, and pass: found on the first pass of the search (at\n"
    "most 27 attempts) and network ms within the allowance.\n"
    "Exit status 0 when every row passes, 1 otherwise, 2 on wrong arguments.\n";

constexpr const char* RadioBaud = "38400";
constexpr const char* ReadCorrect = "Read correct!";
constexpr int SearchSettings = 27;
constexpr int RunTimeoutMs = 60000;
constexpr int RadioStartMs = 5000;
// Between runs, so that nothing of one run reaches into the next (ser2net lets the device go).
constexpr int RestMs = 300;

struct Options {
    CommonOptions common;
    long runs = 5;
    long delayMs = 20;
    std::string ser2net = "/usr/sbin/ser2net";
};

struct Run {
    QString message;  // the first message of the run, empty when none came in time
    double ms = 0;
    int attempts = 0;
    std::optional<int> roundTripMs;
};

void Settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool StartRadio(QProcess& radio, const QString& link) {
    radio.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    radio.start(
        QStringLiteral(TVRSIM_PATH),
        {QStringLiteral("--link"), link, QStringLiteral("--baud"), QString::fromLatin1(RadioBaud)});
    if (!radio.waitForStarted(RadioStartMs)) return false;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < RadioStartMs && radio.state() == QProcess::Running) {
        if (QFileInfo(link).isSymLink()) return true;
        radio.waitForReadyRead(50);
    }
    return false;
}

void StopRadio(QProcess& radio) {
    if (radio.state() == QProcess::NotRunning) return;
    radio.terminate();
    if (!radio.waitForFinished(3000)) radio.kill();
    radio.waitForFinished(1000);
}

// One direction of a relayed connection: what arrives is written on after the delay, in order.
class DelayedPipe : public QObject {
  public:
    DelayedPipe(QTcpSocket* from, QTcpSocket* to, int delayMs, QObject* parent)
        : QObject(parent), from_(from), to_(to), delayMs_(delayMs) {
        clock_.start();
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        connect(&timer_, &QTimer::timeout, this, [this] { writeDue(); });
        connect(from_, &QTcpSocket::readyRead, this, [this] { take(); });
        take();
    }

  private:
    void take() {
        const QByteArray bytes = from_->readAll();
        if (bytes.isEmpty()) return;
        queue_.push_back({clock_.elapsed() + delayMs_, bytes});
        if (!timer_.isActive()) timer_.start(delayMs_);
    }

    void writeDue() {
        const qint64 now = clock_.elapsed();
        while (!queue_.empty() && queue_.front().dueMs <= now) {
            if (to_) to_->write(queue_.front().bytes);
            queue_.pop_front();
        }
        if (!queue_.empty()) timer_.start(int(queue_.front().dueMs - now));
    }

    struct Chunk {
        qint64 dueMs;
        QByteArray bytes;
    };
    QPointer<QTcpSocket> from_;
    QPointer<QTcpSocket> to_;
    int delayMs_;
    QElapsedTimer clock_;
    QTimer timer_;
    std::deque<Chunk> queue_;
};

// Listens on a free local port and relays every connection to the server's port, each way
// delayed. It runs in a thread of its own: the program's port blocks its own thread while it
// waits for the server's answers.
class DelayRelay : public QObject {
  public:
    DelayRelay(uint16_t serverPort, int delayMs) : serverPort_(serverPort), delayMs_(delayMs) {
        moveToThread(&thread_);
        thread_.start();
        QMetaObject::invokeMethod(
            this, [this] { listen(); }, Qt::BlockingQueuedConnection);
    }
    ~DelayRelay() override {
        QMetaObject::invokeMethod(
            this, [this] { server_.reset(); }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait(2000);
    }
    uint16_t port() const { return port_; }

  private:
    void listen() {
        server_ = std::make_unique<QTcpServer>();
        if (!server_->listen(QHostAddress::LocalHost, 0)) return;
        port_ = server_->serverPort();
        connect(server_.get(), &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = server_->nextPendingConnection()) relay(client);
        });
    }

    void relay(QTcpSocket* client) {
        client->setParent(server_.get());
        client->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto* upstream = new QTcpSocket(client);
        // What the client sends before the server's side is up waits in the client's socket.
        connect(upstream, &QTcpSocket::connected, client, [this, client, upstream] {
            upstream->setSocketOption(QAbstractSocket::LowDelayOption, 1);
            new DelayedPipe(client, upstream, delayMs_, client);
            new DelayedPipe(upstream, client, delayMs_, client);
        });
        // Either end closing closes the other; the client's socket owns everything.
        connect(client, &QTcpSocket::disconnected, client, [client, upstream] {
            upstream->disconnectFromHost();
            client->deleteLater();
        });
        connect(upstream, &QTcpSocket::disconnected, client,
                [client] { client->disconnectFromHost(); });
        connect(upstream, &QTcpSocket::errorOccurred, client,
                [client](QAbstractSocket::SocketError) { client->abort(); });
        upstream->connectToHost(QHostAddress::LocalHost, serverPort_);
    }

    uint16_t serverPort_;
    int delayMs_;
    uint16_t port_ = 0;
    QThread thread_;
    std::unique_ptr<QTcpServer> server_;
};

class FirstRead {
  public:
    FirstRead() {
        SetMessagePresenter([this](const Message& m) {
            if (!done_) {
                run_.message = m.text;
                run_.ms = clock_.nsecsElapsed() / 1e6;
                done_ = true;
                loop_.quit();
            } else {
                std::fprintf(stderr, "message after the run's end: %s\n", qPrintable(m.text));
            }
            return MessageAnswer::Ok;
        });
    }

    // Reads the radio on `port` from a closed port, the search starting at 9600 bit/s.
    Run run(const QString& port) {
        Link().ClosePort();
        Settle(RestMs);
        SetPinnedPorts({port});
        Link().setSearchStart({});
        run_ = {};
        done_ = false;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop_, &QEventLoop::quit);
        guard.start(RunTimeoutMs);
        clock_.start();
        Form1->Speed_RClick();
        // The message may come at once, or later from the event loop.
        if (!done_) loop_.exec();
        done_ = true;
        run_.attempts = CommandSequencer::ConnectAttempts + 1 - Form1->Sequencer.ConnectLeft;
        if (const SerialDevice* device = Link().device()) run_.roundTripMs = device->roundTripMs();
        return run_;
    }

  private:
    QElapsedTimer clock_;
    QEventLoop loop_;
    Run run_;
    bool done_ = true;
};

std::string Cell(const Run& run) {
    if (run.message == QString::fromLatin1(ReadCorrect)) {
        return std::to_string(static_cast<long>(run.ms + 0.5));
    }
    return "[" + (run.message.isEmpty() ? std::string("no message") : run.message.toStdString()) +
           "]";
}

}  // namespace

int main(int argc, char** argv) {
    const char* program = "bench_netfirstread";
    Options options;
    const std::optional<int> stop = ReadCommandLine(
        argc, argv, program, Usage, options.common,
        [&](const std::string& option, Arguments& arguments, std::string& error) {
            if (option == "--runs") {
                options.runs = arguments.takePositive(option, error).value_or(options.runs);
            } else if (option == "--delay") {
                options.delayMs = arguments.takePositive(option, error).value_or(options.delayMs);
            } else if (option == "--ser2net") {
                const std::optional<std::string> path = arguments.takeValue();
                if (!path) error = "--ser2net needs a path";
                options.ser2net = path.value_or(options.ser2net);
            } else {
                return false;
            }
            return true;
        });
    if (stop) return *stop;

    const CommonOptions& common = options.common;
    if (common.header) {
        std::printf(
            "# netfirstread: Read to \"%s\" from a closed port; tvrsim at %s N; ser2net "
            "behind a relay delaying %ld ms each way\n",
            ReadCorrect, RadioBaud, options.delayMs);
        std::printf("%s%-4s %3s %9s %9s %7s %7s %6s %9s  %s\n", common.codeColumn("code").c_str(),
                    "load", "row", "local ms", "net ms", "tries L", "tries N", "rtt ms", "allowed",
                    "pass");
    }
    std::fflush(stdout);
    const std::string lead = common.codeColumn(common.label) + LoadLabel(common.busy);
    BusyLoad load(common.busy);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int appArgc = 1;
    QApplication app(appArgc, argv);
    LanguageFlag = 1;
    FirstRead bench;
    CreateWindows();
    Form1->show();

    QTemporaryDir directory;
    const QString link = directory.filePath(QStringLiteral("radio"));
    QProcess radio;
    Ser2Net server(QString::fromStdString(options.ser2net));
    const bool started = directory.isValid() && StartRadio(radio, link) && server.start({link});
    if (!started) {
        std::printf("%-4s failed: tvrsim (%s) or ser2net (%s) did not start\n", lead.c_str(),
                    TVRSIM_PATH, options.ser2net.c_str());
        StopRadio(radio);
        std::fflush(nullptr);
        _exit(1);
    }
    const uint16_t serverPort = server.rfc2217Url().section(u':', -1).toUShort();
    DelayRelay relay(serverPort, int(options.delayMs));
    const QString remote = QStringLiteral("rfc2217://127.0.0.1:%1").arg(relay.port());

    int failed = 0;
    for (long row = 1; row <= options.runs; ++row) {
        const Run local = bench.run(link);
        const Run network = bench.run(remote);
        const bool bothRead = local.message == QString::fromLatin1(ReadCorrect) &&
                              network.message == QString::fromLatin1(ReadCorrect);
        const double allowedMs = local.ms + SearchSettings * 2.0 * options.delayMs;
        const bool pass = bothRead && network.attempts <= SearchSettings && network.ms <= allowedMs;
        if (!pass) ++failed;
        const std::string roundTrip =
            network.roundTripMs ? std::to_string(*network.roundTripMs) : std::string("-");
        std::printf("%-4s %3ld %9s %9s %7d %7d %6s %9.0f  %s\n", lead.c_str(), row,
                    Cell(local).c_str(), Cell(network).c_str(), local.attempts, network.attempts,
                    roundTrip.c_str(), allowedMs, pass ? "yes" : "NO");
        std::fflush(stdout);
    }
    Link().ClosePort();
    server.stop();
    StopRadio(radio);
    load.stop();
    std::printf("# %d of %ld rows failed\n", failed, options.runs);
    std::fflush(nullptr);
    // The windows live until the process ends, as in the program.
    _exit(failed == 0 ? 0 : 1);
}
