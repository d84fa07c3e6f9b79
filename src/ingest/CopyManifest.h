#pragma once

#include "platform/FileHash.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// Manifests of what a run placed, in the ASC MHL format (version 2.0): each destination root
// gets a folder "ascmhl" holding one generation file per run ("0001_<root>_<UTC time>Z.mhl")
// and the chain file "ascmhl_chain.xml", which lists every generation with its C4 id so a
// changed manifest shows too. A later check re-hashes what the generations list.
namespace AscMhl {

inline constexpr char kFolder[] = "ascmhl";
inline constexpr char kChainFile[] = "ascmhl_chain.xml";

// One file of a generation; `path` is relative to the history's root, with "/".
struct Entry
{
    QString path;
    qint64 size = -1;
    QDateTime modified; // invalid when the generation does not say
    // Hash format name as the generation writes it ("xxh128", "xxh64", "md5", ...) to its text.
    QHash<QString, QString> hashes;
    QString action; // "original", "verified" or "failed"
};

struct Generation
{
    int sequence = 0;
    QString fileName; // inside the "ascmhl" folder
    QList<Entry> entries;
};

struct ChainLink
{
    int sequence = 0;
    QString fileName;
    QString c4;
};

// The C4 id (SMPTE ST 2114) of some bytes: "c4" and the base-58 SHA-512, 90 characters.
QString c4Id(const QByteArray &bytes);

// The text of one generation listing `entries` (each with its xxh128), made at `when`.
QByteArray generationXml(const QList<Entry> &entries, const QDateTime &when);
QByteArray chainXml(const QList<ChainLink> &links);

// Reading answers nullopt with `error` set when the text is not such a document.
std::optional<Generation> parseGeneration(const QByteArray &xml, QString *error = nullptr);
std::optional<QList<ChainLink>> parseChain(const QByteArray &xml, QString *error = nullptr);

// Adds a generation listing `entries` to the history of `root` (creating it): the generation is
// written under a temporary name, synced and placed without replacing anything, then the chain
// is replaced atomically. False with `error` set on failure; nothing half-written remains.
bool addGeneration(const QString &root, const QList<Entry> &entries, const QDateTime &when,
                   QString *error = nullptr);

// The history of `root`: its chain and every generation it can read, in sequence order.
// Problems (unreadable or malformed files) are described in `problems`.
struct History
{
    QList<ChainLink> chain;
    QList<Generation> generations;
    QStringList problems;
};
History readHistory(const QString &root);

// Every root under `folder` (itself included) that has an "ascmhl" folder, sorted.
QStringList findRoots(const QString &folder);

} // namespace AscMhl

// What one run placed in each destination root, written as one generation per root at the end
// of the run. A file changed after it was recorded (metadata merged into it, say) is hashed
// again when the manifests are written, so they list the final bytes.
class ManifestBook
{
public:
    // A file's hash with the file's identity when it was taken: a later change to the file
    // (metadata merged into it) shows, and it is then hashed again.
    struct Stamp
    {
        Hash128 hash;
        qint64 size = -1, mtimeNs = 0, ctimeNs = 0, inode = 0;
        bool valid = false;
    };
    // Call right after the file was written with these bytes.
    static Stamp stamp(const QString &path, const Hash128 &hash);

    // A copy whose content hash is known.
    void record(const QString &root, const QString &path, const Stamp &stamp);
    // A file to be hashed when the manifests are written (downloads, sidecars, conversions).
    void recordUnhashed(const QString &root, const QString &path);
    // True when a generation already under `root` or this run's records list the file.
    bool isListed(const QString &root, const QString &path);
    // Roots with records, in the order they were first recorded in.
    const QStringList &roots() const { return m_roots; }
    int recordCount(const QString &root) const { return m_records.value(root).size(); }

    // Writes a generation per root with records and forgets them; answers the failures.
    QStringList write(const QDateTime &when);
    void clear();

private:
    struct Record
    {
        QString path;
        Stamp stamp;
    };
    QSet<QString> &listed(const QString &root);

    QStringList m_roots;
    QHash<QString, QList<Record>> m_records;
    QHash<QString, QSet<QString>> m_listed;
};
