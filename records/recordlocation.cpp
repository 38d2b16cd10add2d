#include "records/recordlocation.h"

#include <QDir>
#include <QStandardPaths>
#include <QUrl>

namespace {

// The window's data folder, also for tvrctl, which has an application name of its own.
QString DataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/tvrsetup");
}

LocationParse Refused(const QString& error) {
    return {std::nullopt, error};
}

LocationParse PostgresLocation(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid())
        return Refused(QStringLiteral("not a valid URL: %1").arg(url.errorString()));
    RecordsLocation location;
    location.kind = RecordsLocation::Kind::PostgreSQL;
    location.user = url.userName(QUrl::FullyDecoded);
    location.password = url.password(QUrl::FullyDecoded);
    location.host = url.host(QUrl::FullyDecoded);
    if (location.user.isEmpty()) return Refused(QStringLiteral("the URL names no user"));
    if (location.host.isEmpty()) return Refused(QStringLiteral("the URL names no host"));
    if (url.port() == 0) return Refused(QStringLiteral("port 0 is no port"));
    if (url.port() > 0) location.port = url.port();
    const QString path = url.path(QUrl::FullyDecoded);
    location.database = path.mid(1);
    if (!path.startsWith(u'/') || location.database.isEmpty() || location.database.contains(u'/')) {
        return Refused(QStringLiteral("the URL names no database: it ends in /DATABASE"));
    }
    if (url.hasQuery() || url.hasFragment()) {
        return Refused(QStringLiteral("the URL has a part after the database"));
    }
    if (location.password.isEmpty()) location.password = qEnvironmentVariable("PGPASSWORD");
    return {location, {}};
}

}  // namespace

QString RecordsLocation::shown() const {
    if (kind == Kind::SQLite) return path;
    const QString hostPart = host.contains(u':') ? u'[' + host + u']' : host;
    return QStringLiteral("postgresql://%1@%2:%3/%4").arg(user, hostPart).arg(port).arg(database);
}

LocationParse ParseRecordsLocation(const QString& text) {
    const qsizetype schemeEnd = text.indexOf(QStringLiteral("://"));
    if (schemeEnd < 0) {
        RecordsLocation file;
        file.path = text.isEmpty() ? DefaultRecordsPath() : text;
        return {file, {}};
    }
    const QString scheme = text.left(schemeEnd).toLower();
    if (scheme != QStringLiteral("postgresql") && scheme != QStringLiteral("postgres")) {
        return Refused(QStringLiteral("unknown kind of database '%1': give a file or "
                                      "postgresql://USER@HOST[:PORT]/DATABASE")
                           .arg(text.left(schemeEnd)));
    }
    return PostgresLocation(text);
}

QString DefaultRecordsPath() {
    return QDir(DataFolder()).filePath(QStringLiteral("records.sqlite"));
}

QString DefaultOutboxPath() {
    return QDir(DataFolder()).filePath(QStringLiteral("records-outbox.sqlite"));
}
