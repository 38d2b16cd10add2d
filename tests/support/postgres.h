#pragma once

// A PostgreSQL server of the test's own: initdb into a temporary folder, the server on a free
// port of 127.0.0.1 with its socket in that folder, trusting every local connection. Run as
// root (as CI does), the server runs as nobody, since PostgreSQL refuses root. Every wait is
// bounded; the server is stopped when the object goes, also after a failed check.

#include <pwd.h>
#include <signal.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUuid>

#include "tests/support/freeports.h"

class PostgresServer {
  public:
    static constexpr int InitMs = 60000;
    static constexpr int StartMs = 20000;
    static constexpr int StopMs = 10000;
    // The superuser every test connects as.
    static constexpr const char* User = "tvr";

    // `binDir` holds initdb and postgres.
    explicit PostgresServer(QString binDir) : binDir_(std::move(binDir)) {}
    ~PostgresServer() { stop(); }
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Makes the cluster and starts the server; false with error() saying why.
    bool initialize(const QStringList& settings = {}) {
        settings_ = settings;
        for (const char* program : {"initdb", "postgres"}) {
            if (!QFileInfo(program_(program)).isExecutable()) {
                return fail(program_(program) + " is not there: install postgresql");
            }
        }
        if (!dir_.isValid()) return fail("no temporary folder");
        QDir(dir_.path()).mkpath("socket");
        if (geteuid() == 0 && !handToServerUser()) return fail("cannot give the folder to nobody");
        const std::vector<uint16_t> ports = FreeLocalPorts(1);
        if (ports.empty()) return fail("no free port");
        port_ = ports[0];
        QProcess initdb;
        initdb.setProcessChannelMode(QProcess::MergedChannels);
        startAsServerUser(initdb, program_("initdb"),
                          {"-D", dataDir(), "-U", User, "--auth=trust", "-E", "UTF8", "--no-locale",
                           "--no-sync"});
        if (!initdb.waitForFinished(InitMs) || initdb.exitCode() != 0) {
            initdb.kill();
            initdb.waitForFinished(1000);
            return fail("initdb failed: " + QString::fromLocal8Bit(initdb.readAll()));
        }
        return start();
    }

    // Starts the server made by initialize(), on the same port as before.
    bool start() {
        if (running()) return true;
        log_.clear();
        server_.setProcessChannelMode(QProcess::MergedChannels);
        QStringList args{"-D", dataDir(),
                         "-p", QString::number(port_),
                         "-k", dir_.filePath("socket"),
                         "-c", "listen_addresses=127.0.0.1"};
        for (const QString& setting : settings_) args << "-c" << setting;
        startAsServerUser(server_, program_("postgres"), args);
        const QDeadlineTimer deadline(StartMs);
        while (!deadline.hasExpired() && server_.state() != QProcess::NotRunning) {
            server_.waitForReadyRead(50);
            log_ += server_.readAll();
            if (log_.contains("ready to accept connections")) return true;
        }
        stop();
        return fail("postgres did not start: " + QString::fromLocal8Bit(log_));
    }

    // Fast shutdown: connections are ended, the server gone when this returns.
    void stop() {
        if (!running()) return;
        const pid_t pid = pid_t(server_.processId());
        for (const int signal : {SIGINT, SIGQUIT, SIGKILL}) {
            ::kill(pid, signal);
            if (server_.waitForFinished(StopMs / 2)) break;
        }
        server_.waitForFinished(1000);
    }

    bool running() const { return server_.state() != QProcess::NotRunning; }
    uint16_t port() const { return port_; }
    QString error() const { return error_; }

    QString url(const QString& database) const {
        return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3").arg(User).arg(port_).arg(database);
    }

    // Runs `statement` in `database`; false with error() saying why.
    bool execute(const QString& database, const QString& statement) {
        const QString name = QUuid::createUuid().toString();
        bool done = false;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QPSQL", name);
            db.setHostName("127.0.0.1");
            db.setPort(port_);
            db.setUserName(User);
            db.setDatabaseName(database);
            db.setConnectOptions("connect_timeout=5");
            QSqlQuery query(db);
            done = db.open() && query.exec(statement);
            if (!done) {
                error_ = db.isOpen() ? query.lastError().text() : db.lastError().text();
            }
        }
        QSqlDatabase::removeDatabase(name);
        return done;
    }

    bool createDatabase(const QString& database) {
        return execute("postgres", QStringLiteral("CREATE DATABASE \"%1\"").arg(database));
    }

  private:
    QString program_(const char* name) const { return binDir_ + u'/' + QLatin1String(name); }
    QString dataDir() const { return dir_.filePath("data"); }

    bool fail(const QString& error) {
        error_ = error;
        return false;
    }

    bool handToServerUser() {
        const passwd* nobody = getpwnam("nobody");
        if (!nobody) return false;
        for (const QString& path : {dir_.path(), dir_.filePath("socket")}) {
            if (::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid) != 0) {
                return false;
            }
        }
        return true;
    }

    static void startAsServerUser(QProcess& process, const QString& program,
                                  const QStringList& args) {
        if (geteuid() != 0) {
            process.start(program, args);
            return;
        }
        // setpriv execs the program: the process is the server itself, which stop() signals.
        process.start("setpriv", QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                             "--", program} +
                                     args);
    }

    QString binDir_;
    QStringList settings_;
    QTemporaryDir dir_;
    uint16_t port_ = 0;
    QProcess server_;
    QByteArray log_;
    QString error_;
};
