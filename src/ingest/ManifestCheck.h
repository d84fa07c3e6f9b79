#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// Re-checks, years later, the files that the manifests under a folder list: each file is hashed
// again with the strongest hash its latest generation gives and reported as OK, changed (other
// bytes) or missing. A generation file whose C4 id no longer matches its chain counts as changed.
namespace ManifestCheck {

enum class Status { Ok, Changed, Missing };

struct FileResult
{
    QString path; // relative to the folder checked
    Status status = Status::Ok;
    QString format;   // the hash format compared ("xxh128", ...)
    QString expected; // as the manifest gives it
    QString actual;   // empty when the file is missing or unreadable
};

struct Result
{
    QList<FileResult> files; // sorted by path
    QStringList problems;    // manifests that could not be read, entries with no usable hash
    int manifests = 0;       // histories found
    int ok = 0, changed = 0, missing = 0;

    bool clean() const { return changed == 0 && missing == 0; }
};

// Called after each file with its result (progress on a terminal).
using Progress = std::function<void(const FileResult &)>;

Result check(const QString &folder, const Progress &progress = Progress());

const char *statusName(Status status);

// The hash of a whole file in one of the manifest formats ("xxh128", "xxh3", "xxh64", "md5",
// "sha1", "c4"), as the manifests write it; empty when it can't be read.
QString hashFileAs(const QString &path, const QString &format);

} // namespace ManifestCheck
