// tvrctl where a run must not claim or change more than it should: values no list knows, a port
// named twice, output that cannot be written, and termination signals in the middle of a write.
// Every process is waited for with a bound.

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>

#include "tests/support/processes.h"

namespace {

const QByteArrayList WriteCodes{"03", "09", "07", "0F"};
const QStringList StepNames{"air_rate", "id", "channel", "serial"};
constexpr int CommandMs = 30000;

QByteArray FileContents(const QString& file) {
    QFile in(file);
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

QJsonObject JsonOf(const QByteArray& text) {
    return QJsonDocument::fromJson(text).object();
}

// The command codes a radio took in, in order, from its frame log (from byte `from` on).
QByteArrayList CommandsIn(const QString& log, qsizetype from = 0) {
    QByteArrayList codes;
    for (const QByteArray& line : FileContents(log).mid(from).split('\n')) {
        const qsizetype at = line.indexOf(" in  ");
        if (at >= 0) codes << line.mid(at + 5 + 9, 2);
    }
    return codes;
}

// The write steps a radio acknowledged, from its frame log.
QStringList StepsAcknowledged(const QString& log) {
    QStringList steps;
    QByteArray lastIn;
    for (const QByteArray& line : FileContents(log).split('\n')) {
        if (line.contains(" in  ")) lastIn = line.mid(line.indexOf(" in  ") + 5);
        if (line.endsWith(" out 55 AA 02 20 00 22")) {
            steps << StepNames.value(WriteCodes.indexOf(lastIn.mid(9, 2)));
        }
    }
    return steps;
}

}  // namespace

class TvrctlSafetyTest : public QObject {
    Q_OBJECT

    RadioFolder folder_;

    QString path(const QString& name) const { return folder_.path(name); }
    QString radio(const QString& name, const QStringList& args = {}) {
        return folder_.radio(name, args);
    }

