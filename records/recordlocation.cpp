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

LocationParse Refused(LocationError error, const QString& detail = {}) {
    return {std::nullopt, error, detail};
}

LocationParse PostgresLocation(const QString& text) {
    const QUrl url(text, QUrl::StrictMode);
    if (!url.isValid()) return Refused(LocationError::NotAUrl, url.errorString());
    RecordsLocation location;
    location.kind = RecordsLocation::Kind::PostgreSQL;
    location.user = url.userName(QUrl::FullyDecoded);
    location.password = url.password(QUrl::FullyDecoded);
    location.host = url.host(QUrl::FullyDecoded);
    if (location.user.isEmpty()) return Refused(LocationError::NoUser);
    if (location.host.isEmpty()) return Refused(LocationError::NoHost);
    if (url.port() == 0) return Refused(LocationError::BadPort);
    if (url.port() > 0) location.port = url.port();
    const QString path = url.path(QUrl::FullyDecoded);
    location.database = path.mid(1);
    if (!path.startsWith(u'/') || location.database.isEmpty() || location.database.contains(u'/')) {
        return Refused(LocationError::NoDatabase);
    }
    if (url.hasQuery() || url.hasFragment()) {
        return Refused(LocationError::ExtraParts);
    }
    if (location.password.isEmpty()) location.password = qEnvironmentVariable("PGPASSWORD");
    return {location, LocationError::None, {}};
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
        return {file, LocationError::None, {}};
    }
    const QString scheme = text.left(schemeEnd).toLower();
    if (scheme != QStringLiteral("postgresql") && scheme != QStringLiteral("postgres")) {
        return Refused(LocationError::UnknownKind, text.left(schemeEnd));
    }
    return PostgresLocation(text);
}

QString DefaultRecordsPath() {
    return QDir(DataFolder()).filePath(QStringLiteral("records.sqlite"));
}

QString DefaultOutboxPath() {
    return QDir(DataFolder()).filePath(QStringLiteral("records-outbox.sqlite"));
}
