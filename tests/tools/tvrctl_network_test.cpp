// tvrctl through ser2net, the network serial server, in front of tvrsim radios: reads, writes,
// provisioning of radios on two servers and a local port at once, the loop-back test over
// network ports, a server that ends in the middle of a write, and servers that do not set what
// they are asked to. Each group of cases shares its radios and servers; every wait is bounded.

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <map>
#include <memory>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/paritykeepingrelay.h"
#include "tests/support/processes.h"
#include "tests/support/ptypair.h"
#include "tests/support/ser2net.h"

namespace {

constexpr int CommandMs = 30000;

ProcessRun Tvrctl(const QStringList& args) {
    return RunProcess(QStringLiteral(TVRCTL_PATH), args, CommandMs);
}

QJsonObject JsonOf(const QString& text) {
    return QJsonDocument::fromJson(text.toUtf8()).object();
}

// A second host for the same machine: the IPv6 loopback where there is one.
QHostAddress SecondLoopback() {
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHostIPv6, 0) ? QHostAddress(QHostAddress::LocalHostIPv6)
                                                        : QHostAddress(QHostAddress::LocalHost);
}

QStringList Lines(const QString& text) {
    return text.split(u'\n', Qt::SkipEmptyParts);
}

}  // namespace

// Reading, writing and provisioning through servers, beside a local port.
class NetworkExchangeTest : public QObject {
    Q_OBJECT

    RadioFolder folder_{QStringLiteral(TVRSIM_PATH)};
    Ser2Net first_{QStringLiteral(SER2NET_PATH)};
    Ser2Net second_{QStringLiteral(SER2NET_PATH)};
    QString local_;

  private slots:
    void initTestCase() {
        QVERIFY(folder_.begin());
        const QStringList onFirst{
            folder_.radio("written", {"--channel", "3", "--id", "1234"}),
            folder_.radio("a"),
            folder_.radio("b", {"--parity", "O", "--channel", "6"}),
        };
        const QString onSecond = folder_.radio("c", {"--baud", "19200", "--parity", "O"});
        local_ = folder_.radio("local", {"--channel", "2"});
        QVERIFY(first_.start(onFirst));
        QVERIFY(second_.start({onSecond}, SecondLoopback()));
    }
    void cleanupTestCase() { folder_.end(); }

    void readAndWriteWithVerify() {
        const QString url = first_.rfc2217Url(0);
        const ProcessRun write =
            Tvrctl({"write", "--port", url, "--channel", "9", "--serial", "19200-odd"});
        QVERIFY2(write.status == 0, qPrintable(write.err));
        QVERIFY2(write.out.startsWith("COM1 (" + url + "): verified in "), qPrintable(write.out));
        QVERIFY2(write.out.contains("channel NO.3 -> NO.9, serial_rate 9600 -> 19200, "
                                    "parity none -> odd"),
                 qPrintable(write.out));
        // A new connection, whose search finds the radio where the write left it.
        const ProcessRun read = Tvrctl({"read", "--json", "--port", url});
        QVERIFY2(read.status == 0, qPrintable(read.err));
        const QJsonObject values = JsonOf(read.out);
        QCOMPARE(values["device"].toString(), url);
        QCOMPARE(values["channel"].toInt(), 9);
        QCOMPARE(values["serial_rate"].toInt(), 19200);
        QCOMPARE(values["parity"].toString(), QStringLiteral("odd"));
        QCOMPARE(values["id"].toString(), QStringLiteral("1234"));
    }

    // Two radios on one server, one on another host's, one on a local port: one run.
    void applyToSeveralHostsAndALocalPort() {
        const QString profile = folder_.path("site.json");
        QVERIFY(WriteFile(profile, R"({"format": 1, "channel": 4, "id": "0042"})"));
        const QString report = folder_.path("report.json");
        const QStringList devices{first_.rfc2217Url(1), first_.rfc2217Url(2), second_.rfc2217Url(0),
                                  local_};
        QStringList args{"apply", profile, "--report", report, "--timeout", "10"};
        for (const QString& device : devices) args << "--port" << device;
        const ProcessRun run = Tvrctl(args);
        QVERIFY2(run.status == 0, qPrintable(run.err));
        QVERIFY2(run.out.endsWith("4 of 4 radios verified\n"), qPrintable(run.out));
        const QJsonArray radios = QJsonDocument::fromJson(Contents(report))["radios"].toArray();
        QCOMPARE(radios.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const QJsonObject radio = radios[i].toObject();
            QCOMPARE(radio["device"].toString(), devices[i]);
            QVERIFY(radio["verified"].toBool());
            QCOMPARE(radio["after"]["channel"].toInt(), 4);
            QCOMPARE(radio["after"]["id"].toString(), QStringLiteral("0042"));
        }
        // Each was found at its own setting, and kept it.
        QCOMPARE(radios[1]["after"]["parity"].toString(), QStringLiteral("odd"));
        QCOMPARE(radios[2]["after"]["serial_rate"].toInt(), 19200);
        QCOMPARE(radios[2]["after"]["parity"].toString(), QStringLiteral("odd"));
    }
};

