#include <sys/resource.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include "monitor/trafficlog.h"
#include "tests/support/bytes.h"
#include "tests/support/files.h"

namespace {

// One event as the log's documented text format gives it back.
struct Event {
    int64_t timeUs = 0;
    QString tag;
    QByteArray bytes;
    QString settings;
    QString port;
    bool operator==(const Event&) const = default;
};

char* toString(const Event& e) {
    return qstrdup(QStringLiteral("%1 %2 %3%4")
                       .arg(e.timeUs)
                       .arg(e.tag, QString(e.bytes.toHex(' ')), e.settings + ' ' + e.port)
                       .toUtf8());
}

// Reads a text log by its documentation alone: two "#" lines, then "<UTC time to the
// microsecond>Z <tag> <hex bytes, or settings and port>"; lines of one run of bytes are joined
// again.
QList<Event> ReadTextLog(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QList<QByteArray> lines = file.readAll().split('\n');
    const QRegularExpression line(
        R"(^(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)\.(\d{6})Z (TX|RX|PURGED|SEARCH|SETTINGS) (.+)$)");
    QList<Event> events;
    if (lines.size() < 2 || !lines[0].startsWith("# tvrsetup traffic log 1") ||
        !lines[1].startsWith("#"))
        return {};
    for (const QByteArray& text : lines.mid(2)) {
        if (text.isEmpty()) continue;
        const QRegularExpressionMatch m = line.match(QString::fromLatin1(text));
        if (!m.hasMatch()) return {};
        Event e;
        const QDateTime time = QDateTime::fromString(m.captured(1) + "Z", Qt::ISODate);
        e.timeUs = time.toMSecsSinceEpoch() * 1000 + m.captured(2).toLongLong();
        e.tag = m.captured(3);
        if (e.tag == "SEARCH" || e.tag == "SETTINGS") {
            e.settings = m.captured(4).section(' ', 0, 0);
            e.port = m.captured(4).section(' ', 1);
        } else {
            e.bytes = QByteArray::fromHex(m.captured(4).toLatin1());
            if (m.captured(4).split(' ').size() > TrafficLogBytesPerLine) return {};
        }
        if (!events.isEmpty() && events.last().timeUs == e.timeUs && events.last().tag == e.tag &&
            !e.bytes.isEmpty() && events.last().bytes.size() % TrafficLogBytesPerLine == 0) {
            events.last().bytes += e.bytes;
        } else {
            events << e;
        }
    }
    return events;
}

QByteArray Pattern(int n, int seed) {
    QByteArray bytes(n, '\0');
    for (int i = 0; i < n; ++i) bytes[i] = static_cast<char>(i * 31 + seed);
    return bytes;
}

// Files of this process cannot grow past `bytes` while it lives, as on a disk about to fill.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        // Refused writes end with an error instead of the signal's default, the process's end.
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved_;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }

  private:
    rlimit saved_{};
    void (*previousHandler_)(int) = nullptr;
};

// 2024-05-01T12:00:00Z in microseconds.
constexpr int64_t May1 = 1714564800LL * 1000000;

// Event i: eight bytes of pattern i received at May1 + i, logged and kept for the comparison.
void ReceiveNumbered(TrafficLog& log, QList<Event>& events, int i) {
    events << Event{May1 + i, "RX", Pattern(8, i), {}, {}};
    Pass(log, LinkTraffic::Received, events.last().bytes, events.last().timeUs);
}

}  // namespace

class TrafficLogTest : public QObject {
    Q_OBJECT
  private slots:
    void textIsReadBackAsWritten() {
        QTemporaryDir dir;
        TrafficLog log;
        QVERIFY(log.start({dir.filePath("t.log"), TrafficLogFormat::Text}));
        const QList<Event> events{
            {May1 + 7, "SEARCH", {}, "9600-N-1", "COM1 (/dev/ttyUSB0)"},
            {May1 + 123456, "TX", QByteArray::fromHex("55AA031000 0013"), {}, {}},
            {May1 + 999999, "RX", Pattern(70, 1), {}, {}},  // three lines
            {May1 + 1000000, "PURGED", Pattern(3, 2), {}, {}},
            {May1 + 86400LL * 1000000 * 400, "SETTINGS", {}, "115200-E-1", "/tmp/ttyRADIO"},
            {May1 + 86400LL * 1000000 * 400 + 1, "SETTINGS", {}, "CTS=1", "/tmp/ttyRADIO"},
            {May1 + 86400LL * 1000000 * 400 + 2, "SETTINGS", {}, "DTR=0", "/tmp/ttyRADIO"},
            {May1 - 1, "RX", Pattern(1, 3), {}, {}},  // a clock set back
        };
        for (const Event& e : events) {
            if (e.settings.contains('=')) {
                const QStringList line = e.settings.split('=');
                log.linkModemLine(line[0], line[1] == "1", e.port, e.timeUs);
            } else if (e.tag == "SEARCH" || e.tag == "SETTINGS") {
                log.linkSettings(e.settings, e.port, e.tag == "SEARCH", e.timeUs);
            } else {
                Pass(log,
                     e.tag == "TX"   ? LinkTraffic::Sent
                     : e.tag == "RX" ? LinkTraffic::Received
                                     : LinkTraffic::Purged,
                     e.bytes, e.timeUs);
            }
        }
        QCOMPARE(ReadTextLog(dir.filePath("t.log")), events);
        QVERIFY(Contents(dir.filePath("t.log"))
                    .contains("\n2024-05-01T12:00:00.123456Z TX 55 AA 03 10 00 00 13\n"));
        log.stop();
        QVERIFY(!log.running());
        Pass(log, LinkTraffic::Sent, "after", May1);
        QCOMPARE(ReadTextLog(dir.filePath("t.log")), events);
    }

