#pragma once

#include <QString>

namespace AppPaths {

// The per-user application-support folder: $XDG_DATA_HOME/Brindlewick (not created here).
QString supportFolder();
// Makes sure a folder and its parents exist; false when it cannot be made.
bool ensureFolder(const QString &path);
// The application's own folder, where bundled programs are looked for first.
QString applicationFolder();

} // namespace AppPaths
