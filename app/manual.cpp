#include "app/manual.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QUrl ManualUrl(const QString& programFolder, const QString& docFolder) {
    const QDir docs(QDir(programFolder).filePath(docFolder));
    for (const char* name : {"README.html", "README.md"}) {
        const QFileInfo file(docs.filePath(QString::fromLatin1(name)));
        if (file.isFile()) return QUrl::fromLocalFile(file.canonicalFilePath());
    }
    return {};
}

QUrl InstalledManualUrl() {
    return ManualUrl(QCoreApplication::applicationDirPath(), QStringLiteral(TVR_DOC_FROM_BIN));
}