    static ProcessRun tvrctl(const QStringList& args) {
        return RunProcess(QStringLiteral(TVRCTL_PATH), args, CommandMs);
    }
    QString profile(const QByteArray& contents) {
        const QString file = path("profile.json");
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly) || out.write(contents) != contents.size()) return {};
        return file;
    }

  private slots:
    void init() { QVERIFY(folder_.begin()); }
    void cleanup() { folder_.end(); }

    // A radio holding channel 200 and air-rate code 12: read as unknown with the radio's own
    // values beside, never written back as a default, left out of a saved profile, and
    // replaced only by values the user gives.
    void valuesNoListKnowsAreNeverReplaced() {
        const QString log = path("frames.log");
        const QString a = radio("a", {"--channel", "200", "--air", "12", "--log", log});
        const ProcessRun read = tvrctl({"read", "--json", "--port", a});
        QCOMPARE(read.status, 0);
        const QJsonObject json = JsonOf(read.out.toUtf8());
        QVERIFY(json["channel"].isNull());
        QVERIFY(json["air_rate"].isNull());
        QCOMPARE(json["id"].toString(), QStringLiteral("1234"));
        QCOMPARE(json["raw"].toObject(), (QJsonObject{{"channel", 200}, {"air_rate", 12}}));
        QCOMPARE(JsonSchemaErrors(SCHEMA_DIR "/radio.schema.json", {read.out.toUtf8()}), QString());

        const ProcessRun refused = tvrctl({"write", "--port", a, "--id", "4321"});
        QCOMPARE(refused.status, 4);
        QCOMPARE(refused.err, "COM1 (" + a +
                                  "): not written: the radio holds air rate code 12, which no list "
                                  "knows; give --air-rate\n");
        for (const QByteArray& code : WriteCodes) QVERIFY(!CommandsIn(log).contains(code));

        const QString saved = path("site.json");
        const ProcessRun save = tvrctl({"save", "--port", a, saved});
        QCOMPARE(save.status, 0);
        QVERIFY2(save.err.contains("tvrctl: the radio holds channel 200, which no list knows; the "
                                   "profile leaves it out\n"),
                 qPrintable(save.err));
        QCOMPARE(JsonOf(FileContents(saved)),
                 (QJsonObject{
                     {"format", 1}, {"id", "1234"}, {"serial_rate", 9600}, {"parity", "none"}}));

        const ProcessRun write =
            tvrctl({"write", "--port", a, "--air-rate", "9600", "--channel", "5", "--id", "4321"});
        QCOMPARE(write.status, 0);
        QVERIFY2(write.out.contains(
                     ", air_rate code 12 -> 9600, id 1234 -> 4321, channel 200 -> NO.5\n"),
                 qPrintable(write.out));
    }

    // Two engines on one port would take each other's replies: a port named twice, by any of
    // its names, is refused before anything is opened.
    void aPortNamedTwiceIsAUsageError() {
        const QString a = radio("a");
        const ProcessRun twice = tvrctl({"read", "--port", a, "--port", a});
        QCOMPARE(twice.status, 1);
        QVERIFY2(twice.err.startsWith("tvrctl: port '" + a + "' is given twice\n"),
                 qPrintable(twice.err));
        const QString device = QFileInfo(a).symLinkTarget();
        const ProcessRun linked = tvrctl({"scan", "--port", a, "--port", device});
        QCOMPARE(linked.status, 1);
        QVERIFY2(
            linked.err.startsWith("tvrctl: '" + a + "' and '" + device + "' are the same port"),
            qPrintable(linked.err));
        const ProcessRun byNumber = tvrctl({"read", "--port", a, "--port", "COM1"});
        QCOMPARE(byNumber.status, 1);
        // One server port, whichever protocol and spelling of its host.
        const ProcessRun served =
            tvrctl({"read", "--port", "rfc2217://Rack-1:4001", "--port", "socket://rack-1:4001"});
        QCOMPARE(served.status, 1);
        QVERIFY2(served.err.contains("are the same port"), qPrintable(served.err));
    }

    // A report or profile that cannot be written is found before any radio is touched.
    void outputThatCannotBeWrittenStopsTheRunFirst() {
        const QString log = path("frames.log");
        const QString a = radio("a", {"--log", log});
        const QString missingFolder = path("missing/report.csv");
        const ProcessRun apply = tvrctl({"apply", profile(R"({"format": 1, "channel": 3})"),
                                         "--port", a, "--report", missingFolder});
        QCOMPARE(apply.status, 7);
        QVERIFY2(apply.err.startsWith("tvrctl: " + missingFolder + ": "), qPrintable(apply.err));
        const ProcessRun save = tvrctl({"save", "--port", a, path("missing/site.json")});
        QCOMPARE(save.status, 7);
        const ProcessRun folder = tvrctl({"save", "--port", a, folder_.folder()});
        QCOMPARE(folder.status, 7);
        QCOMPARE(folder.err, "tvrctl: " + folder_.folder() + ": Is a directory\n");
        QCOMPARE(CommandsIn(log), QByteArrayList{});
    }

    // A signal in the middle of a write: the step on the wire is let finish, nothing new is
    // sent, the report has a row per port, every port and lock is released, and the status
    // says which signal ended the run.
    void aSignalEndsEveryPortInOrder_data() {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("radioCount");
        QTest::newRow("SIGINT, four radios") << SIGINT << 4;
        QTest::newRow("SIGTERM") << SIGTERM << 1;
        QTest::newRow("SIGHUP") << SIGHUP << 1;
    }
    void aSignalEndsEveryPortInOrder() {
        QFETCH(int, signal);
        QFETCH(int, radioCount);
        QStringList args{"apply", profile(R"({"format": 1, "air_rate": "19200", "id": "4321",
                                             "channel": 5})")};
        QStringList links;
        QStringList logs;
        for (int i = 0; i < radioCount; ++i) {
            logs << path(QStringLiteral("r%1.log").arg(i));
            links << radio(QStringLiteral("r%1").arg(i),
                           {"--fault", "delay=100", "--log", logs[i]});
            args << "--port" << links[i];
        }
        const QString report = path("report.json");
        QProcess process;
        process.start(QStringLiteral(TVRCTL_PATH), args << "--report" << report);
        // Each reply takes 100 ms: the first write frame has arrived, its acknowledgement not.
        QElapsedTimer waited;
        waited.start();
        while (!FileContents(logs[0]).contains(" in  55 AA 03 03") &&
               waited.elapsed() < CommandMs) {
            QTest::qSleep(5);
        }
        QList<qsizetype> loggedBefore;
        for (const QString& log : logs) loggedBefore << FileContents(log).size();
        QVERIFY(::kill(pid_t(process.processId()), signal) == 0);
        const ProcessRun run = FinishProcess(process, CommandMs);
        QCOMPARE(run.status, 128 + signal);
        const QJsonArray rows = JsonOf(FileContents(report))["radios"].toArray();
        QCOMPARE(rows.size(), radioCount);
        QStringList written;
        for (int i = 0; i < radioCount; ++i) {
            const QJsonObject row = rows[i].toObject();
            QCOMPARE(row["error"].toString(), QStringLiteral("interrupted"));
            QCOMPARE(row["exit_status"].toInt(), 128 + signal);
            QVERIFY2(run.err.contains(
                         QStringLiteral("COM%1 (%2): interrupted\n").arg(i + 1).arg(links[i])),
                     qPrintable(run.err));
            // Every step sent was waited for: the report names exactly what the radio took.
            const QStringList steps = row["steps_written"].toVariant().toStringList();
            QCOMPARE(steps, StepsAcknowledged(logs[i]));
            QCOMPARE(SerialLockFiles(links[i]), QStringList{});
            written << steps.join(u' ');
            // No write step began once the signal was in; one may have been on its way.
            const QByteArrayList after = CommandsIn(logs[i], loggedBefore[i]);
            const auto writesAfter =
                std::count_if(after.begin(), after.end(),
                              [](const QByteArray& c) { return WriteCodes.contains(c); });
            QVERIFY2(writesAfter <= 1, after.join(' '));
        }
        QVERIFY(written[0].startsWith("air_rate"));
        // The ports are free again, and each radio holds just what it acknowledged.
        QStringList readArgs{"read", "--json"};
        for (const QString& link : links) readArgs << "--port" << link;
        const ProcessRun read = tvrctl(readArgs);
        QCOMPARE(read.status, 0);
        const QStringList lines = read.out.trimmed().split(u'\n');
        QCOMPARE(lines.size(), radioCount);
        for (int i = 0; i < radioCount; ++i) {
            const QJsonObject now = JsonOf(lines[i].toUtf8());
            QCOMPARE(now["air_rate"].toString(),
                     written[i].contains("air_rate") ? "19200" : "9600");
            QCOMPARE(now["id"].toString(), written[i].contains("id") ? "4321" : "1234");
            QCOMPARE(now["channel"].toInt(), written[i].contains("channel") ? 5 : 1);
        }
    }
};

QTEST_GUILESS_MAIN(TvrctlSafetyTest)
#include "tvrctl_safety_test.moc"
