#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// Files a camera writes beside a movie (or an old Canon CRW raw) for it: NAME.THM (Canon: a
// small JPEG with the clip's Exif) and NAMEM01.XML (Sony: the clip's description). They belong
// to their main file: the chooser offers them with it rather than as images of their own, and
// the ingestion copies them beside its copy, renamed with it.
namespace Companions {

// For the files of a listing (paths relative to one root, "/"-separated): each companion and
// the main file it belongs to, in the same folder, by name alone (any letter case).
QHash<QString, QString> find(const QStringList &relatives);

// The name a companion takes beside its main file's copy named `mainTargetName`: the copy's
// base name with the companion's own ending (".THM", "M01.XML") as it was written.
QString targetName(const QString &companionPath, const QString &mainPath,
                   const QString &mainTargetName);

} // namespace Companions