// Servers that end, or do not set what they are asked to.
class NetworkFaultTest : public QObject {
    Q_OBJECT

    RadioFolder folder_{QStringLiteral(TVRSIM_PATH)};

  private slots:
    void init() { QVERIFY(folder_.begin()); }
    void cleanup() { folder_.end(); }

    // The radio behind the server that is killed answers slowly, so the write is still going
    // on when it ends; the local radio beside it is provisioned all the same.
    void serverKilledMidApplyLosesThatPortOnly() {
        const QString log = folder_.path("frames.log");
        const QString remote = folder_.radio("remote", {"--fault", "delay=60", "--log", log});
        const QString local = folder_.radio("local");
        Ser2Net server(QStringLiteral(SER2NET_PATH));
        QVERIFY(server.start({remote}));
        const QString profile = folder_.path("site.json");
        QVERIFY(WriteFile(profile, R"({"format": 1, "channel": 8, "air_rate": "100KBPS"})"));
        QProcess apply;
        apply.start(QStringLiteral(TVRCTL_PATH), {"apply", profile, "--port", server.rfc2217Url(),
                                                  "--port", local, "--timeout", "20"});
        // Any of the four write commands heard by the radio.
        const QRegularExpression writeHeard(QStringLiteral(" in  55 AA .. (03|09|07|0F)"));
        const QDeadlineTimer heard(CommandMs);
        while (!QString::fromLatin1(Contents(log)).contains(writeHeard) && !heard.hasExpired()) {
            QTest::qWait(10);
        }
        QVERIFY2(!heard.hasExpired(), "the radio heard no write");
        server.kill();
        QElapsedTimer sinceKill;
        sinceKill.start();
        const ProcessRun run = FinishProcess(apply, CommandMs);
        QVERIFY2(sinceKill.elapsed() < 5000, qPrintable(QString::number(sinceKill.elapsed())));
        QCOMPARE(run.status, 2);
        QCOMPARE(Lines(run.err),
                 QStringList{"COM1 (" + server.rfc2217Url() + "): the port went away"});
        QVERIFY2(run.out.contains("COM2 (" + local + "): verified in "), qPrintable(run.out));
        QVERIFY2(run.out.endsWith("1 of 2 radios verified\n"), qPrintable(run.out));
    }

    // The server confirms every setting but the parity, which it keeps at none: the radio is
    // read, but a write that gives it another parity cannot be followed and is not verified.
    void serverThatKeepsItsParity() {
        const QString radio = folder_.radio("radio", {"--channel", "5"});
        Ser2Net server(QStringLiteral(SER2NET_PATH));
        QVERIFY(server.start({radio}));
        ParityKeepingRelay relay(server.telnetPort());
        const ProcessRun read = Tvrctl({"read", "--json", "--port", relay.url()});
        QVERIFY2(read.status == 0, qPrintable(read.err));
        QCOMPARE(JsonOf(read.out)["channel"].toInt(), 5);
        const ProcessRun write =
            Tvrctl({"write", "--port", relay.url(), "--serial", "9600-odd", "--timeout", "5"});
        QCOMPARE(write.status, 4);
        QCOMPARE(Lines(write.err),
                 QStringList{"COM1 (" + relay.url() +
                             "): written, but the port could not follow the radio's new serial "
                             "settings to read it back"});
        QVERIFY(relay.parityRequests() > 0);
        // The radio did take it: it is found there on a port that can follow.
        const ProcessRun direct = Tvrctl({"read", "--json", "--port", server.rfc2217Url()});
        QCOMPARE(JsonOf(direct.out)["parity"].toString(), QStringLiteral("odd"));
    }

    // The adapter is not there on the server's machine: it takes the connection, then ends it
    // when it cannot open the device.
    void serverWhoseDeviceIsMissing() {
        Ser2Net server(QStringLiteral(SER2NET_PATH));
        QVERIFY(server.start({folder_.path("unplugged")}));
        const ProcessRun run = Tvrctl({"read", "--port", server.rfc2217Url()});
        QCOMPARE(run.status, 2);
        QCOMPARE(Lines(run.err),
                 QStringList{"COM1 (" + server.rfc2217Url() + "): " + server.rfc2217Url() +
                             ": the server ended the connection before it set "
                             "9600 bit/s, 8N1"});
    }

