#pragma once

#include <QByteArray>
#include <QString>

// Whole-file rewrites of the system's own files (presets, lookups, track store, sidecars):
// written to a temporary file in the same folder, flushed, then renamed over the target, so a
// reader sees either the old or the new content, never a partial one. Not for image copies,
// which must never replace an existing file.
bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error = nullptr);

// A new empty file in `folder` whose name is `prefix` plus six unique characters, created
// exclusively by mkstemp (never through a link or a file someone else put there) and open for
// writing. `fd` is -1, with errno set, on failure.
struct TemporaryFile
{
    int fd = -1;
    QByteArray path;
};
TemporaryFile createTemporaryFile(const QByteArray &folder, const char *prefix);

// Puts a finished temporary file in the place of `target` with one rename, so the target is
// never missing nor half written, and syncs the folder. False with errno set on failure.
bool replaceWithTemporary(const QByteArray &temporary, const QByteArray &target);

// Puts a finished temporary file under `target` only when nothing exists there (renameat2 with
// RENAME_NOREPLACE, else link and unlink); an existing file is never replaced. False with errno
// set (EEXIST when the name is taken) on failure.
bool placeWithoutReplacing(const QByteArray &temporary, const QByteArray &target);

// Flushes a file or a folder (its entries) to disk; false with errno set on failure.
bool syncToDisk(const QByteArray &path);
