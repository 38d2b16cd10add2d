#pragma once

#include <QString>
#include <QUrl>

// The installed user manual: the README rendered to HTML when the build had a converter, else
// the README itself, in the documentation folder that lies at docFolder from programFolder.
// Empty when neither is there (a program run from its build folder).
QUrl ManualUrl(const QString& programFolder, const QString& docFolder);

// The same for this program as installed.
QUrl InstalledManualUrl();
