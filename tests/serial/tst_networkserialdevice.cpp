#include <termios.h>

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <climits>

#include "serial/networkserialdevice.h"
#include "serial/portopener.h"
#include "serial/portreturn.h"
#include "serial/rfc2217.h"
#include "serial/seriallink.h"
#include "serial/telnet.h"
#include "tests/support/bytes.h"
#include "tests/support/fakeserialdevice.h"
#include "tests/support/freeports.h"
#include "tests/support/processes.h"
#include "tests/support/ptypair.h"
#include "tests/support/ser2net.h"

namespace {

// Reads from the device until `count` bytes have come, or 5 s have passed.
QByteArray ReceiveFrom(SerialDevice& device, qsizetype count) {
    QByteArray received;
    (void)QTest::qWaitFor(
        [&] {
            const uint32_t waiting = device.bytesWaiting(nullptr);
            const qsizetype before = received.size();
            received.resize(before + waiting);
            device.read(reinterpret_cast<uint8_t*>(received.data() + before), waiting);
            return received.size() >= count;
        },
        5000);
    return received;
}

// A COM port server of the test's own, in a thread of its own since the device's calls block
// the test's thread while they wait for answers. Each kind says what it does with a connection.
class ThreadedServer : public QObject {
  public:
    ~ThreadedServer() override { stop(); }
    QString url() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(port_); }

  protected:
    // Called by the kind's constructor, once what a connection needs is in place.
    void start() {
        moveToThread(&thread_);
        thread_.start();
        QMetaObject::invokeMethod(
            this,
            [this] {
                server_ = std::make_unique<QTcpServer>();
                server_->listen(QHostAddress::LocalHost, 0);
                port_ = server_->serverPort();
                connect(server_.get(), &QTcpServer::newConnection, this,
                        [this] { accepted(*server_->nextPendingConnection()); });
            },
            Qt::BlockingQueuedConnection);
    }
    // Called by the kind's destructor, so that no connection reaches a kind that is gone.
    void stop() {
        if (!thread_.isRunning()) return;
        QMetaObject::invokeMethod(
            this, [this] { server_.reset(); }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait(2000);
    }
    virtual void accepted(QTcpSocket& socket) = 0;

    // The server's answer to a COM port request with this value.
    static QByteArray Answer(ComPortCommand command, const QByteArray& value) {
        QByteArray reply = ComPortRequest(command, value);
        reply[3] = char(uint8_t(reply[3]) + 100);
        return reply;
    }

    TelnetDecoder decoder_;

  private:
    QThread thread_;
    std::unique_ptr<QTcpServer> server_;
    uint16_t port_ = 0;
};

// A server that is silent, refuses the option, answers parity always with "none", or asks
// without ever reading.
class FakeServer : public ThreadedServer {
  public:
    enum class Kind { Silent, RefusesComPort, KeepsParityNone, AsksWithoutReading };

    explicit FakeServer(Kind kind) : kind_(kind) { start(); }
    ~FakeServer() override { stop(); }

    // Refusals to this many bytes of requests are more than the client holds back for a
    // server that does not read, with the system's socket buffers full.
    static constexpr qsizetype AskedBytes = 24 * 1024 * 1024;

  private:
    void accepted(QTcpSocket& socket) override {
        if (kind_ == Kind::RefusesComPort) socket.write(Hex("fffe2c"));
        if (kind_ == Kind::KeepsParityNone) socket.write(Hex("fffd2c"));
        if (kind_ == Kind::AsksWithoutReading) {
            socket.write(Hex("fffd2c"));
            socket.write(Hex("fffd18").repeated(AskedBytes / 3));
            return;
        }
        connect(&socket, &QTcpSocket::readyRead, &socket, [this, &socket] { answer(socket); });
    }

    // Answers each setting with the value asked for, parity always with "none".
    void answer(QTcpSocket& socket) {
        if (kind_ != Kind::KeepsParityNone) return;
        for (const TelnetEvent& event : decoder_.feed(socket.readAll())) {
            if (event.kind != TelnetEvent::Kind::Subnegotiation || event.bytes.isEmpty()) continue;
            const auto command = ComPortCommand(event.bytes.front());
            const QByteArray value = command == ComPortCommand::SetParity
                                         ? QByteArray(1, char(ParityCode(ParityMode::None)))
                                         : event.bytes.mid(1);
            socket.write(Answer(command, value));
        }
    }

