#pragma once

#include <QByteArray>
#include <QString>

// Whole-file rewrites of the system's own files (presets, lookups, track store, sidecars):
// written to a temporary file in the same folder, flushed, then renamed over the target, so a
// reader sees either the old or the new content, never a partial one. Not for image copies,
// which must never replace an existing file.
bool writeFileAtomically(const QString &path, const QByteArray &data, QString *error = nullptr);
