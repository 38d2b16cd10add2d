// tvrctl linktest as a user runs it, over two tvrsim --pair radios on pseudo-terminals: a clean
// air passes, a lossy one fails, Ctrl+C ends the run with the row so far, and mistakes in the
// command line are usage errors. Every process is waited for with a bound.

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>
#include <csignal>

#include "tests/support/processes.h"

namespace {

constexpr int CommandMs = 60000;

}  // namespace

class TvrctlLinkTestTest : public QObject {
    Q_OBJECT

    RadioFolder folder_{QStringLiteral(TVRSIM_PATH)};

    // Two radios on one air, behind the links a and b; empty when they did not start.
    QStringList pair(const QStringList& air = {}) {
        const QString b = folder_.path(QStringLiteral("b"));
        const QString a = folder_.radio(QStringLiteral("a"), QStringList{"--pair", b} + air);
        const QDeadlineTimer started(5000);
        while (!QFileInfo(b).isSymLink() && !started.hasExpired()) QTest::qWait(20);
        if (!QFileInfo(a).isSymLink() || !QFileInfo(b).isSymLink()) return {};
        return {"--port", a, "--echo-port", b};
    }

    static ProcessRun tvrctl(const QStringList& args) {
        return RunProcess(QStringLiteral(TVRCTL_PATH), QStringList{"linktest"} + args, CommandMs);
    }

  private slots:
    void init() { QVERIFY(folder_.begin()); }
    void cleanup() { folder_.end(); }

    void cleanAirPasses() {
        const QStringList ports = pair();
        QVERIFY(!ports.isEmpty());
        const ProcessRun run = tvrctl(ports + QStringList{"--frames", "3", "--json"});
        QVERIFY2(run.status == 0, qPrintable(run.err));
        const QJsonObject row = QJsonDocument::fromJson(run.out.toUtf8()).object();
        QCOMPARE(row["sent"].toInt(), 3);
        QCOMPARE(row["matched"].toInt(), 3);
        for (const char* miss : {"same_length", "no_reply", "longer", "shorter"}) {
            QCOMPARE(row[miss].toInt(-1), 0);
        }
        QCOMPARE(row["success_rate"].toDouble(), 100.0);
        QCOMPARE(row["passed"].toBool(), true);
    }

    void lossyAirFails() {
        const QStringList ports = pair({"--loss", "0.3"});
        QVERIFY(!ports.isEmpty());
        const ProcessRun run = tvrctl(ports + QStringList{"--frames", "3"});
        QCOMPARE(run.status, 8);
        const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith("TX CNT 3  RX CNT 0  "), qPrintable(lines[0]));
        QVERIFY2(lines[0].endsWith("SUCESS 0.0000"), qPrintable(lines[0]));
        QCOMPARE(lines[1], QStringLiteral("FAIL: 0 of 3 frames came back whole, 95% needed"));
        // Nothing passes a mark of 0 but a run that evaluated frames.
        QCOMPARE(tvrctl(ports + QStringList{"--frames", "1", "--pass", "0"}).status, 0);
    }

    void interruptEndsWithTheRowSoFar() {
        const QStringList ports = pair();
        QVERIFY(!ports.isEmpty());
        QProcess process;
        process.start(QStringLiteral(TVRCTL_PATH), QStringList{"linktest"} + ports);
        QVERIFY(process.waitForStarted(5000));
        // Past the first frame's period, long before the twentieth.
        QTest::qWait(3000);
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        const ProcessRun run = FinishProcess(process, 10000);
        QCOMPARE(run.status, 130);
        QVERIFY2(run.out.startsWith("TX CNT "), qPrintable(run.out));
        QVERIFY2(run.err.contains("interrupted"), qPrintable(run.err));
    }

    void mistakesAreUsageErrors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("error");
        QTest::newRow("no echo port") << QStringList{"--port", "x"} << "one --echo-port DEVICE";
        QTest::newRow("two ports")
            << QStringList{"--port", "x", "--port", "y", "--echo-port", "z"} << "one --port";
        QTest::newRow("the same port")
            << QStringList{"--port", "x", "--echo-port", "x"} << "'x' is given twice";
        QTest::newRow("no frames")
            << QStringList{"--port", "x", "--echo-port", "y", "--frames", "0"}
            << "1 to 10000 frames";
        QTest::newRow("too many frames")
            << QStringList{"--port", "x", "--echo-port", "y", "--frames", "10001"}
            << "1 to 10000 frames";
        QTest::newRow("pass above 100")
            << QStringList{"--port", "x", "--echo-port", "y", "--pass", "100.5"}
            << "a percentage from 0 to 100";
        QTest::newRow("pass not a number")
            << QStringList{"--port", "x", "--echo-port", "y", "--pass", "nan"}
            << "a percentage from 0 to 100";
    }
    void mistakesAreUsageErrors() {
        QFETCH(QStringList, args);
        QFETCH(QString, error);
        const ProcessRun run = tvrctl(args);
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains(error), qPrintable(run.err));
    }

    void oneDeviceUnderTwoNamesIsRefused() {
        const QStringList ports = pair();
        QVERIFY(!ports.isEmpty());
        const ProcessRun run =
            tvrctl({"--port", ports[1], "--echo-port", QFileInfo(ports[1]).symLinkTarget()});
        QCOMPARE(run.status, 1);
        QVERIFY2(run.err.contains("are the same port"), qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(TvrctlLinkTestTest)
#include "tvrctl_linktest_test.moc"