    Kind kind_;
};

// A COM port server that answers late or out of turn, in a thread of its own: it agrees to
// the option and answers each settings request (four commands) with the values asked for, after
// the delay the test gives for that request.
class LateServer : public ThreadedServer {
  public:
    struct Plan {
        // Wait before answering the settings requests, by their order; 0 past the end.
        QList<int> answerDelaysMs;
        // The first request's answers wait until the second request has come, and go out just
        // before that one's.
        bool holdFirst = false;
        // From this request on, parity is answered as none whatever was asked.
        int keepParityNoneFrom = INT_MAX;
        // An output purge is answered only with the next input purge, and these bytes are sent
        // between the two answers: data that left the serial line before the input purge.
        QByteArray beforeInputPurge;
        // Sent after the input purge's answer: data that came after it.
        QByteArray afterInputPurge;
        // Purges are never answered; beforeInputPurge goes at once, afterInputPurge once the
        // client has stopped waiting for the answer.
        bool purgesUnanswered = false;
        // The option's agreement waits this long after the connection.
        int negotiationDelayMs = 0;
        // Sent as soon as data come, before what follows them is read: a radio that answers
        // its request before the server has gone on.
        QByteArray answerToData;
    };

    explicit LateServer(Plan plan) : plan_(std::move(plan)) { start(); }
    ~LateServer() override { stop(); }

    // Settings requests that came, on every connection.
    int requests() const { return requests_; }

  private:
    void accepted(QTcpSocket& socket) override {
        QTimer::singleShot(plan_.negotiationDelayMs, &socket,
                           [&socket] { socket.write(Hex("fffd2c")); });
        connect(&socket, &QTcpSocket::readyRead, &socket, [this, &socket] { take(socket); });
    }

    void take(QTcpSocket& socket) {
        for (const TelnetEvent& event : decoder_.feed(socket.readAll())) {
            if (event.kind == TelnetEvent::Kind::Data) socket.write(plan_.answerToData);
            if (event.kind != TelnetEvent::Kind::Subnegotiation || event.bytes.isEmpty()) continue;
            const auto command = ComPortCommand(event.bytes.front());
            QByteArray value = event.bytes.mid(1);
            if (command == ComPortCommand::PurgeData) {
                purge(socket, value);
                continue;
            }
            if (command == ComPortCommand::SetParity && requests_ >= plan_.keepParityNoneFrom)
                value = QByteArray(1, char(ParityCode(ParityMode::None)));
            answers_ += Answer(command, value);
            if (command == ComPortCommand::SetStopSize) requestComplete(socket);
        }
    }

    void requestComplete(QTcpSocket& socket) {
        const int delay = plan_.answerDelaysMs.value(requests_++);
        if (plan_.holdFirst && requests_ == 1) {
            held_ = std::exchange(answers_, {});
            return;
        }
        const QByteArray answers = std::exchange(held_, {}) + std::exchange(answers_, {});
        QTimer::singleShot(delay, &socket, [&socket, answers] { socket.write(answers); });
    }

    void purge(QTcpSocket& socket, const QByteArray& value) {
        const QByteArray answer = Answer(ComPortCommand::PurgeData, value);
        const bool input = value != QByteArray(1, char(PurgeCode(true, false)));
        if (plan_.purgesUnanswered) {
            if (!input) return;
            socket.write(plan_.beforeInputPurge);
            QTimer::singleShot(ServerAnswerWaitMs + 500, &socket,
                               [&socket, after = plan_.afterInputPurge] { socket.write(after); });
        } else if (plan_.beforeInputPurge.isEmpty()) {
            socket.write(answer);
        } else if (!input) {
            heldPurge_ = answer;
        } else {
            socket.write(std::exchange(heldPurge_, {}) + plan_.beforeInputPurge + answer +
                         plan_.afterInputPurge);
        }
    }