    // ser2net's plain telnet, which refuses the COM port option and so every setting.
    void serverWithoutTheComPortOption() {
        PtyPair device;
        QVERIFY(device.master >= 0);
        Ser2Net server(QStringLiteral(SER2NET_PATH));
        QVERIFY(server.start({device.slaveName}, QHostAddress::LocalHost, Ser2Net::Telnet::Plain));
        const ProcessRun run = Tvrctl({"read", "--port", server.rfc2217Url()});
        QCOMPARE(run.status, 2);
        QCOMPARE(Lines(run.err),
                 QStringList{"COM1 (" + server.rfc2217Url() + "): " + server.rfc2217Url() +
                             ": the server cannot set serial ports (RFC 2217); use "
                             "socket:// for a plain connection."});
    }
};

// The loop-back test between two radios on one air, each station's port a network port.
class NetworkLinkTest : public QObject {
    Q_OBJECT

    RadioFolder folder_{QStringLiteral(TVRSIM_PATH)};
    Ser2Net server_{QStringLiteral(SER2NET_PATH)};

  private slots:
    void initTestCase() {
        QVERIFY(folder_.begin());
        QVERIFY(folder_.pair("a", "b"));
        QVERIFY(folder_.pair("c", "d"));
        QVERIFY(server_.start(
            {folder_.path("a"), folder_.path("b"), folder_.path("c"), folder_.path("d")}));
    }
    void cleanupTestCase() { folder_.end(); }

    // Both protocols at once, each on a pair of its own: the plain connections stay at the
    // server's 9600 8N1, which is the test's setting.
    void framesComeBackThroughTheServer() {
        const std::map<QString, QStringList> runs{
            {"rfc2217", {"--port", server_.rfc2217Url(0), "--echo-port", server_.rfc2217Url(1)}},
            {"socket", {"--port", server_.socketUrl(2), "--echo-port", server_.socketUrl(3)}},
        };
        std::map<QString, std::unique_ptr<QProcess>> processes;
        for (const auto& [name, ports] : runs) {
            processes[name] = std::make_unique<QProcess>();
            processes[name]->start(QStringLiteral(TVRCTL_PATH),
                                   QStringList{"linktest", "--frames", "3", "--json"} + ports);
        }
        for (const auto& [name, process] : processes) {
            const ProcessRun run = FinishProcess(*process, CommandMs);
            QVERIFY2(run.status == 0, qPrintable(name + ": " + run.err));
            const QJsonObject row = JsonOf(run.out);
            QCOMPARE(row["sent"].toInt(), 3);
            QCOMPARE(row["matched"].toInt(), 3);
            QCOMPARE(row["no_reply"].toInt(-1), 0);
        }
    }

    // One server port under two host names: the server ends the second connection, and the run
    // says so rather than that the port refused the setting.
    void onePortUnderTwoHostNames() {
        PtyPair device;
        QVERIFY(device.master >= 0);
        Ser2Net server(QStringLiteral(SER2NET_PATH));
        QVERIFY(server.start({device.slaveName}));
        const QString recorder = server.rfc2217Url();
        const QString echo = QString(recorder).replace("127.0.0.1", "localhost");
        const ProcessRun run =
            Tvrctl({"linktest", "--port", recorder, "--echo-port", echo, "--frames", "1"});
        QCOMPARE(run.status, 2);
        QCOMPARE(run.err, "tvrctl: " + recorder +
                              ": the server ended the connection before it set 9600 bit/s, 8N1\n");
    }
};

// The group named first runs with the rest of the arguments; all of them without one.
int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    if (!QFile::exists(QStringLiteral(SER2NET_PATH))) {
        std::fputs("ser2net is not installed\n", stderr);
        return 1;
    }
    NetworkExchangeTest exchange;
    NetworkFaultTest faults;
    NetworkLinkTest link;
    const std::map<std::string, QObject*> groups{
        {"exchange", &exchange}, {"faults", &faults}, {"link", &link}};
    std::vector<char*> args(argv, argv + argc);
    if (argc > 1 && groups.count(argv[1])) {
        QObject* group = groups.at(argv[1]);
        args.erase(args.begin() + 1);
        return QTest::qExec(group, int(args.size()), args.data());
    }
    int status = 0;
    for (const auto& [name, group] : groups) status |= QTest::qExec(group, argc, argv);
    return status;
}
#include "tvrctl_network_test.moc"
