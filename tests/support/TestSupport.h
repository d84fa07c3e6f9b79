#pragma once

#include "platform/Process.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The temporary folder that stands in for the user's home in this test process; HOME,
// XDG_DATA_HOME, XDG_CONFIG_HOME and XDG_CACHE_HOME all point inside it.
QString testHome();
// A fresh empty folder inside the test home.
QString makeTestFolder(const QString &name);
bool writeTestFile(const QString &path, const QByteArray &content);
QByteArray readTestFile(const QString &path);
// A folder of real third-party samples beside the project, or empty when it is absent: tests
// that use it skip themselves when it is missing.
QString sharedTestData();

// The built command-line tool with these arguments, both output streams captured.
ProcessRequest cliRequest(const QStringList &args);
ProcessResult runCli(const QStringList &args);
