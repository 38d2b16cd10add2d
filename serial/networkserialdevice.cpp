#include "serial/networkserialdevice.h"

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#endif
#if !defined(Q_OS_WIN)
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "serial/descriptorreader.h"
#endif

#include <QElapsedTimer>
#include <QHostAddress>
#include <QSemaphore>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <utility>

#include "core/logging.h"
#include "serial/bufferedserialdevice.h"
#include "serial/qtserialdevice.h"
#include "serial/rfc2217.h"
#include "serial/telnet.h"

namespace {

#if defined(Q_OS_WIN)
// How much the socket reads ahead of the receive buffer: past it, TCP holds the server back.
constexpr qint64 kSocketReadAheadBytes = 256 * 1024;
constexpr qint64 kReadChunkBytes = 64 * 1024;
#endif
// The most the connection holds back for a server that does not read: the send queue's data,
// each byte doubled at worst, and room for answers to its requests.
constexpr qint64 kMaxUnreadBytes = 2 * SendQueueBytes + 64 * 1024;
// Answers to the server's requests that the connection's thread has not taken yet, at most: it
// takes them as soon as it runs, so a server that asks more is flooding the connection.
constexpr qsizetype kMaxWaitingAnswerBytes = 64 * 1024;
// How long closing waits for the connection's thread.
constexpr int kCloseWaitMs = 200;
// The window's thread waits this much longer than the connection's thread for an answer, so
// that the connection's own bound decides.
constexpr int kAnswerMarginMs = 500;
// How many of the latest round trips the published one is the largest of.
constexpr size_t kRoundTripSamples = 8;
// Requests the server has left without their answers, at most: past this many it has stopped
// answering them, and the oldest is no longer waited for.
constexpr size_t kMaxUnansweredRequests = 16;

// The buffers, and what the connection's thread measures for the window's thread.
struct SharedBuffers : PortBuffers {
    // The round trip to the server as last measured, in whole milliseconds.
    std::atomic<int> roundTripMs{0};
};

// A call into the connection's thread that ends when the server has answered, or earlier.
struct OpenCall {
    QSemaphore done;
    OpenFailure failure = OpenFailure::Other;
    QString systemText;
    // For an open nobody waits for: runs in the connection's thread when the call ends.
    std::function<void(OpenFailure failure, const QString& systemText)> ended;
};

struct SettingsCall {
    QSemaphore done;
    bool confirmed = false;
    SettingsRefusal refusal = SettingsRefusal::NoAnswer;
    // For a request nobody waits for: runs in the connection's thread once it is answered.
    std::function<void()> ended;
};

// A purge ends once the connection's thread has taken it, without waiting for the server.
struct PurgeCall {
    QSemaphore done;
    QByteArray thrownAway;
};

OpenFailure FailureOf(QAbstractSocket::SocketError error) {
    switch (error) {
        case QAbstractSocket::HostNotFoundError:
            return OpenFailure::HostNotFound;
        case QAbstractSocket::ConnectionRefusedError:
            return OpenFailure::ConnectionRefused;
        case QAbstractSocket::SocketTimeoutError:
            return OpenFailure::TimedOut;
        default:
            return OpenFailure::Other;
    }
}

// The round trip the reply waits allow for: the largest of the latest few measured. A wait is a
// bound, so an average would sit below every slower round trip and let its reply time out; the
// largest recent one covers the jitter seen lately, and a single slow answer is forgotten after
// a few more.
class RoundTripWindow {
  public:
    void add(qint64 nanoseconds) {
        samples_.push_back(nanoseconds);
        if (samples_.size() > kRoundTripSamples) samples_.pop_front();
    }
    // In whole milliseconds, rounded up.
    int milliseconds() const {
        const qint64 largest =
            samples_.empty() ? 0 : *std::max_element(samples_.begin(), samples_.end());
        return int((largest + 999'999) / 1'000'000);
    }

  private:
    std::deque<qint64> samples_;
};

// A settings request the server has not answered in full, and when it was sent.
struct PendingSettings {
    LineSettingsRequest request;
    QElapsedTimer sentAt;
};

// Everything that runs in the connection's thread, and what it received. Qt's socket notifier
// and its signals on every arrival cost several times what a local port's reader spends per
// byte, so where there is poll() the connection's descriptor is read by a DescriptorReader of
// its own once connected, which waits in the kernel and gathers a trickle for a moment, and the
// telnet stream is decoded in the reader's thread. The connection's thread connects, sends and
// keeps time. What the reader's side holds (marked below) is touched by the connection's thread
// only between two reads.
class ConnectionWorker : public QObject {
  public:
    ConnectionWorker(std::shared_ptr<SharedBuffers> shared, PortUrl url)
        : shared_(std::move(shared)), url_(std::move(url)), socket_(this), connectTimer_(this) {
        telnet_ = url_.protocol == PortProtocol::Rfc2217;
        connectTimer_.setSingleShot(true);
        // A coarse timer may end the wait up to 5 % early.
        connectTimer_.setTimerType(Qt::PreciseTimer);
        connect(&connectTimer_, &QTimer::timeout, this, [this] {
            finishOpen(OpenFailure::TimedOut,
                       QStringLiteral("no answer within %1 ms").arg(ConnectWaitMs));
        });
        connect(&socket_, &QTcpSocket::stateChanged, this,
                [this](QAbstractSocket::SocketState state) {
                    // From here on the time is the network's, not the name lookup's.
                    if (state == QAbstractSocket::ConnectingState) connectClock_.start();
                });
        connect(&socket_, &QTcpSocket::connected, this, [this] { onConnected(); });
        connect(&socket_, &QTcpSocket::errorOccurred, this,
                [this](QAbstractSocket::SocketError error) { onError(error); });
#if defined(Q_OS_WIN)
        socket_.setReadBufferSize(kSocketReadAheadBytes);
        connect(&socket_, &QTcpSocket::readyRead, this, [this] { onReadyRead(); });
        connect(&socket_, &QTcpSocket::bytesWritten, this,
                [this](qint64 count) { countWritten(count); });
#endif
    }
    ~ConnectionWorker() override {
        closeConnection();
    }

    void open(std::shared_ptr<OpenCall> call) {
        openCall_ = std::move(call);
        connectTimer_.start(ConnectWaitMs);
        socket_.connectToHost(url_.host, url_.port);
    }

    void setLineSettings(const LineSettings& wanted, std::shared_ptr<SettingsCall> call) {
        if (!telnet_) return answerSettings(call, false, SettingsRefusal::Unchangeable);
        if (!connected()) return answerSettings(call, false, SettingsRefusal::ConnectionEnded);
        QByteArray request;
        betweenReads([&] {
            if (!negotiation_.localEnabled(Telnet::OptionComPort)) return;
            // An earlier request the window's thread gave up on is not answered any more, but
            // its answers may still come: they are kept apart from this request's.
            if (settingsCall_) answerSettings(settingsCall_, false, SettingsRefusal::NoAnswer);
            if (settingsRequests_.size() >= kMaxUnansweredRequests) settingsRequests_.pop_front();
            settingsRequests_.push_back({LineSettingsRequest(wanted), {}});
            settingsRequests_.back().sentAt.start();
            settingsCall_ = call;
            request = settingsRequests_.back().request.bytes();
        });
        if (request.isEmpty()) return answerSettings(call, false, SettingsRefusal::Server);
        send(request, 0);
    }

    // Answers at once, without waiting for the server: what the server sent before it purged
    // comes before its answer and is thrown away as it comes, to be reported by the next purge.
    // What was written just before the purge goes to the server after it: over a network the
    // radio may answer those bytes before a purge sent behind them reaches the server, which
    // would throw the answer away; locally the line is slower than the purge.
    void purge(bool output, bool input, const std::shared_ptr<PurgeCall>& call) {
        if (output) dropUnsent();
        QByteArray thrownAway;
        bool asked = false;
        std::optional<int> discarding;
        betweenReads([&] {
            thrownAway = std::exchange(discarded_, {});
            if (input) {
                std::lock_guard lock(shared_->mutex);
                const qsizetype before = thrownAway.size();
                thrownAway.resize(before + shared_->received.size());
                shared_->received.take(reinterpret_cast<uint8_t*>(thrownAway.data() + before),
                                       thrownAway.size() - before);
            }
            if (!telnet_ || !connected() || !negotiation_.localEnabled(Telnet::OptionComPort))
                return;
            asked = true;
            purgeAnswersOwed_ = std::min(purgeAnswersOwed_ + 1, kMaxUnansweredRequests);
            // The answers to earlier purges come first; this one's ends the discarding.
            if (input && !purgesUnanswered_) {
                discardAnswersLeft_ = purgeAnswersOwed_;
                discarding = ++discardingPurge_;
            }
        });
        if (asked) send(PurgeDataRequest(output, input), 0);
        if (discarding) {
            QTimer::singleShot(ServerAnswerWaitMs, this, [this, purge = *discarding] {
                betweenReads([&] {
                    if (purge == discardingPurge_ && discardAnswersLeft_ > 0) purgeNotAnswered();
                });
            });
        }
        flush();
        call->thrownAway = thrownAway;
        call->done.release();
    }

    // Hands what was written since the last time to the connection.
    void flush() {
        QByteArray bytes;
        {
            std::lock_guard lock(shared_->mutex);
            bytes = std::exchange(shared_->staged, {});
            shared_->flushScheduled = false;
        }
        if (bytes.isEmpty()) return;
        send(telnet_ ? EscapeIac(bytes) : bytes, bytes.size());
    }

    void shutdown() {
        connectTimer_.stop();
        closeConnection();
        socket_.abort();
        thread()->quit();
    }

  private:
    // Runs `work` on the reader's side of the connection: between two reads while a reader
    // runs, at once otherwise (before the connection is made, and where this thread reads).
    template <typename Work>
    void betweenReads(Work work) {
#if defined(Q_OS_WIN)
        work();
#else
        if (!reader_) return work();
        reader_->betweenReads([&](QByteArray&) { work(); });
#endif
    }

    bool connected() const {
#if defined(Q_OS_WIN)
        return socket_.state() == QAbstractSocket::ConnectedState;
#else
        return descriptor_ >= 0;
#endif
    }

    // A server that holds back the rest of a reply until its first piece is acknowledged
    // (Nagle's algorithm, ser2net's default) would otherwise wait for the delayed
    // acknowledgement, 40 ms, on every reply. The kernel drops back to delaying now and then,
    // so this is asked again on every read.
    static void AcknowledgeAtOnce(qintptr descriptor) {
#ifdef Q_OS_LINUX
        const int on = 1;
        ::setsockopt(int(descriptor), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
#else
        Q_UNUSED(descriptor);
#endif
    }

    void onConnected() {
        socket_.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // Asked before anything is read, so that an early request of the server finds them.
        const QByteArray requests = telnet_ ? negotiation_.start() : QByteArray();
#if !defined(Q_OS_WIN)
        // The connection goes on on a descriptor of its own, which the socket's closing leaves
        // open: closing one of two descriptors of a connection does not end it.
        descriptor_ = ::fcntl(int(socket_.socketDescriptor()), F_DUPFD_CLOEXEC, 0);
        QObject::disconnect(&socket_, nullptr, this, nullptr);
        socket_.abort();
        if (descriptor_ < 0) return finishOpen(OpenFailure::Other, ErrnoText());
        writable_.emplace(descriptor_, QSocketNotifier::Write);
        writable_->setEnabled(false);
        connect(&*writable_, &QSocketNotifier::activated, this, [this] { sendQueued(); });
        reader_.emplace(
            descriptor_,
            [this](const uint8_t* bytes, int64_t count, bool) {
                arrive(QByteArrayView(reinterpret_cast<const char*>(bytes), count));
                return true;
            },
            [this] { readerEnded(); });
        if (!reader_->start()) return finishOpen(OpenFailure::Other, ErrnoText());
#endif
        if (!telnet_) return finishOpen(OpenFailure::None, {});
        send(requests, 0);
    }

#if !defined(Q_OS_WIN)
    static QString ErrnoText() {
        return QString::fromLocal8Bit(std::strerror(errno));
    }
#endif

    void finishOpen(OpenFailure failure, const QString& systemText) {
        const std::shared_ptr<OpenCall> call = std::exchange(openCall_, nullptr);
        if (!call) return;
        connectTimer_.stop();
        if (failure != OpenFailure::None) {
            closeConnection();
            socket_.abort();
        } else if (connectClock_.isValid()) {
            // The connection's handshake, and for rfc2217 the options' too: at least one round
            // trip, until the settings' answers measure it exactly.
            betweenReads([&] { addRoundTrip(connectClock_.nsecsElapsed()); });
        }
        call->failure = failure;
        call->systemText = systemText;
        call->done.release();
        if (call->ended) call->ended(failure, systemText);
    }

    void onError(QAbstractSocket::SocketError error) {
        if (openCall_) return finishOpen(FailureOf(error), socket_.errorString());
        lose(error == QAbstractSocket::RemoteHostClosedError
                 ? QStringLiteral("the server closed the connection")
                 : QStringLiteral("the connection to the server broke: ") + socket_.errorString());
    }

#if defined(Q_OS_WIN)
    void onReadyRead() {
        while (socket_.bytesAvailable() > 0) {
            const QByteArray bytes = socket_.read(kReadChunkBytes);
            if (bytes.isEmpty()) return;
            arrive(bytes);
        }
    }
#else
    // In the reader's thread: the connection can no longer be read.
    void readerEnded() {
        int error = 0;
        socklen_t size = sizeof error;
        ::getsockopt(descriptor_, SOL_SOCKET, SO_ERROR, &error, &size);
        const QString reason = error == 0 ? QStringLiteral("the server closed the connection")
                                          : QStringLiteral("the connection to the server broke: ") +
                                                QString::fromLocal8Bit(std::strerror(error));
        QMetaObject::invokeMethod(
            this,
            [this, reason] {
                if (openCall_) return finishOpen(OpenFailure::Other, reason);
                lose(reason);
                closeConnection();
            },
            Qt::QueuedConnection);
    }
#endif

    // The reader's side from here on: what arrived, decoded.
    void arrive(QByteArrayView bytes) {
#if defined(Q_OS_WIN)
        AcknowledgeAtOnce(socket_.socketDescriptor());
#else
        AcknowledgeAtOnce(descriptor_);
#endif
        if (!telnet_) return receive(bytes);
        for (const TelnetEvent& event : decoder_.feed(bytes)) handle(event);
        if (!answers_.isEmpty() && !answersPosted_) {
            answersPosted_ = true;
            QMetaObject::invokeMethod(
                this, [this] { sendAnswers(); }, Qt::QueuedConnection);
        }
    }

    void handle(const TelnetEvent& event) {
        switch (event.kind) {
            case TelnetEvent::Kind::Data:
                receive(event.bytes);
                return;
            case TelnetEvent::Kind::Negotiation:
                answer(negotiation_.answer(event.verb, event.option));
                checkNegotiated();
                return;
            case TelnetEvent::Kind::Subnegotiation:
                if (event.option != Telnet::OptionComPort) return;
                if (const std::optional<ComPortReply> reply = ParseComPortReply(event.bytes)) {
                    handle(*reply);
                } else {
                    qCDebug(lcSerial) << "malformed COM port answer" << event.bytes.toHex(' ');
                }
                return;
        }
    }

    // Answers to the server's requests wait for the connection's thread to send them; a server
    // that asks more than that thread takes, or than it can send since the server does not
    // read, loses the port.
    void answer(const QByteArray& bytes) {
        if (bytes.isEmpty() || answersRefused_) return;
        if (answers_.size() + bytes.size() > kMaxWaitingAnswerBytes) {
            answersRefused_ = true;
            QMetaObject::invokeMethod(
                this, [this] { loseToAServerThatDoesNotRead(); }, Qt::QueuedConnection);
            return;
        }
        answers_ += bytes;
    }

    // An rfc2217 port is open once the server has settled the COM port option.
    void checkNegotiated() {
        if (negotiationSettled_) return;
        const bool enabled = negotiation_.localEnabled(Telnet::OptionComPort);
        if (!enabled && !negotiation_.localRefused(Telnet::OptionComPort)) return;
        negotiationSettled_ = true;
        QMetaObject::invokeMethod(
            this,
            [this, enabled] {
                finishOpen(enabled ? OpenFailure::None : OpenFailure::NotComPortServer, {});
            },
            Qt::QueuedConnection);
    }

    void handle(const ComPortReply& reply) {
        if (reply.command == ComPortCommand::NotifyLineState) {
            std::lock_guard lock(shared_->mutex);
            shared_->errorFlags |= LineErrorsOfLineState(uint8_t(reply.value));
            return;
        }
        if (reply.command == ComPortCommand::PurgeData) return purgeAnswered();
        // The server answers in order: an answer belongs to the oldest request still without
        // one of its kind, so a late answer to a request given up on never confirms a newer one.
        auto owner = settingsRequests_.begin();
        while (owner != settingsRequests_.end() && !owner->request.take(reply)) ++owner;
        if (owner == settingsRequests_.end() || !owner->request.answered()) return;
        const bool awaited = settingsCall_ && owner == settingsRequests_.end() - 1;
        const bool confirmed = owner->request.confirmed();
        if (awaited) addRoundTrip(owner->sentAt.nsecsElapsed());
        settingsRequests_.erase(owner);
        if (!awaited) return;
        if (!confirmed) {
            qCDebug(lcSerial) << "the server refused the settings" << url_.host << url_.port;
        }
        answerSettings(std::exchange(settingsCall_, nullptr), confirmed, SettingsRefusal::Server);
    }

    void purgeAnswered() {
        if (purgeAnswersOwed_ > 0) --purgeAnswersOwed_;
        if (discardAnswersLeft_ > 0) --discardAnswersLeft_;
    }

    // A server that leaves a purge unanswered would have every byte after it thrown away: from
    // now on its purges purge its buffers, and data count as soon as they come.
    void purgeNotAnswered() {
        qCDebug(lcSerial) << "the server does not answer purges" << url_.host << url_.port;
        purgesUnanswered_ = true;
        discardAnswersLeft_ = 0;
        purgeAnswersOwed_ = 0;
    }

    void addRoundTrip(qint64 nanoseconds) {
        roundTrips_.add(nanoseconds);
        shared_->roundTripMs = roundTrips_.milliseconds();
    }

    static void answerSettings(const std::shared_ptr<SettingsCall>& call, bool confirmed,
                               SettingsRefusal refusal) {
        if (!call) return;
        call->confirmed = confirmed;
        call->refusal = refusal;
        call->done.release();
        if (call->ended) call->ended();
    }

    void receive(QByteArrayView bytes) {
        if (bytes.isEmpty()) return;
        if (discardAnswersLeft_ > 0) {
            // Kept for the next purge's report as far as a receive buffer would keep them.
            const qsizetype room = ReceiveBufferBytes - discarded_.size();
            discarded_ += bytes.first(std::clamp<qsizetype>(room, 0, bytes.size()));
            return;
        }
        std::lock_guard lock(shared_->mutex);
        const int64_t taken =
            shared_->received.append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        shared_->lost += static_cast<uint64_t>(bytes.size() - taken);
    }

    // The connection's thread from here on: what is sent.
    void sendAnswers() {
        QByteArray bytes;
        betweenReads([&] {
            bytes = std::exchange(answers_, {});
            answersPosted_ = false;
        });
        send(bytes, 0);
    }

    void loseToAServerThatDoesNotRead() {
        const QString reason = QStringLiteral("the server does not read what is sent");
        // Before the port is open, it is the open that fails, at once and with the reason.
        if (openCall_) return finishOpen(OpenFailure::Other, reason);
        lose(reason);
        closeConnection();
        socket_.abort();
    }

    // Writes bytes on the connection, of which `dataBytes` were written to the device; they
    // count as sent once all of these bytes have gone to the network stack.
    void send(const QByteArray& wire, int64_t dataBytes) {
        if (wire.isEmpty()) return;
        if (!connected()) {
            std::lock_guard lock(shared_->mutex);
            shared_->unsent = std::max<int64_t>(0, shared_->unsent - dataBytes);
            return;
        }
        chunks_.push_back({wire.size(), dataBytes});
#if defined(Q_OS_WIN)
        socket_.write(wire);
        const qint64 waiting = socket_.bytesToWrite();
#else
        unsentWire_ += wire;
        const qint64 waiting = unsentWire_.size() - wireSent_;
#endif
        // The send queue bounds the data; what else waits is answers to the server, which
        // grow only while it keeps asking and never reads.
        if (waiting > kMaxUnreadBytes) return loseToAServerThatDoesNotRead();
#if !defined(Q_OS_WIN)
        // Sent once the calls already waiting for this thread are done, as Qt's socket sends:
        // a purge and the data after it go out together.
        if (std::exchange(sendScheduled_, true)) return;
        QMetaObject::invokeMethod(
            this,
            [this] {
                sendScheduled_ = false;
                sendQueued();
            },
            Qt::QueuedConnection);
#endif
    }

#if !defined(Q_OS_WIN)
    // Hands the network stack what it takes of the bytes waiting, and waits for room for the
    // rest.
    void sendQueued() {
        while (wireSent_ < unsentWire_.size() && descriptor_ >= 0) {
            const ssize_t count =
                ::send(descriptor_, unsentWire_.constData() + wireSent_,
                       size_t(unsentWire_.size() - wireSent_), MSG_NOSIGNAL | MSG_DONTWAIT);
            if (count > 0) {
                wireSent_ += count;
                // Moved up only once half of it is sent, so that a large queue is not moved
                // after every piece the network stack takes.
                if (wireSent_ >= unsentWire_.size() / 2) {
                    unsentWire_.remove(0, wireSent_);
                    wireSent_ = 0;
                }
                countWritten(count);
                continue;
            }
            if (count < 0 && errno == EINTR) continue;
            if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                writable_->setEnabled(true);
                return;
            }
            lose(QStringLiteral("the connection to the server broke: ") + ErrnoText());
            closeConnection();
            return;
        }
        if (writable_) writable_->setEnabled(false);
    }
#endif

    void countWritten(qint64 count) {
        wireWritten_ += count;
        int64_t fresh = 0;
        while (!chunks_.empty() && wireWritten_ >= chunks_.front().wireBytes) {
            wireWritten_ -= chunks_.front().wireBytes;
            fresh += chunks_.front().dataBytes;
            chunks_.pop_front();
        }
        if (fresh == 0) return;
        {
            std::lock_guard lock(shared_->mutex);
            shared_->unsent = std::max<int64_t>(0, shared_->unsent - fresh);
            shared_->sent += static_cast<uint64_t>(fresh);
        }
        if (shared_->sentNoticePending.exchange(true)) return;
        tellDevice([shared = shared_](QObject* device) {
            shared->sentNoticePending = false;
            ReportSent(device);
        });
    }

    // Written bytes not yet on the connection are dropped; those on it will be sent.
    void dropUnsent() {
        int64_t onConnection = 0;
        for (const Chunk& chunk : chunks_) onConnection += chunk.dataBytes;
        std::lock_guard lock(shared_->mutex);
        shared_->staged.clear();
        shared_->unsent = onConnection;
    }

    // Ends the reader, then the connection's own descriptor.
    void closeConnection() {
#if !defined(Q_OS_WIN)
        reader_.reset();
        writable_.reset();
        if (descriptor_ >= 0) ::close(std::exchange(descriptor_, -1));
#endif
    }

    void lose(const QString& reason) {
        if (std::exchange(lossReported_, true)) return;
        qCDebug(lcSerial).noquote() << "connection to" << url_.host << "lost:" << reason;
        {
            std::lock_guard lock(shared_->mutex);
            shared_->gone = true;
        }
        betweenReads([&] {
            answerSettings(std::exchange(settingsCall_, nullptr), false,
                           SettingsRefusal::ConnectionEnded);
        });
        tellDevice([reason](QObject* device) { ReportLoss(device, reason); });
    }

    template <typename Report>
    void tellDevice(Report report) {
        std::lock_guard lock(shared_->mutex);
        if (!shared_->device) return;
        QMetaObject::invokeMethod(
            shared_->device, [device = shared_->device, report] { report(device); },
            Qt::QueuedConnection);
    }

    static void ReportLoss(QObject* device, const QString& reason);
    static void ReportSent(QObject* device);

    struct Chunk {
        int64_t wireBytes;
        int64_t dataBytes;
    };

    std::shared_ptr<SharedBuffers> shared_;
    PortUrl url_;
    bool telnet_ = false;
    QTcpSocket socket_;
    QTimer connectTimer_;
    std::shared_ptr<OpenCall> openCall_;
    QElapsedTimer connectClock_;
    std::deque<Chunk> chunks_;  // on the connection, not yet taken by the network stack
    int64_t wireWritten_ = 0;   // of the first chunk
    bool lossReported_ = false;
    // The purge whose answer ends the discarding now.
    int discardingPurge_ = 0;
#if !defined(Q_OS_WIN)
    int descriptor_ = -1;
    QByteArray unsentWire_;  // on the connection, from wireSent_ on not yet taken by the stack
    qsizetype wireSent_ = 0;
    bool sendScheduled_ = false;
    std::optional<QSocketNotifier> writable_;
#endif

    // The reader's side.
    TelnetDecoder decoder_;
    TelnetNegotiation negotiation_;
    bool negotiationSettled_ = false;
    // Answers to the server's requests, for the connection's thread to send.
    QByteArray answers_;
    bool answersPosted_ = false;
    bool answersRefused_ = false;
    // Oldest first; the last is the one settingsCall_ waits for, when set.
    std::deque<PendingSettings> settingsRequests_;
    std::shared_ptr<SettingsCall> settingsCall_;
    size_t purgeAnswersOwed_ = 0;
    // Purge answers still to come before received data count again.
    size_t discardAnswersLeft_ = 0;
    bool purgesUnanswered_ = false;
    // Received while discarding, for the next purge to report.
    QByteArray discarded_;
    RoundTripWindow roundTrips_;

#if !defined(Q_OS_WIN)
    // Last, so that it ends before anything it reads into.
    std::optional<DescriptorReader> reader_;
#endif
};

class NetworkSerialDevice : public BufferedSerialDevice {
  public:
    explicit NetworkSerialDevice(const PortUrl& url, std::shared_ptr<SharedBuffers> shared =
                                                         std::make_shared<SharedBuffers>())
        : BufferedSerialDevice(shared), shared_(std::move(shared)), thread_(new QThread) {
        worker_ = new ConnectionWorker(shared_, url);
        worker_->moveToThread(thread_);
        connect(thread_, &QThread::finished, worker_, &QObject::deleteLater);
        thread_->setObjectName(QStringLiteral("network serial I/O"));
        thread_->start();
    }
    ~NetworkSerialDevice() override { close(); }

    OpenResult open() {
        auto call = std::make_shared<OpenCall>();
        beginOpen(call);
        if (!call->done.tryAcquire(1, ConnectWaitMs + kAnswerMarginMs)) {
            // A name lookup that hangs in the system: the thread is left to end on its own.
            return OpenResult::Failed(OpenFailure::TimedOut);
        }
        return OpenResult::Failed(call->failure, call->systemText);
    }

    void beginOpen(const std::shared_ptr<OpenCall>& call) {
        QMetaObject::invokeMethod(
            worker_, [worker = worker_, call] { worker->open(call); }, Qt::QueuedConnection);
    }

    LineSettings lineSettings() const override { return settings_; }

    bool setLineSettings(const LineSettings& settings) override {
        if (settingsTaken_ && settings == settings_) return true;
        auto call = std::make_shared<SettingsCall>();
        beginSettings(settings, call);
        const bool answered =
            worker_ && call->done.tryAcquire(1, ServerAnswerWaitMs + kAnswerMarginMs);
        refusal_ = answered ? call->refusal : SettingsRefusal::NoAnswer;
        // A server that refused may have taken part of them: where it stands is not known.
        settingsTaken_ = answered && call->confirmed;
        if (settingsTaken_) settings_ = settings;
        return settingsTaken_;
    }

    void beginSettings(const LineSettings& settings, const std::shared_ptr<SettingsCall>& call) {
        // Bytes written before go out at the settings they were written at.
        forwardFlush();
        if (!worker_) return;
        QMetaObject::invokeMethod(
            worker_,
            [worker = worker_, settings, call] { worker->setLineSettings(settings, call); },
            Qt::QueuedConnection);
    }

    // The server confirmed these settings to a request made in the background.
    void settingsTaken(const LineSettings& settings) {
        settings_ = settings;
        settingsTaken_ = true;
    }

    SettingsRefusal settingsRefusal() const override { return refusal_; }

    std::optional<int> roundTripMs() const override { return shared_->roundTripMs.load(); }

    QByteArray purge(bool output, bool input) override {
        if ((!output && !input) || !worker_) return {};
        auto call = std::make_shared<PurgeCall>();
        QMetaObject::invokeMethod(
            worker_,
            [worker = worker_, output, input, call] { worker->purge(output, input, call); },
            Qt::QueuedConnection);
        // The connection's thread answers at once; the bound is for one that is stuck.
        if (call->done.tryAcquire(1, ServerAnswerWaitMs)) return call->thrownAway;
        return {};
    }

    // Handed on once the window's thread has done what it does right after the write: a
    // purge of what was received then reaches the connection's thread first, and goes to the
    // server ahead of the bytes.
    void requestFlush() override {
        QMetaObject::invokeMethod(
            this, [this] { forwardFlush(); }, Qt::QueuedConnection);
    }

    void forwardFlush() {
        if (!worker_) return;
        QMetaObject::invokeMethod(
            worker_, [worker = worker_] { worker->flush(); }, Qt::QueuedConnection);
    }

    // The connection closes in its own thread; one that does not end in time is left to end on
    // its own, and is deleted then.
    void close() override {
        if (!thread_) return;
        // What was written goes out before the connection closes.
        forwardFlush();
        detachBuffers();
        QThread* thread = std::exchange(thread_, nullptr);
        ConnectionWorker* worker = std::exchange(worker_, nullptr);
        QMetaObject::invokeMethod(
            worker, [worker] { worker->shutdown(); }, Qt::QueuedConnection);
        if (thread->wait(QDeadlineTimer(kCloseWaitMs))) {
            delete thread;
            return;
        }
        qCWarning(lcSerial) << "network port closed without its thread";
        connect(thread, &QThread::finished, thread, &QObject::deleteLater);
        if (thread->wait(QDeadlineTimer(0))) delete thread;
    }

    void reportLoss(const QString& reason) {
        if (std::exchange(lossReported_, true)) return;
        emit lost(reason);
    }

    void reportSent() { emit sent(); }

  private:
    std::shared_ptr<SharedBuffers> shared_;
    QThread* thread_;
    ConnectionWorker* worker_ = nullptr;
    LineSettings settings_;
    // The server has confirmed settings_ on this connection.
    bool settingsTaken_ = false;
    SettingsRefusal refusal_ = SettingsRefusal::NoAnswer;
    bool lossReported_ = false;
};

void ConnectionWorker::ReportLoss(QObject* device, const QString& reason) {
    static_cast<NetworkSerialDevice*>(device)->reportLoss(reason);
}

void ConnectionWorker::ReportSent(QObject* device) {
    static_cast<NetworkSerialDevice*>(device)->reportSent();
}

// Owns the device while its connection is being made and its settings asked for, and hands it
// over once the server has answered. The connection's thread tells it through `receiver`, which
// it clears when it goes, so that nothing is posted to it once deleted.
class NetworkOpen : public PendingOpen {
  public:
    NetworkOpen(const PortUrl& url, const LineSettings& settings)
        : url_(url), settings_(settings), device_(std::make_unique<NetworkSerialDevice>(url)) {
        auto call = std::make_shared<OpenCall>();
        call->ended = [receiver = receiver_](OpenFailure failure, const QString& systemText) {
            Tell(receiver,
                 [failure, systemText](NetworkOpen& open) { open.ended(failure, systemText); });
        };
        receiver_->open = this;
        device_->beginOpen(call);
    }
    ~NetworkOpen() override {
        std::lock_guard lock(receiver_->mutex);
        receiver_->open = nullptr;
    }

  private:
    struct Receiver {
        std::mutex mutex;
        QObject* open = nullptr;
    };

    // From the connection's thread: `work` runs in the open's, unless the open is gone by then.
    template <typename Work>
    static void Tell(const std::shared_ptr<Receiver>& receiver, Work work) {
        std::lock_guard lock(receiver->mutex);
        if (!receiver->open) return;
        QMetaObject::invokeMethod(
            receiver->open,
            [open = receiver->open, work] { work(*static_cast<NetworkOpen*>(open)); },
            Qt::QueuedConnection);
    }

    void ended(OpenFailure failure, const QString& systemText) {
        if (failure != OpenFailure::None) return fail(failure, systemText);
        qCDebug(lcSerial) << "connected to" << url_.host << url_.port;
        settingsCall_ = std::make_shared<SettingsCall>();
        settingsCall_->ended = [receiver = receiver_] {
            Tell(receiver, [](NetworkOpen& open) { open.settingsAnswered(); });
        };
        device_->beginSettings(settings_, settingsCall_);
        QTimer::singleShot(ServerAnswerWaitMs + kAnswerMarginMs, this,
                           [this] { settingsAnswered(); });
    }

    // The settings are asked for here, so that a server that never answers them does not hold
    // the window's thread when the port is handed over.
    void settingsAnswered() {
        if (!device_) return;
        if (!settingsCall_->done.tryAcquire()) {
            return fail(OpenFailure::TimedOut,
                        QStringLiteral("no answer to the settings within %1 ms")
                            .arg(ServerAnswerWaitMs + kAnswerMarginMs));
        }
        if (settingsCall_->refusal == SettingsRefusal::ConnectionEnded) {
            return fail(OpenFailure::Other, QStringLiteral("the server ended the connection"));
        }
        // Settings refused are asked for again, and refused with their reason, by the port's user.
        if (settingsCall_->confirmed) device_->settingsTaken(settings_);
        finish(OpenResult(std::move(device_)));
    }

    void fail(OpenFailure failure, const QString& systemText) {
        qCDebug(lcSerial) << "cannot connect to" << url_.host << url_.port << systemText;
        device_.reset();
        finish(OpenResult::Failed(failure, systemText));
    }

    PortUrl url_;
    LineSettings settings_;
    std::unique_ptr<NetworkSerialDevice> device_;
    std::shared_ptr<SettingsCall> settingsCall_;
    std::shared_ptr<Receiver> receiver_ = std::make_shared<Receiver>();
};

}  // namespace

std::unique_ptr<PendingOpen> OpenNetworkSerialDeviceInBackground(const PortUrl& url,
                                                                 const LineSettings& settings) {
    return std::make_unique<NetworkOpen>(url, settings);
}

OpenResult OpenNetworkSerialDevice(const PortUrl& url) {
    auto device = std::make_unique<NetworkSerialDevice>(url);
    OpenResult status = device->open();
    if (status.failure != OpenFailure::None) {
        qCDebug(lcSerial) << "cannot connect to" << url.host << url.port << status.systemText;
        return status;
    }
    qCDebug(lcSerial) << "connected to" << url.host << url.port;
    return OpenResult(std::move(device));
}