    Plan plan_;
    QByteArray answers_;  // of the request coming in
    QByteArray held_;     // of the first request, for holdFirst
    QByteArray heldPurge_;
    std::atomic<int> requests_ = 0;
};

// A link whose network port was open once, when the server still answered, and then vanished:
// Reconnect waits for it, and its tries go to the server.
struct VanishedNetworkPort {
    explicit VanishedNetworkPort(const QString& url)
        : link([this, answered = FakeOpener(journal, &opened)](const QString& name) {
              return opened ? OpenNamedPort(name) : answered(name);
          }) {
        if (link.ChoosePort({0, url, 4, 0}).outcome != PortChoiceOutcome::Applied) return;
        opened->vanish();
        awaited = portReturn.awaitVanishedPort();
    }

    std::shared_ptr<DeviceJournal> journal = std::make_shared<DeviceJournal>();
    FakeSerialDevice* opened = nullptr;
    SerialLink link;
    PortReturn portReturn{link, [] { return QList<ListedDevice>(); }};
    bool awaited = false;
};

// The longest the event loop went without turning while it ran for `ms`.
qint64 LongestLoopGapMs(int ms) {
    QTimer beat;
    qint64 longestGapMs = 0;
    QElapsedTimer sinceBeat;
    sinceBeat.start();
    QObject::connect(&beat, &QTimer::timeout,
                     [&] { longestGapMs = std::max(longestGapMs, sinceBeat.restart()); });
    beat.start(10);
    QTest::qWait(ms);
    return std::max(longestGapMs, sinceBeat.elapsed());
}

}  // namespace

// Against a server of the test's own.
class NetworkConnectTest : public QObject {
    Q_OBJECT
  private slots:
    void connectFailuresHaveTheirReasons() {
        const std::vector<uint16_t> free = FreeLocalPorts(1);
        QCOMPARE(OpenNamedPort(QStringLiteral("rfc2217://127.0.0.1:%1").arg(free.at(0))).failure,
                 OpenFailure::ConnectionRefused);
        QCOMPARE(OpenNamedPort("socket://no-such-host.invalid:2000").failure,
                 OpenFailure::HostNotFound);
        QCOMPARE(OpenNamedPort("rfc2217://host:2000/path").failure, OpenFailure::InvalidAddress);
        FakeServer refusing(FakeServer::Kind::RefusesComPort);
        QCOMPARE(OpenNamedPort(refusing.url()).failure, OpenFailure::NotComPortServer);
    }

    void serverThatAsksAndNeverReadsLosesThePort() {
        FakeServer server(FakeServer::Kind::AsksWithoutReading);
        const QString reason = QStringLiteral("the server does not read what is sent");
        OpenResult opened = OpenNamedPort(server.url());
        // The requests may fill what the client holds back before the option is settled: then
        // the open fails, with the same reason.
        if (!opened.device) {
            QCOMPARE(opened.failure, OpenFailure::Other);
            QCOMPARE(opened.systemText, reason);
            return;
        }
        QSignalSpy lost(opened.device.get(), &SerialDevice::lost);
        QVERIFY(lost.wait(20000));
        QCOMPARE(lost.first().first().toString(), reason);
    }

    void tvrctlEndsWithAPortErrorWhenTheServerRefuses() {
        const QString url = QStringLiteral("rfc2217://127.0.0.1:%1").arg(FreeLocalPorts(1).at(0));
        const ProcessRun run = RunProcess(TVRCTL_PATH, {"read", "--port", url});
        QCOMPARE(run.status, 2);
        QVERIFY2(run.err.contains(url + ": the server refused the connection."),
                 qPrintable(run.err));
    }

    void silentServerTimesOutWithinTheBound() {
        FakeServer silent(FakeServer::Kind::Silent);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(OpenNamedPort(silent.url()).failure, OpenFailure::TimedOut);
        QVERIFY2(timer.elapsed() >= ConnectWaitMs - 100 && timer.elapsed() < ConnectWaitMs + 1000,
                 qPrintable(QString::number(timer.elapsed())));
    }

