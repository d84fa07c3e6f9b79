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

} // namespace HelpLinks