    // Each file stays within its size; the oldest beyond the kept ones is gone, and what is
    // kept reads back as the newest events in order.
    void rotatesAtItsSize() {
        QTemporaryDir dir;
        const QString path = dir.filePath("r.log");
        TrafficLog log;
        QVERIFY(log.start({path, TrafficLogFormat::Text, 400, 2}));
        QList<Event> events;
        for (int i = 0; i < 40; ++i) {
            ReceiveNumbered(log, events, i);
        }
        QVERIFY(!QFile::exists(path + ".3"));
        QList<Event> kept;
        for (const QString& file : {path + ".2", path + ".1", path}) {
            QVERIFY2(QFile::exists(file), qPrintable(file));
            QVERIFY(QFileInfo(file).size() <= 400);
            const QList<Event> read = ReadTextLog(file);
            QVERIFY2(!read.isEmpty(), qPrintable(file));
            kept += read;
        }
        QVERIFY(kept.size() < events.size());
        QCOMPARE(kept, events.mid(events.size() - kept.size()));
    }

    void rawCaptureKeepsBothDirectionsApart() {
        QTemporaryDir dir;
        const QString path = dir.filePath("c.bin");
        TrafficLog log;
        QVERIFY(log.start({path, TrafficLogFormat::Raw, 1000, 1}));
        Pass(log, LinkTraffic::Sent, "probe", 1);
        Pass(log, LinkTraffic::Received, Pattern(600, 0), 2);
        log.linkSettings("9600-N-1", "COM1 (/dev/ttyUSB0)", true, 3);
        log.linkModemLine("DTR", true, "COM1 (/dev/ttyUSB0)", 3);
        Pass(log, LinkTraffic::Purged, Pattern(500, 1), 4);  // rotates
        Pass(log, LinkTraffic::Sent, QByteArray("\0\1", 2), 5);
        QCOMPARE(Contents(path + ".1"), Pattern(600, 0));
        QCOMPARE(Contents(path), Pattern(500, 1));
        QCOMPARE(Contents(RawSentPath(path)), QByteArray("probe\0\1", 7));
    }

    // A file that is there is kept unless replacing it was chosen; appended to, a text log
    // gets its header only when it was empty, and a raw capture's two files go on alike; a log
    // that cannot begin leaves no file of its own behind.
    void neverEmptiesAFileUnasked() {
        QTemporaryDir dir;
        const QString path = dir.filePath("t.log");
        TrafficLog log;
        QVERIFY(log.start({path, TrafficLogFormat::Text}));
        Pass(log, LinkTraffic::Sent, "first", May1);
        log.stop();
        const QByteArray first = Contents(path);

        QVERIFY(!log.start({path, TrafficLogFormat::Text}));
        QCOMPARE(log.error(), path + ": File exists");
        QCOMPARE(Contents(path), first);

        TrafficLogSettings append{path, TrafficLogFormat::Text};
        append.existing = ExistingLogFile::Append;
        QVERIFY(log.start(append));
        Pass(log, LinkTraffic::Received, "second", May1 + 1);
        log.stop();
        QCOMPARE(ReadTextLog(path),
                 QList<Event>({{May1, "TX", "first", {}, {}}, {May1 + 1, "RX", "second", {}, {}}}));

        const QString empty = dir.filePath("empty.log");
        QVERIFY(WriteFile(empty, {}));
        QVERIFY(log.start({empty, TrafficLogFormat::Text, 1000, 1, ExistingLogFile::Append}));
        Pass(log, LinkTraffic::Sent, "new", May1);
        QCOMPARE(ReadTextLog(empty), QList<Event>({{May1, "TX", "new", {}, {}}}));

        QVERIFY(log.start({path, TrafficLogFormat::Text, 1000, 1, ExistingLogFile::Replace}));
        Pass(log, LinkTraffic::Sent, "third", May1 + 2);
        QCOMPARE(ReadTextLog(path), QList<Event>({{May1 + 2, "TX", "third", {}, {}}}));

        const QString raw = dir.filePath("c.bin");
        QVERIFY(WriteFile(raw, "old rx "));
        QVERIFY(WriteFile(RawSentPath(raw), "old tx "));
        QCOMPARE(ExistingLogFiles(raw, TrafficLogFormat::Raw), QStringList({raw, raw + ".tx"}));
        QCOMPARE(ExistingLogFiles(raw, TrafficLogFormat::Text), QStringList({raw}));
        QVERIFY(log.start({raw, TrafficLogFormat::Raw, 1000, 1, ExistingLogFile::Append}));
        Pass(log, LinkTraffic::Received, "rx", 1);
        Pass(log, LinkTraffic::Sent, "tx", 2);
        QCOMPARE(Contents(raw), QByteArray("old rx rx"));
        QCOMPARE(Contents(RawSentPath(raw)), QByteArray("old tx tx"));
        log.stop();
        QVERIFY(QFile::remove(raw));
        QVERIFY(!log.start({raw, TrafficLogFormat::Raw}));
        QCOMPARE(log.error(), RawSentPath(raw) + ": File exists");
        QVERIFY(!QFile::exists(raw));
    }

