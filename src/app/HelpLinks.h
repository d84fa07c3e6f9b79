#pragma once

#include <QUrl>

// Which addresses the help window opens itself: "about:blank" and the pages under the help
// prefix (the help pages shipped in the resources); everything else goes to the user's browser.
namespace HelpLinks {

// The first page the help window shows.
QUrl indexPage();
// The start page of the main window's web pane.
QUrl startPage();
bool opensInPlace(const QUrl &url);

// Copies the help pages (every file of `from`, ":/help" in the program) into `folder`, so the
// user's browser can show them when the help window cannot. Answers the index page there, or
// an empty address when a page cannot be written.
QUrl exportPages(const QString &folder, const QString &from = QStringLiteral(":/help"));

} // namespace HelpLinks
