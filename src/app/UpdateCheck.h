#pragma once

#include <QDateTime>
#include <QString>
#include <QUrl>

#include <optional>

// Asks the product's server whether a newer version exists: once a week on its own at launch,
// and whenever the user asks. The server is the "UpdateCheckHost" default (empty: no server, so
// the automatic check does nothing and an asked one reports the failure line). Main thread only;
// a check blocks for at most five seconds.
namespace UpdateCheck {

enum class Result { UpToDate, UpdateAvailable, Failed, Skipped };

// The date text written to "LastUpdateCheck": "2001-01-01 00:00:00 +0000".
QString describeDate(const QDateTime &date);
// Reads that text back; nullopt when it cannot be read.
std::optional<QDateTime> parseDate(const QString &text);
// The request address for a server base, product and version (empty without a server). The
// platform asked about is "linux".
QUrl requestUrl(const QString &host, const QString &product, const QString &version);
// The server's page for the program, where a new version is found (empty without a server).
QUrl downloadPage(const QString &host);

// The weekly check: runs when "LastUpdateCheck" is seven days old or more (writing the new
// date first). Answers Skipped when no check was due.
Result updateCheck();
// One check. Alerts "App is up-to-date." only when asked by the user, "An app update may be
// available." for any other answer; no answer logs the failure line to the log pane.
Result doCheckForUpdate(bool askedByUser);

// The milliseconds a request may take (5000); tests shorten it.
void setTimeoutMsForTests(int ms);

} // namespace UpdateCheck
