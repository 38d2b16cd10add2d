#pragma once

// A relay in front of a network serial server's telnet port that passes everything through but
// requests to set the parity: it answers each of those itself, with "none", and the server never
// hears of them. It stands for a server whose device cannot change its parity, which no
// configuration of ser2net in front of a pseudo-terminal gives.

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <initializer_list>
#include <memory>
#include <vector>

#include "serial/rfc2217.h"
#include "serial/telnet.h"

class ParityKeepingRelay : public QObject {
  public:
    // Relays to the telnet port `serverPort` of 127.0.0.1; in a thread of its own, since the
    // test's thread waits for the programs that connect.
    explicit ParityKeepingRelay(uint16_t serverPort) : serverPort_(serverPort) {
        moveToThread(&thread_);
        thread_.start();
        QMetaObject::invokeMethod(
            this, [this] { listen(); }, Qt::BlockingQueuedConnection);
    }
    ~ParityKeepingRelay() override {
        QMetaObject::invokeMethod(
            this,
            [this] {
                // The clients first: each takes its connection to the server with it.
                listener_.reset();
                upstreams_.clear();
            },
            Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait(2000);
    }

    QString url() const { return QStringLiteral("rfc2217://127.0.0.1:%1").arg(port_); }
    // Requests to set the parity that were answered here.
    int parityRequests() const { return parityRequests_.loadAcquire(); }

  private:
    void listen() {
        listener_ = std::make_unique<QTcpServer>();
        listener_->listen(QHostAddress::LocalHost, 0);
        port_ = listener_->serverPort();
        QObject::connect(listener_.get(), &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* client = listener_->nextPendingConnection()) relay(client);
        });
    }

    void relay(QTcpSocket* client) {
        upstreams_.push_back(std::make_unique<QTcpSocket>());
        QTcpSocket* upstream = upstreams_.back().get();
        auto decoder = std::make_shared<TelnetDecoder>();
        // Read from the client only once there is somewhere to pass it on to.
        const auto pass = [this, client, upstream, decoder] {
            if (upstream->state() != QAbstractSocket::ConnectedState) return;
            for (const TelnetEvent& event : decoder->feed(client->readAll())) {
                upstream->write(Encoded(event, *client));
            }
        };
        QObject::connect(client, &QTcpSocket::readyRead, this, pass);
        QObject::connect(upstream, &QTcpSocket::connected, this, pass);
        QObject::connect(upstream, &QTcpSocket::readyRead, this,
                         [client, upstream] { client->write(upstream->readAll()); });
        QObject::connect(client, &QTcpSocket::disconnected, upstream, &QTcpSocket::abort);
        QObject::connect(upstream, &QTcpSocket::disconnected, client, &QTcpSocket::abort);
        upstream->connectToHost(QHostAddress::LocalHost, serverPort_);
    }

    // The event as the server is to get it; a parity request is answered to the client instead.
    QByteArray Encoded(const TelnetEvent& event, QTcpSocket& client) {
        switch (event.kind) {
            case TelnetEvent::Kind::Data:
                return EscapeIac(event.bytes);
            case TelnetEvent::Kind::Negotiation:
                return Sequence({Telnet::IAC, event.verb, event.option});
            case TelnetEvent::Kind::Subnegotiation:
                break;
        }
        if (event.option == Telnet::OptionComPort && !event.bytes.isEmpty() &&
            ComPortCommand(event.bytes.front()) == ComPortCommand::SetParity) {
            QByteArray answer = ComPortRequest(ComPortCommand::SetParity,
                                               QByteArray(1, char(ParityCode(ParityMode::None))));
            // A server answers with the client's command code plus 100.
            answer[3] = char(uint8_t(answer[3]) + 100);
            client.write(answer);
            parityRequests_.fetchAndAddRelease(1);
            return {};
        }
        return Sequence({Telnet::IAC, Telnet::SB, event.option}) + EscapeIac(event.bytes) +
               Sequence({Telnet::IAC, Telnet::SE});
    }

    static QByteArray Sequence(std::initializer_list<uint8_t> bytes) {
        QByteArray sequence;
        for (uint8_t byte : bytes) sequence.append(char(byte));
        return sequence;
    }

    uint16_t serverPort_;
    QThread thread_;
    std::unique_ptr<QTcpServer> listener_;
    std::vector<std::unique_ptr<QTcpSocket>> upstreams_;
    uint16_t port_ = 0;
    QAtomicInt parityRequests_;
};
