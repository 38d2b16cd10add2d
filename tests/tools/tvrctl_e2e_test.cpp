// tvrctl as a user runs it, against several tvrsim radios at once: different speeds and
// parities, a silent one, one that ignores a write, one that vanishes, ports that are not
// there. Every process is waited for with a bound.

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/files.h"
#include "tests/support/processes.h"

namespace {

constexpr int CommandMs = 30000;

using Run = ProcessRun;

}  // namespace

class TvrctlE2eTest : public QObject {
    Q_OBJECT

    RadioFolder folder_;

    QString path(const QString& name) const { return folder_.path(name); }
    QString radio(const QString& name, const QStringList& args = {}) {
        return folder_.radio(name, args);
    }

    static Run tvrctl(const QStringList& args) {
        return RunProcess(QStringLiteral(TVRCTL_PATH), args, CommandMs);
    }

    // Runs tvrctl with its standard output and error on a terminal, as a user at a shell does.
    static Run tvrctlOnTerminal(const QStringList& args) {
        QList<QByteArray> words{QByteArrayLiteral(TVRCTL_PATH)};
        for (const QString& arg : args) words << arg.toUtf8();
        std::vector<char*> argv;
        for (QByteArray& word : words) argv.push_back(word.data());
        argv.push_back(nullptr);
        int master = -1;
        const pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
        if (child == 0) {
            execv(argv[0], argv.data());
            _exit(127);
        }
        Run run;
        if (child < 0) return run;
        QByteArray out;
        QElapsedTimer timer;
        timer.start();
        // The terminal reports its end (EIO) once tvrctl and everything it started are gone.
        for (;;) {
            pollfd ready{master, POLLIN, 0};
            const int left = int(CommandMs - timer.elapsed());
            if (left <= 0 || poll(&ready, 1, left) <= 0) break;
            char chunk[4096];
            const ssize_t got = read(master, chunk, sizeof chunk);
            if (got <= 0) break;
            out.append(chunk, got);
        }
        int status = 0;
        // The terminal may end a moment before the process does.
        bool ended = false;
        while (!(ended = waitpid(child, &status, WNOHANG) == child) &&
               timer.elapsed() < CommandMs) {
            QTest::qSleep(10);
        }
        if (!ended) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            run.err = "tvrctl did not finish";
        } else if (WIFEXITED(status)) {
            run.status = WEXITSTATUS(status);
        }
        close(master);
        run.out = QString::fromUtf8(out);
        return run;
    }

    // Checks each JSON text against a schema of docs/.
    static QString schemaErrors(const QString& schema, const QByteArrayList& documents) {
        return JsonSchemaErrors(QStringLiteral(SCHEMA_DIR "/") + schema, documents);
    }

    static QJsonObject jsonOf(const QString& text) {
        return QJsonDocument::fromJson(text.toUtf8()).object();
    }

    // The parameter set of `tvrctl read --json` for one radio.
    static QJsonObject readParameters(const QString& link) {
        QJsonObject values = jsonOf(tvrctl({"read", "--json", "--port", link}).out);
        for (const char* key : {"format", "port", "device", "model"}) values.remove(key);
        return values;
    }

  private slots:
    void init() { QVERIFY(folder_.begin()); }
    void cleanup() { folder_.end(); }

    void readsSeveralRadiosAtOnceAsJsonOfTheSchema() {
        const QString a = radio("a", {"--baud", "38400", "--channel", "7", "--air", "5", "--id",
                                      "4321", "--firmware", "2.3"});
        const QString b = radio("b", {"--baud", "19200", "--parity", "O", "--channel", "3"});
        const QString c = radio("c", {"--air", "8"});
        const Run run = tvrctl({"read", "--json", "--port", a, "--port", b, "--port", c});
        QCOMPARE(run.status, 0);
        const QStringList lines = run.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(jsonOf(lines[0]), (QJsonObject{{"format", 1},
                                                {"port", "COM1"},
                                                {"device", a},
                                                {"model", "TVR-M402.3"},
                                                {"channel", 7},
                                                {"air_rate", "19200"},
                                                {"serial_rate", 38400},
                                                {"parity", "none"},
                                                {"id", "4321"}}));
        QCOMPARE(jsonOf(lines[1])["serial_rate"].toInt(), 19200);
        QCOMPARE(jsonOf(lines[1])["parity"].toString(), QStringLiteral("odd"));
        QCOMPARE(jsonOf(lines[1])["channel"].toInt(), 3);
        QCOMPARE(jsonOf(lines[2])["air_rate"].toString(), QStringLiteral("100KBPS"));
        QCOMPARE(jsonOf(lines[2])["port"].toString(), QStringLiteral("COM3"));
        QByteArrayList documents;
        for (const QString& line : lines) documents << line.toUtf8();
        QCOMPARE(schemaErrors("radio.schema.json", documents), QString());
        // The check can fail: the window's parity letter is no value of the schema.
        documents[0].replace("\"none\"", "\"N\"");
        QVERIFY(!schemaErrors("radio.schema.json", documents).isEmpty());
    }

    // On a terminal each port has a line that is redrawn in place until its outcome is shown.
    void aTerminalSeesOneLiveLinePerPort() {
        const QString a = radio("a");
        const QString b = radio("b", {"--baud", "19200", "--parity", "E"});
        const QString profile = path("channel.json");
        QVERIFY(WriteFile(profile, R"({"format": 1, "channel": 4})"));
        const Run run = tvrctlOnTerminal({"apply", profile, "--port", a, "--port", b});
        QCOMPARE(run.err, QString());
        QCOMPARE(run.status, 0);
        const QString clear = QStringLiteral("\x1b[2K");
        const QString up = QStringLiteral("\x1b[2A");
        const QString lineA = clear + QStringLiteral("COM1 (%1): ").arg(a);
        const QString lineB = clear + QStringLiteral("COM2 (%1): ").arg(b);
        // Drawn first, then redrawn over the same two lines while the radios work.
        QVERIFY2(run.out.startsWith(lineA), qPrintable(run.out));
        QVERIFY(run.out.contains(QStringLiteral("\r\n") + lineB));
        QVERIFY(run.out.contains(up + lineA));
        // Its search for 19200-E tries five other settings first, seconds in all.
        QVERIFY(run.out.contains(lineB + QStringLiteral("connecting ")));
        QCOMPARE(run.out.count(lineA), run.out.count(up) + 1);
        QCOMPARE(run.out.count(lineB), run.out.count(up) + 1);
        // The last drawing says how each ended, and the outcomes follow it once each.
        const QStringList final =
            run.out.mid(run.out.lastIndexOf(up) + up.size()).split(QStringLiteral("\r\n"));
        QVERIFY2(final.size() >= 5, qPrintable(run.out));
        QCOMPARE(final[0], lineA + QStringLiteral("verified"));
        QCOMPARE(final[1], lineB + QStringLiteral("verified"));
        QVERIFY2(final[2].startsWith(QStringLiteral("COM1 (%1): verified in ").arg(a)),
                 qPrintable(final[2]));
        QVERIFY(final[3].startsWith(QStringLiteral("COM2 (%1): verified in ").arg(b)));
        QCOMPARE(final[4], QStringLiteral("2 of 2 radios verified"));
    }

    void writeKeepsWhatIsNotGivenAndVerifies() {
        const QString a = radio("a", {"--channel", "2", "--air", "6", "--id", "1111"});
        const Run write = tvrctl({"write", "--port", a, "--channel", "9", "--serial", "19200-odd"});
        QCOMPARE(write.status, 0);
        QVERIFY2(write.out.startsWith("COM1 (" + a + "): verified in "), qPrintable(write.out));
        QVERIFY2(write.out.contains("channel NO.2 -> NO.9, serial_rate 9600 -> 19200, "
                                    "parity none -> odd"),
                 qPrintable(write.out));
        QCOMPARE(readParameters(a), (QJsonObject{{"channel", 9},
                                                 {"air_rate", "38400"},
                                                 {"serial_rate", 19200},
                                                 {"parity", "odd"},
                                                 {"id", "1111"}}));
    }

    // A radio that acknowledges a write without applying it: the acknowledgement alone proves
    // nothing.
    void anIgnoredWriteIsAMismatch() {
        const QString a = radio("a", {"--fault", "ignore-write=channel"});
        const Run verified = tvrctl({"write", "--port", a, "--channel", "5", "--id", "0042"});
        QCOMPARE(verified.status, 5);
        QCOMPARE(verified.err,
                 "COM1 (" + a + "): Verify failed: channel written NO.5, radio reports NO.1\n");
        const Run unverified = tvrctl({"write", "--port", a, "--channel", "5", "--no-verify"});
        QCOMPARE(unverified.status, 0);
        QVERIFY2(unverified.out.contains("): written in "), qPrintable(unverified.out));
    }

    // A report that appeared while the radios were worked on, written by another run, say, is
    // kept.
    void aReportThatAppearedMeanwhileIsKept() {
        const QString log = path("frames.log");
        const QString silent = radio("silent", {"--fault", "silent", "--log", log});
        const QString profile = path("site.json");
        QVERIFY(WriteFile(profile, R"({"format": 1, "channel": 4})"));
        const QString report = path("report.csv");
        QProcess apply;
        apply.start(QStringLiteral(TVRCTL_PATH),
                    {"apply", profile, "-p", silent, "-t", "5", "--report", report});
        // Once the radio hears the search, the run is past its check of the report's name.
        QElapsedTimer waited;
        waited.start();
        while (!Contents(log).contains(" in ") && waited.elapsed() < CommandMs) QTest::qWait(20);
        QVERIFY(WriteFile(report, "theirs"));
        const Run run = FinishProcess(apply, CommandMs);
        QCOMPARE(run.status, 9);
        QVERIFY2(run.err.endsWith("tvrctl: " + report + " exists; give --force to overwrite it\n"),
                 qPrintable(run.err));
        QCOMPARE(Contents(report), QByteArray("theirs"));
    }

    void savedProfileOfTheSchemaAppliesToAnotherRadio() {
        const QString a = radio("a", {"--baud", "19200", "--parity", "O", "--channel", "11",
                                      "--air", "9", "--id", "2024"});
        const QString b = radio("b");
        const QString profile = path("site.json");
        const Run save = tvrctl({"save", "--port", a, profile});
        QCOMPARE(save.status, 0);
        QCOMPARE(save.out, "COM1 (" + a + "): saved to " + profile + "\n");
        QCOMPARE(schemaErrors("profile.schema.json", {Contents(profile)}), QString());
        // A second save does not replace the profile unless forced; it is refused before any
        // port is opened.
        const QByteArray saved = Contents(profile);
        QVERIFY(WriteFile(profile, "mine"));
        const Run again = tvrctl({"save", "-p", path("no radio"), profile});
        QCOMPARE(again.status, 9);
        QCOMPARE(again.err, "tvrctl: " + profile + " exists; give --force to overwrite it\n");
        QCOMPARE(Contents(profile), QByteArray("mine"));
        QCOMPARE(tvrctl({"save", "-p", a, "--force", profile}).status, 0);
        QCOMPARE(Contents(profile), saved);
        const Run apply = tvrctl({"apply", profile, "--port", b});
        QCOMPARE(apply.status, 0);
        QVERIFY2(apply.out.endsWith("1 of 1 radios verified\n"), qPrintable(apply.out));
        QCOMPARE(readParameters(b), (QJsonObject{{"channel", 11},
                                                 {"air_rate", "120KBPS"},
                                                 {"serial_rate", 19200},
                                                 {"parity", "odd"},
                                                 {"id", "2024"}}));
    }

    // Two good radios, one that ignores a write, a silent one and a port that is not there:
    // each ends on its own, and the report says how.
    void applyGoesOnPastThePortsThatFail() {
        const QString good = radio("good");
        const QString odd = radio("odd", {"--parity", "O", "--channel", "6"});
        const QString ignoring = radio("ignoring", {"--fault", "ignore-write=channel"});
        const QString silent = radio("silent", {"--fault", "silent"});
        const QString missing = path("missing");
        const QString profile = path("site.json");
        QVERIFY(WriteFile(profile,
                          R"({"format": 1, "channel": 4, "air_rate": "100KBPS", "id": "0042"})"));
        const QString report = path("report.json");
        const Run run = tvrctl({"apply", profile, "--port", good, "--port", odd, "--port", ignoring,
                                "--port", silent, "--port", missing, "--timeout", "3", "--report",
                                report, "--operator", "Li Wei"});
        QCOMPARE(run.status, 5);
        QVERIFY2(run.out.endsWith("2 of 5 radios verified\n"), qPrintable(run.out));
        const QJsonDocument document = QJsonDocument::fromJson(Contents(report));
        QCOMPARE(document["operator"].toString(), QStringLiteral("Li Wei"));
        QCOMPARE(schemaErrors("report.schema.json", {document.toJson(QJsonDocument::Compact)}),
                 QString());
        const QJsonArray radios = document["radios"].toArray();
        QCOMPARE(radios.size(), 5);
        const QStringList allSteps{"air_rate", "id", "channel", "serial"};
        for (int i : {0, 1}) {
            const QJsonObject r = radios[i].toObject();
            QVERIFY(r["verified"].toBool());
            QCOMPARE(r["after"]["channel"].toInt(), 4);
            QCOMPARE(r["after"]["air_rate"].toString(), QStringLiteral("100KBPS"));
            QCOMPARE(r["after"]["id"].toString(), QStringLiteral("0042"));
            QCOMPARE(r["model"].toString(), QStringLiteral("TVR-M401.2"));
            QCOMPARE(r["steps_written"].toVariant().toStringList(), allSteps);
        }
        QCOMPARE(radios[1]["before"]["channel"].toInt(), 6);
        QCOMPARE(radios[1]["after"]["parity"].toString(), QStringLiteral("odd"));
        const QJsonObject ignored = radios[2].toObject();
        QVERIFY(!ignored["verified"].toBool());
        QCOMPARE(ignored["exit_status"].toInt(), 5);
        QCOMPARE(ignored["after"]["channel"].toInt(), 1);
        QCOMPARE(ignored["steps_written"].toVariant().toStringList(), allSteps);
        QCOMPARE(ignored["error"].toString(),
                 QStringLiteral("Verify failed: channel written NO.4, radio reports NO.1"));
        QCOMPARE(radios[3]["exit_status"].toInt(), 3);
        QVERIFY(radios[3]["before"].isNull());
        QVERIFY(radios[3]["steps_written"].toArray().isEmpty());
        QVERIFY2(radios[3]["error"].toString().startsWith("timed out after 3 s while connecting"),
                 qPrintable(radios[3]["error"].toString()));
        QCOMPARE(radios[4]["exit_status"].toInt(), 2);
        QCOMPARE(radios[4]["error"].toString(), missing + ": no such device.");
    }

    // The report names the steps the radio acknowledged before its port went away; the radio's
    // own log must have acknowledged at least those.
    void aPortThatVanishesMidApplyIsReportedWithItsSteps() {
        const QString log = path("frames.log");
        const QString vanishing =
            radio("vanishing", {"--fault", "delay=60", "--fault", "vanish=700", "--log", log});
        const QString good = radio("good");
        const QString profile = path("site.json");
        QVERIFY(WriteFile(profile, R"({"format": 1, "channel": 8})"));
        const QString report = path("report.csv");
        const Run run =
            tvrctl({"apply", profile, "--port", vanishing, "--port", good, "--report", report});
        QCOMPARE(run.status, 2);
        const QList<QByteArray> rows = Contents(report).trimmed().split('\n');
        QCOMPARE(rows.size(), 3);
        const QList<QByteArray> header = rows[0].split(',');
        QVERIFY(rows[0].startsWith("port,device,model,before_air_rate,"));
        QVERIFY2(rows[1].contains(",no,2,") && rows[1].contains(",the port went away,"), rows[1]);
        QVERIFY2(rows[2].contains(",8,9600,none,yes,0,"), rows[2]);
        const QByteArray steps = rows[1].split(',')[header.indexOf("steps_written")];
        const QList<QByteArray> reported = steps.split(' ');
        const QByteArrayList writeCodes{"03", "09", "07", "0F"};
        int acknowledged = 0;
        QByteArray lastIn;
        for (const QByteArray& line : Contents(log).split('\n')) {
            if (line.contains(" in  ")) lastIn = line.mid(line.indexOf(" in  ") + 5);
            if (line.endsWith(" out 55 AA 02 20 00 22")) {
                QCOMPARE(lastIn.mid(9, 2), writeCodes.value(acknowledged));
                ++acknowledged;
            }
        }
        const int stepsReported = steps.isEmpty() ? 0 : reported.size();
        QVERIFY2(stepsReported <= acknowledged, rows[1]);
    }

    // The cases run at once, each on a radio of its own where it needs one: most of their
    // time is spent waiting for a time-out.
    void exitStatuses() {
        struct Case {
            const char* name;
            QStringList radioArgs;  // empty: no radio
            QStringList args;       // RADIO stands for the radio's link
            int status;
            QString error;
        };
        const QList<Case> cases{
            {"usage", {}, {"write", "--channel", "3"}, 1, "'write' needs --port DEVICE"},
            {"port not there",
             {},
             {"read", "--port", "/nonexistent/tty"},
             2,
             "/nonexistent/tty: no such device."},
            {"no such COM port", {}, {"read", "--port", "COM99"}, 2, "COM99: no such port"},
            {"silent radio",
             {"--fault", "silent"},
             {"read", "--port", "RADIO", "--timeout", "1"},
             3,
             "timed out after 1 s while connecting"},
            {"air rate none of the lists",
             {"--air", "11"},
             {"write", "--port", "RADIO", "--id", "7"},
             1,
             "bad value '7' for --id: four digits"},
            // Refused before the radio is searched for, which would take seconds.
            {"report there already",
             {"--fault", "silent"},
             {"apply", "DIR/exists.json", "-p", "RADIO", "-t", "2", "--report", "DIR/exists.json"},
             9,
             "exists.json exists; give --force to overwrite it"},
            // Fourteen replies of at least 100 ms each cannot fit into 1 s, though each comes
            // well within its step's 230 ms.
            {"slow radio",
             {"--fault", "delay=100"},
             {"write", "--port", "RADIO", "--channel", "2", "--timeout", "1"},
             4,
             "timed out after 1 s while "},
            // The port follows to 115200 odd, which the radio never took: the read-back's
            // search from there needs more than 3 s to come round to 9600 none.
            {"time-out in the search after a write",
             {"--fault", "ignore-write=serial"},
             {"write", "--port", "RADIO", "--serial", "115200-odd", "--timeout", "2"},
             4,
             "timed out after 2 s while connecting"},
            {"profile missing",
             {},
             {"apply", "DIR/none.json", "--all"},
             6,
             "none.json: No such file or directory"},
        };
        QVERIFY(WriteFile(path("exists.json"), R"({"format": 1, "channel": 4})"));
        std::vector<std::unique_ptr<QProcess>> runs;
        for (const Case& each : cases) {
            const QString link =
                each.radioArgs.isEmpty() ? QString() : radio(each.name, each.radioArgs);
            QStringList args = each.args;
            args.replaceInStrings("RADIO", link).replaceInStrings("DIR", folder_.folder());
            runs.push_back(std::make_unique<QProcess>());
            runs.back()->start(QStringLiteral(TVRCTL_PATH), args);
        }
        for (size_t i = 0; i < runs.size(); ++i) {
            const Run run = FinishProcess(*runs[i], CommandMs);
            const Case& each = cases[qsizetype(i)];
            QVERIFY2(run.status == each.status && run.err.contains(each.error),
                     qPrintable(QStringLiteral("%1: status %2, %3")
                                    .arg(each.name)
                                    .arg(run.status)
                                    .arg(run.err)));
        }
    }

    void badProfilesSayWhy_data() {
        QTest::addColumn<QByteArray>("profile");
        QTest::addColumn<QString>("error");
        QTest::newRow("invalid JSON")
            << QByteArray("{\"format\": 1,\n  \"channel\": }") << "invalid JSON at line 2, column";
        QTest::newRow("unknown key")
            << QByteArray(R"({"format": 1, "power": 5})") << "unknown key \"power\"";
        QTest::newRow("out of range") << QByteArray(R"({"format": 1, "channel": 13})")
                                      << "\"channel\" must be a whole number from 1 to 12";
    }
    void badProfilesSayWhy() {
        QFETCH(QByteArray, profile);
        QFETCH(QString, error);
        const QString file = path("bad.json");
        QVERIFY(WriteFile(file, profile));
        const Run run = tvrctl({"apply", file, "--port", path("unused")});
        QCOMPARE(run.status, 6);
        QVERIFY2(run.err.startsWith("tvrctl: " + file + ": " + error), qPrintable(run.err));
        QCOMPARE(run.out, QString());
    }

    void scanAndPortsNameEachPort() {
        const QString odd = radio("odd", {"--parity", "O", "--firmware", "3.1"});
        const QString silent = radio("silent", {"--fault", "silent"});
        // The devices given are COM1 and COM2 whatever COMn stands among them.
        const Run scan =
            tvrctl({"scan", "--port", "COM99", "--port", odd, "--port", silent, "--timeout", "2"});
        QCOMPARE(scan.status, 0);
        const QStringList lines = scan.out.trimmed().split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], "COM99: no such port");
        QCOMPARE(lines[1], "COM1 (" + odd + "): 9600-odd TVR-M403.1");
        QVERIFY2(lines[2].startsWith("COM2 (" + silent + "): timed out"), qPrintable(lines[2]));

        const Run json = tvrctl({"scan", "-j", "-p", odd, "-p", "COM99", "-t", "2"});
        QCOMPARE(json.status, 0);
        const QStringList objects = json.out.trimmed().split('\n');
        QCOMPARE(objects.size(), 2);
        QCOMPARE(jsonOf(objects[0]), (QJsonObject{{"port", "COM1"},
                                                  {"device", odd},
                                                  {"serial_rate", 9600},
                                                  {"parity", "odd"},
                                                  {"model", "TVR-M403.1"},
                                                  {"exit_status", 0},
                                                  {"error", ""}}));
        QCOMPARE(jsonOf(objects[1]), (QJsonObject{{"port", "COM99"},
                                                  {"device", QJsonValue::Null},
                                                  {"serial_rate", QJsonValue::Null},
                                                  {"parity", QJsonValue::Null},
                                                  {"model", QJsonValue::Null},
                                                  {"exit_status", 2},
                                                  {"error", "no such port"}}));

        const Run ports = tvrctl({"ports", "--port", odd, "--port", silent});
        QCOMPARE(ports.status, 0);
        const QStringList listed = ports.out.split('\n');
        QVERIFY2(listed[0].startsWith("COM1  " + odd), qPrintable(ports.out));
        QVERIFY2(listed[1].startsWith("COM2  " + silent), qPrintable(ports.out));
        const Run portsJson = tvrctl({"ports", "--json", "-p", odd});
        QCOMPARE(portsJson.status, 0);
        // A pseudo-terminal has neither USB ids nor a description.
        QCOMPARE(jsonOf(portsJson.out.section('\n', 0, 0)),
                 (QJsonObject{{"port", "COM1"},
                              {"device", odd},
                              {"usb", QJsonValue::Null},
                              {"description", QJsonValue::Null}}));
    }
};

QTEST_GUILESS_MAIN(TvrctlE2eTest)
#include "tvrctl_e2e_test.moc"
