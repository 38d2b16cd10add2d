#pragma once

// The project's programs run as a user runs them, every one waited for with a bound, and the
// lock files a serial port leaves behind.

#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <vector>

struct ProcessRun {
    int status = -1;  // -1: it did not end in time, -2: it crashed
    QString out;
    QString err;
};

// Waits for a started process to end, killing it past `timeoutMs`.
inline ProcessRun FinishProcess(QProcess& process, int timeoutMs = 30000) {
    ProcessRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        run.err = QStringLiteral("%1 did not finish").arg(process.program());
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

inline ProcessRun RunProcess(const QString& program, const QStringList& args,
                             int timeoutMs = 30000) {
    QProcess process;
    process.start(program, args);
    return FinishProcess(process, timeoutMs);
}

// tvrsim processes, each waited for until its links are there; all are stopped when the set
// goes.
class SimulatedRadios {
  public:
    static constexpr int StartMs = 5000;

#ifdef TVRSIM_PATH
    SimulatedRadios() : SimulatedRadios(QStringLiteral(TVRSIM_PATH)) {}
#endif
    explicit SimulatedRadios(QString tvrsimPath) : tvrsimPath_(std::move(tvrsimPath)) {}
    ~SimulatedRadios() {
        stopAll();
    }

    // Starts tvrsim with `args` and returns it once every one of `links` is there; null (with
    // the process left to stopAll) when they are not there in time.
    QProcess* run(const QStringList& args, const QStringList& links) {
        radios_.push_back(std::make_unique<QProcess>());
        QProcess* process = radios_.back().get();
        process->start(tvrsimPath_, args);
        const auto ready = [&] {
            return std::all_of(links.begin(), links.end(),
                               [](const QString& link) { return QFileInfo(link).isSymLink(); });
        };
        QElapsedTimer timer;
        timer.start();
        while (!ready() && timer.elapsed() < StartMs && process->state() != QProcess::NotRunning) {
            process->waitForReadyRead(50);
        }
        if (ready()) return process;
        qWarning("tvrsim %s did not start", qPrintable(args.join(' ')));
        return nullptr;
    }

    // Starts tvrsim behind `link` and returns the link once it is there.
    QString start(const QString& link, const QStringList& args = {}) {
        run(QStringList{"--link", link} + args, {link});
        return link;
    }

    void stopAll() {
        for (auto& process : radios_) {
            if (process->state() == QProcess::NotRunning) continue;
            process->terminate();
            if (!process->waitForFinished(3000)) process->kill();
            process->waitForFinished(1000);
        }
        radios_.clear();
    }

  private:
    QString tvrsimPath_;
    std::vector<std::unique_ptr<QProcess>> radios_;
};

// A folder of its own for each test function, with tvrsim radios behind links in it.
class RadioFolder {
  public:
#ifdef TVRSIM_PATH
    RadioFolder() = default;
#endif
    explicit RadioFolder(QString tvrsimPath) : radios_(std::move(tvrsimPath)) {}

    bool begin() {
        dir_ = std::make_unique<QTemporaryDir>();
        return dir_->isValid();
    }
    void end() {
        radios_.stopAll();
        dir_.reset();
    }

    QString folder() const {
        return dir_->path();
    }
    QString path(const QString& name) const {
        return dir_->filePath(name);
    }
    // Starts tvrsim behind the link `name` and returns the link's path.
    QString radio(const QString& name, const QStringList& args = {}) {
        return radios_.start(path(name), args);
    }
    // Starts tvrsim with two radios linked over the air, behind the links `a` and `b`.
    QProcess* pair(const QString& a, const QString& b, const QStringList& args = {}) {
        return radios_.run(QStringList{"--link", path(a), "--pair", path(b)} + args,
                           {path(a), path(b)});
    }
    SimulatedRadios& radios() {
        return radios_;
    }

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    SimulatedRadios radios_;
};

// Checks each JSON text against a JSON Schema file with python3-jsonschema; returns the
// validator's complaint, empty when every one is valid.
inline QString JsonSchemaErrors(const QString& schemaFile, const QByteArrayList& documents) {
    QProcess python;
    python.start("python3", {"-c",
                             "import json, sys, jsonschema\n"
                             "schema = json.load(open(sys.argv[1]))\n"
                             "for line in sys.stdin:\n"
                             "    jsonschema.validate(json.loads(line), schema)\n",
                             schemaFile});
    for (const QByteArray& document : documents) {
        python.write(QJsonDocument::fromJson(document).toJson(QJsonDocument::Compact) + "\n");
    }
    python.closeWriteChannel();
    if (!python.waitForFinished(30000)) return "python3 did not finish";
    if (python.exitCode() == 0) return {};
    return QString::fromUtf8(python.readAllStandardError()).trimmed().split('\n').last();
}

// The lock files Qt's serial port keeps for a device, in any of the folders it may choose.
inline QStringList SerialLockFiles(const QString& device) {
    QStringList names{device};
    if (device.startsWith(QStringLiteral("/dev/"))) names << device.mid(5);
    QStringList found;
    for (const char* folder :
         {"/var/lock", "/run/lock", "/etc/locks", "/var/spool/locks", "/var/spool/uucp", "/tmp"}) {
        for (QString name : names) {
            const QString path =
                QString::fromLatin1(folder) + QStringLiteral("/LCK..") + name.replace(u'/', u'_');
            if (QFileInfo::exists(path)) found << path;
        }
    }
    return found;
}