    // Reconnect's try of a server that does not answer leaves the window's thread free: the look
    // returns at once, the event loop turns on meanwhile (its next looks see the try running),
    // and a stop abandons the try.
    void reconnectToASilentServerLeavesTheLoopTurning() {
        FakeServer silent(FakeServer::Kind::Silent);
        VanishedNetworkPort port(silent.url());
        QVERIFY(port.awaited);

        QElapsedTimer look;
        look.start();
        port.portReturn.poll();
        const qint64 lookMs = look.elapsed();
        // A look that waited for the server would take its whole connect bound, 5 s; the rest
        // is room for a loaded machine.
        QVERIFY2(lookMs < 250, qPrintable(QString::number(lookMs)));
        // Long enough for the timer's next look, which finds the try still running.
        const qint64 longestGapMs = LongestLoopGapMs(PortReturn::PollMs + 100);
        QVERIFY2(longestGapMs < 250, qPrintable(QString::number(longestGapMs)));
        QVERIFY(port.portReturn.waiting());
        QVERIFY(!port.link.PortHandle());
        QElapsedTimer stop;
        stop.start();
        port.portReturn.stop();
        QVERIFY2(stop.elapsed() < 1000, qPrintable(QString::number(stop.elapsed())));
        QVERIFY(!port.portReturn.waiting());
    }