    // Appended to, a file rotates at its size as one the log began: the old events, those
    // before the log as well, move on whole.
    void rotatesAnAppendedFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("r.log");
        TrafficLog log;
        QVERIFY(log.start({path, TrafficLogFormat::Text, 400, 2}));
        QList<Event> events;
        for (int i = 0; i < 4; ++i) {
            ReceiveNumbered(log, events, i);
        }
        log.stop();
        QVERIFY(log.start({path, TrafficLogFormat::Text, 400, 2, ExistingLogFile::Append}));
        for (int i = 4; i < 8; ++i) {
            ReceiveNumbered(log, events, i);
        }
        QVERIFY(QFileInfo(path).size() <= 400);
        QCOMPARE(ReadTextLog(path + ".1") + ReadTextLog(path), events);
        QVERIFY(ReadTextLog(path + ".1").size() > 4);
    }

    // A file that cannot be moved aside at its size stops the log; it is not emptied.
    void stopsRatherThanEmptyAFileItCannotRotate() {
        QTemporaryDir dir;
        const QString path = dir.filePath("r.log");
        QVERIFY(QDir(dir.path()).mkpath("r.log.1/in the way"));
        TrafficLog log;
        QString failure;
        log.setFailureHandler([&failure](const QString& why) { failure = why; });
        QVERIFY(log.start({path, TrafficLogFormat::Text, 200, 1}));
        QList<Event> events;
        for (int i = 0; i < 10 && log.running(); ++i) {
            ReceiveNumbered(log, events, i);
        }
        QVERIFY(!log.running());
        QVERIFY2(failure.startsWith(path + ": "), qPrintable(failure));
        QCOMPARE(ReadTextLog(path), events.first(events.size() - 1));
    }

    // A disk that fills up is named in the system's words, whether a write takes nothing or
    // only part of the bytes.
    void aFullDiskIsNamed() {
        TrafficLog log;
        QVERIFY(
            !log.start({"/dev/full", TrafficLogFormat::Text, 1000, 1, ExistingLogFile::Replace}));
        QCOMPARE(log.error(), QStringLiteral("/dev/full: No space left on device"));
        QString failure;
        log.setFailureHandler([&failure](const QString& why) { failure = why; });
        QVERIFY(log.start({"/dev/full", TrafficLogFormat::Raw, 1000, 1, ExistingLogFile::Replace}));
        Pass(log, LinkTraffic::Received, "rx", 1);
        QVERIFY(!log.running());
        QCOMPARE(failure, QStringLiteral("/dev/full: No space left on device"));

        QTemporaryDir dir;
        const QString path = dir.filePath("c.bin");
        failure.clear();
        QVERIFY(log.start({path, TrafficLogFormat::Raw}));
        Pass(log, LinkTraffic::Received, Pattern(600, 0), 1);
        {
            FileSizeLimit limit(1000);
            Pass(log, LinkTraffic::Received, Pattern(600, 1), 2);
        }
        QVERIFY(!log.running());
        QCOMPARE(failure, path + ": File too large");
        QCOMPARE(Contents(path), Pattern(600, 0) + Pattern(600, 1).left(400));
    }

    void refusesAFileItCannotWrite() {
        QTemporaryDir dir;
        TrafficLog log;
        QVERIFY(!log.start({dir.filePath("missing/x.log"), TrafficLogFormat::Text}));
        QVERIFY(!log.running());
        QVERIFY(log.error().contains("missing/x.log"));
    }
};

QTEST_GUILESS_MAIN(TrafficLogTest)
#include "test_trafficlog.moc"
