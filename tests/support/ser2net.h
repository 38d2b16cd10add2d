#pragma once

// ser2net, the network serial server, as a child process: each device it serves gets a telnet
// port with the COM port option and a plain TCP port, both on free ports of one loopback address.

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QStringList>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <memory>
#include <vector>

#include "tests/support/freeports.h"

class Ser2Net {
  public:
    static constexpr int StartMs = 5000;

    explicit Ser2Net(QString program) : program_(std::move(program)) {}
    ~Ser2Net() { stop(); }

    // What the telnet ports offer: the COM port option, or plain telnet, whose line settings
    // a client cannot change.
    enum class Telnet { ComPort, Plain };

    // Starts serving `devices` on `host` (an address of this machine: 127.0.0.1 or ::1) and
    // returns once every port listens; false (with the reason as a warning) when it does not in
    // time.
    bool start(const QStringList& devices, const QHostAddress& host = QHostAddress::LocalHost,
               Telnet telnet = Telnet::ComPort) {
        if (!dir_.isValid()) return false;
        host_ = host;
        const std::vector<uint16_t> ports = FreeLocalPorts(2 * devices.size(), host);
        if (ports.size() != size_t(2 * devices.size())) return false;
        const QByteArray address = host.toString().toLatin1();
        const QByteArray telnetAccepter =
            telnet == Telnet::ComPort ? "telnet(rfc2217),tcp," : "telnet,tcp,";
        QByteArray config;
        for (qsizetype i = 0; i < devices.size(); ++i) {
            const QByteArray device = QFile::encodeName(devices[i]);
            telnetPorts_.push_back(ports[2 * i]);
            rawPorts_.push_back(ports[2 * i + 1]);
            config += Connection("rfc" + QByteArray::number(i),
                                 telnetAccepter + address + ',' + QByteArray::number(ports[2 * i]),
                                 device);
            config +=
                Connection("raw" + QByteArray::number(i),
                           "tcp," + address + ',' + QByteArray::number(ports[2 * i + 1]), device);
        }
        QFile file(dir_.filePath("ser2net.yaml"));
        if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size()) return false;
        file.close();
        ports_ = ports;
        return run();
    }

    // Starts the server stopped or killed before again, on the same ports.
    bool restart() {
        stop();
        return !ports_.empty() && run();
    }

    QString rfc2217Url(int device = 0) const {
        return QStringLiteral("rfc2217://%1:%2").arg(urlHost()).arg(telnetPorts_.at(device));
    }
    QString socketUrl(int device = 0) const {
        return QStringLiteral("socket://%1:%2").arg(urlHost()).arg(rawPorts_.at(device));
    }
    uint16_t telnetPort(int device = 0) const { return telnetPorts_.at(device); }
    qint64 processId() const { return process_.processId(); }

    // Ends the server at once, its connections with it.
    void kill() {
        process_.kill();
        process_.waitForFinished(3000);
    }

    void stop() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.terminate();
        if (!process_.waitForFinished(3000)) kill();
    }

  private:
    bool run() {
        // In the foreground, logging to its output, without UUCP lock files that a killed server
        // would leave behind.
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(program_, {"-d", "-u", "-c", dir_.filePath("ser2net.yaml")});
        QDeadlineTimer deadline(StartMs);
        while (!deadline.hasExpired() && process_.state() != QProcess::NotRunning) {
            if (AllListening(host_, ports_)) return true;
            process_.waitForReadyRead(20);
        }
        qWarning("ser2net did not start: %s", process_.readAll().constData());
        return false;
    }

    static QByteArray Connection(const QByteArray& name, const QByteArray& accepter,
                                 const QByteArray& device) {
        return "connection: &" + name + "\n  accepter: " + accepter + "\n  connector: serialdev," +
               device + ",9600n81,local\n";
    }

    // A port another program listens on cannot be bound, and nothing connects to find out.
    static bool AllListening(const QHostAddress& host, const std::vector<uint16_t>& ports) {
        for (uint16_t port : ports) {
            QTcpServer probe;
            if (probe.listen(host, port)) return false;
        }
        return true;
    }

    QString urlHost() const {
        const QString address = host_.toString();
        return host_.protocol() == QAbstractSocket::IPv6Protocol ? '[' + address + ']' : address;
    }

    QString program_;
    QTemporaryDir dir_;
    QProcess process_;
    QHostAddress host_;
    std::vector<uint16_t> telnetPorts_;
    std::vector<uint16_t> rawPorts_;
    std::vector<uint16_t> ports_;
};