    // A server that takes the connection but never answers the settings holds the window's
    // thread no more than one that never answers at all: Reconnect's try asks for them in the
    // background too, gives up on them, and waits on. One that answers is asked only once.
    void reconnectToAServerThatNeverConfirmsLeavesTheLoopTurning() {
        LateServer::Plan plan;
        plan.answerDelaysMs = {60'000, 0};
        LateServer server(plan);
        VanishedNetworkPort port(server.url());
        QVERIFY(port.awaited);
        port.portReturn.poll();
        // Past the try's bound, 2.5 s, and before the next try, which waits a look.
        const qint64 longestGapMs = LongestLoopGapMs(ServerAnswerWaitMs + 700);
        QVERIFY2(longestGapMs < 250, qPrintable(QString::number(longestGapMs)));
        QVERIFY(port.portReturn.waiting());
        QVERIFY(!port.link.PortHandle());
        QCOMPARE(server.requests(), 1);
        // The next try's request is answered, and the port opens at it without another.
        QTRY_VERIFY_WITH_TIMEOUT(port.link.PortHandle(), 5000);
        QCOMPARE(port.link.device()->lineSettings(), (LineSettings{9600, ParityMode::None, 1}));
        QCOMPARE(server.requests(), 2);
    }

    // The server answers in order, so an answer belongs to the oldest request still waiting
    // for one of its kind: answers to a request given up on neither confirm nor refuse the next.
    void lateAnswersBelongToTheirOwnRequest_data() {
        QTest::addColumn<LineSettings>("first");
        QTest::addColumn<LineSettings>("second");
        QTest::addColumn<int>("keepParityNoneFrom");
        QTest::addColumn<bool>("confirmed");
        QTest::newRow("the search moved on")
            << LineSettings{9600, ParityMode::Even, 1} << LineSettings{19200, ParityMode::None, 1}
            << INT_MAX << true;
        QTest::newRow("the same again, refused")
            << LineSettings{19200, ParityMode::Even, 1} << LineSettings{19200, ParityMode::Even, 1}
            << 1 << false;
    }
    void lateAnswersBelongToTheirOwnRequest() {
        QFETCH(LineSettings, first);
        QFETCH(LineSettings, second);
        QFETCH(int, keepParityNoneFrom);
        QFETCH(bool, confirmed);
        LateServer::Plan plan;
        plan.holdFirst = true;
        plan.keepParityNoneFrom = keepParityNoneFrom;
        LateServer server(plan);
        OpenResult opened = OpenNamedPort(server.url());
        QVERIFY(opened.device);
        SerialDevice& device = *opened.device;
        QVERIFY(!device.setLineSettings(first));
        QCOMPARE(device.settingsRefusal(), SettingsRefusal::NoAnswer);
        QCOMPARE(device.setLineSettings(second), confirmed);
        if (!confirmed) QCOMPARE(device.settingsRefusal(), SettingsRefusal::Server);
        QCOMPARE(device.lineSettings(), confirmed ? second : LineSettings{});
        // The next request is answered on its own.
        const LineSettings third{38400, ParityMode::None, 1};
        QVERIFY(device.setLineSettings(third));
        QCOMPARE(device.lineSettings(), third);
    }

    // Data the server sent before an input purge is thrown away until the purge's own answer,
    // even when the answer to an earlier output purge comes first, and the next purge reports it.
    void inputPurgeEndsWithItsOwnAnswer() {
        LateServer::Plan plan;
        plan.beforeInputPurge = "stale";
        plan.afterInputPurge = "fresh";
        LateServer server(plan);
        OpenResult opened = OpenNamedPort(server.url());
        QVERIFY(opened.device);
        SerialDevice& device = *opened.device;
        QCOMPARE(device.purge(true, false), QByteArray());
        QCOMPARE(device.purge(false, true), QByteArray());
        QCOMPARE(ReceiveFrom(device, 5), QByteArray("fresh"));
        QCOMPARE(device.purge(true, false), QByteArray("stale"));
    }

    // The radio answers a request as soon as the server passes it on, before the server reads
    // the input purge written right after the request: the purge goes to the server first, so
    // that the answer is not thrown away with what came before.
    void answerToARequestRightBeforeAnInputPurgeCounts() {
        LateServer::Plan plan;
        plan.answerToData = "answer";
        LateServer server(plan);
        OpenResult opened = OpenNamedPort(server.url());
        QVERIFY(opened.device);
        SerialDevice& device = *opened.device;
        const QByteArray request = "ask";
        QCOMPARE(device.write(Bytes(request), request.size()), int64_t(request.size()));
        QCOMPARE(device.purge(false, true), QByteArray());
        QCOMPARE(ReceiveFrom(device, 6), QByteArray("answer"));
    }

    // A server that never answers a purge does not have the data after it thrown away for
    // good: they count again once the answer is overdue, and from then on at once.
    void unansweredPurgeStopsDiscarding() {
        LateServer::Plan plan;
        plan.purgesUnanswered = true;
        plan.beforeInputPurge = "early";
        plan.afterInputPurge = "later";
        LateServer server(plan);
        OpenResult opened = OpenNamedPort(server.url());
        QVERIFY(opened.device);
        SerialDevice& device = *opened.device;
        QCOMPARE(device.purge(false, true), QByteArray());
        QCOMPARE(ReceiveFrom(device, 5), QByteArray("later"));
        QCOMPARE(device.purge(false, true), QByteArray("early"));
        QCOMPARE(ReceiveFrom(device, 5), QByteArray("early"));
    }

    // The round trip is measured at the connection, then at each confirmation, and is the
    // largest of the latest eight.
    void roundTripFollowsTheServersAnswers() {
        constexpr int SlowAnswerMs = 400;
        constexpr int NegotiationMs = 150;
        LateServer::Plan plan;
        plan.answerDelaysMs = {0, SlowAnswerMs};
        plan.negotiationDelayMs = NegotiationMs;
        LateServer server(plan);
        OpenResult opened = OpenNamedPort(server.url());
        QVERIFY(opened.device);
        SerialDevice& device = *opened.device;
        QVERIFY(device.roundTripMs().has_value());
        QVERIFY2(*device.roundTripMs() >= NegotiationMs,
                 qPrintable(QString::number(*device.roundTripMs())));
        // Each unlike the one before, so that each goes to the server.
        int requests = 0;
        const auto request = [&] {
            return device.setLineSettings({++requests % 2 ? 9600 : 19200, ParityMode::None, 1});
        };
        QVERIFY(request());
        QVERIFY(request());
        QVERIFY(*device.roundTripMs() >= SlowAnswerMs);
        for (int i = 0; i < 7; ++i) QVERIFY(request());
        QVERIFY(*device.roundTripMs() >= SlowAnswerMs);
        QVERIFY(request());
        QVERIFY2(*device.roundTripMs() < SlowAnswerMs,
                 qPrintable(QString::number(*device.roundTripMs())));
    }

    void settingTheServerKeepsIsRefused() {
        FakeServer server(FakeServer::Kind::KeepsParityNone);
        OpenResult opened = OpenNamedPort(server.url());
        QVERIFY(opened.device);
        SerialDevice& device = *opened.device;
        QVERIFY(device.setLineSettings({19200, ParityMode::None, 1}));
        QCOMPARE(device.lineSettings(), (LineSettings{19200, ParityMode::None, 1}));
        QVERIFY(!device.setLineSettings({19200, ParityMode::Even, 1}));
        QCOMPARE(device.settingsRefusal(), SettingsRefusal::Server);
        QCOMPARE(device.lineSettings(), (LineSettings{19200, ParityMode::None, 1}));
    }
};

// Against ser2net in front of a pseudo-terminal that the test plays the far end of.
class Ser2NetTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        if (!QFile::exists(SER2NET_PATH)) QSKIP("ser2net is not installed");
        pty_ = std::make_unique<PtyPair>();
        QVERIFY(pty_->master >= 0);
        server_ = std::make_unique<Ser2Net>(SER2NET_PATH);
        QVERIFY(server_->start({pty_->slaveName}));
    }
    void cleanup() {
        server_.reset();
        pty_.reset();
    }

    void rfc2217SetsTheServersLine() {
        OpenResult opened = OpenNamedPort(server_->rfc2217Url());
        QVERIFY(opened.device);
        SerialDevice& device = *opened.device;
        QVERIFY(device.setLineSettings({38400, ParityMode::Even, 1}));
        QCOMPARE(pty_->slaveSpeed(), speed_t(B38400));
        QVERIFY(device.setLineSettings({9600, ParityMode::None, 1}));
        QCOMPARE(pty_->slaveSpeed(), speed_t(B9600));
        QCOMPARE(device.lineSettings(), (LineSettings{9600, ParityMode::None, 1}));
    }

    void everyByteValuePassesBothWays_data() {
        QTest::addColumn<bool>("telnet");
        QTest::newRow("rfc2217") << true;
        QTest::newRow("socket") << false;
    }
    void everyByteValuePassesBothWays() {
        QFETCH(bool, telnet);
        OpenResult opened = OpenNamedPort(telnet ? server_->rfc2217Url() : server_->socketUrl());
        QVERIFY(opened.device);
        SerialDevice& device = *opened.device;
        // IAC next to IAC, and at the ends, as well as every value once.
        const QByteArray data = AllByteValues() + Hex("ffff00ff") + AllByteValues();
        QCOMPARE(device.write(Bytes(data), data.size()), int64_t(data.size()));
        // Written bytes leave once the thread is back in its event loop, as with Qt's sockets.
        QCoreApplication::processEvents();
        QCOMPARE(pty_->receive(data.size()), data);
        QTRY_COMPARE_WITH_TIMEOUT(device.bytesSent(), uint64_t(data.size()), 5000);
        QCOMPARE(device.bytesToWrite(), 0);
        QCOMPARE(pty_->send(data), data.size());
        QCOMPARE(ReceiveFrom(device, data.size()), data);
    }

    void plainConnectionCannotChangeItsSettings() {
        OpenResult opened = OpenNamedPort(server_->socketUrl());
        QVERIFY(opened.device);
        QVERIFY(!opened.device->setLineSettings({19200, ParityMode::None, 1}));
        QCOMPARE(opened.device->settingsRefusal(), SettingsRefusal::Unchangeable);
        // Once a byte has come through, the server has the device open at its own settings.
        const uint8_t byte = 'x';
        QCOMPARE(opened.device->write(&byte, 1), 1);
        QCoreApplication::processEvents();
        QCOMPARE(pty_->receive(1), QByteArray("x"));
        QCOMPARE(pty_->slaveSpeed(), speed_t(B9600));
    }

    // A plain connection cannot change its settings: a read tries the setting it is given once,
    // and finds a radio that stands at the server's setting.
    void tvrctlReadsOverAPlainConnectionAtTheSettingGiven() {
        RadioFolder folder(TVRSIM_PATH);
        QVERIFY(folder.begin());
        const QString atServer = folder.radio("at9600", {"--baud", "9600", "--channel", "5"});
        const QString elsewhere = folder.radio("at19200", {"--baud", "19200"});
        Ser2Net radioServer(SER2NET_PATH);
        QVERIFY(radioServer.start({atServer, elsewhere}));
        const ProcessRun found =
            RunProcess(TVRCTL_PATH, {"read", "--json", "--port", radioServer.socketUrl(0)});
        QVERIFY2(found.status == 0, qPrintable(found.err));
        const QJsonObject values = QJsonDocument::fromJson(found.out.toUtf8()).object();
        QCOMPARE(values["channel"].toInt(), 5);
        QCOMPARE(values["serial_rate"].toInt(), 9600);

        QElapsedTimer timer;
        timer.start();
        const ProcessRun missed =
            RunProcess(TVRCTL_PATH, {"read", "--port", radioServer.socketUrl(1)});
        QCOMPARE(missed.status, 3);
        QVERIFY2(missed.err.contains("no answer at 9600-N-1, the one setting"),
                 qPrintable(missed.err));
        // One attempt takes 0.36 s at 9600 bit/s; the whole search would take 28 of them.
        QVERIFY2(timer.elapsed() < 28 * 290, qPrintable(QString::number(timer.elapsed())));
        folder.end();
    }

    void purgeThrowsAwayWhatArrivedBeforeIt() {
        OpenResult opened = OpenNamedPort(server_->rfc2217Url());
        QVERIFY(opened.device);
        SerialDevice& device = *opened.device;
        QCOMPARE(pty_->send("old"), 3);
        QTRY_COMPARE_WITH_TIMEOUT(device.bytesWaiting(nullptr), 3u, 5000);
        QCOMPARE(device.purge(true, true), QByteArray("old"));
        QCOMPARE(device.bytesWaiting(nullptr), 0u);
        // The server answers in order: once a setting is confirmed, it has purged too, and what
        // the radio sends from then on is kept.
        QVERIFY(device.setLineSettings(device.lineSettings()));
        QCOMPARE(pty_->send("new"), 3);
        QCOMPARE(ReceiveFrom(device, 3), QByteArray("new"));
    }

    void serverThatEndsLosesThePortOnce_data() {
        QTest::addColumn<qsizetype>("writing");
        QTest::newRow("idle") << qsizetype(0);
        // The far end reads nothing, so most of it is still on its way.
        QTest::newRow("in the middle of a write") << qsizetype(1024 * 1024);
    }
    void serverThatEndsLosesThePortOnce() {
        QFETCH(qsizetype, writing);
        OpenResult opened = OpenNamedPort(server_->rfc2217Url());
        QVERIFY(opened.device);
        QSignalSpy lost(opened.device.get(), &SerialDevice::lost);
        const QByteArray data(writing, char(0xff));
        QCOMPARE(opened.device->write(Bytes(data), data.size()), int64_t(data.size()));
        if (writing > 0) QTRY_VERIFY_WITH_TIMEOUT(opened.device->bytesSent() > 0, 5000);
        server_->kill();
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 5000);
        const uint8_t byte = 0x55;
        QCOMPARE(opened.device->write(&byte, 1), 0);
        // Refused at once, without waiting for a server that is gone.
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!opened.device->setLineSettings({9600, ParityMode::None, 1}));
        QVERIFY2(timer.elapsed() < ServerAnswerWaitMs,
                 qPrintable(QString::number(timer.elapsed())));
        QCoreApplication::processEvents();
        QCOMPARE(lost.size(), 1);
    }

    void radioIsReadThroughTheServer() {
        RadioFolder folder(TVRSIM_PATH);
        QVERIFY(folder.begin());
        const QString radio =
            folder.radio("radio", {"--baud", "19200", "--parity", "O", "--channel", "7"});
        Ser2Net radioServer(SER2NET_PATH);
        QVERIFY(radioServer.start({radio}));
        const ProcessRun run =
            RunProcess(TVRCTL_PATH, {"read", "--json", "--port", radioServer.rfc2217Url()});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QJsonObject values = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(values["device"].toString(), radioServer.rfc2217Url());
        QCOMPARE(values["channel"].toInt(), 7);
        QCOMPARE(values["serial_rate"].toInt(), 19200);
        QCOMPARE(values["parity"].toString(), QStringLiteral("odd"));
        folder.end();
    }

  private:
    std::unique_ptr<PtyPair> pty_;
    std::unique_ptr<Ser2Net> server_;
};

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    NetworkConnectTest connecting;
    Ser2NetTest served;
    return QTest::qExec(&connecting, argc, argv) | QTest::qExec(&served, argc, argv);
}
#include "tst_networkserialdevice.moc"
