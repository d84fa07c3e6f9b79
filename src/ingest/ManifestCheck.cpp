#include "ingest/ManifestCheck.h"

#include "ingest/CopyManifest.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <xxhash.h>

namespace ManifestCheck {

namespace {

// Strongest first: the first format an entry carries is the one checked.
const QStringList kPreference = {QStringLiteral("xxh128"), QStringLiteral("sha1"),
                                 QStringLiteral("xxh3"),   QStringLiteral("xxh64"),
                                 QStringLiteral("md5"),    QStringLiteral("c4")};

QString hex64(XXH64_hash_t hash)
{
    XXH64_canonical_t canonical;
    XXH64_canonicalFromHash(&canonical, hash);
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char *>(canonical.digest), sizeof canonical.digest)
            .toHex());
}

bool sameHash(const QString &format, const QString &a, const QString &b)
{
    // Hex digits may come in either case; a C4 id is case-sensitive.
    return a.compare(b, format == QLatin1String("c4") ? Qt::CaseSensitive : Qt::CaseInsensitive) ==
           0;
}

} // namespace

const char *statusName(Status status)
{
    switch (status) {
    case Status::Ok:
        return "OK";
    case Status::Changed:
        return "changed";
    case Status::Missing:
        return "missing";
    }
    return "";
}

QString hashFileAs(const QString &path, const QString &format)
{
    if (format == QLatin1String("xxh128")) {
        const auto hash = FileHash::ofFile(path);
        return hash ? hash->toHex() : QString();
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    static constexpr qint64 kPiece = 1 << 20;
    if (format == QLatin1String("xxh64") || format == QLatin1String("xxh3")) {
        const bool xxh3 = format == QLatin1String("xxh3");
        XXH64_state_t *state64 = xxh3 ? nullptr : XXH64_createState();
        XXH3_state_t *state3 = xxh3 ? XXH3_createState() : nullptr;
        if (xxh3)
            XXH3_64bits_reset(state3);
        else
            XXH64_reset(state64, 0);
        bool ok = true;
        while (!file.atEnd()) {
            const QByteArray piece = file.read(kPiece);
            if (piece.isEmpty() && file.error() != QFileDevice::NoError) {
                ok = false;
                break;
            }
            if (xxh3)
                XXH3_64bits_update(state3, piece.constData(), static_cast<size_t>(piece.size()));
            else
                XXH64_update(state64, piece.constData(), static_cast<size_t>(piece.size()));
        }
        const XXH64_hash_t hash = xxh3 ? XXH3_64bits_digest(state3) : XXH64_digest(state64);
        if (state3)
            XXH3_freeState(state3);
        if (state64)
            XXH64_freeState(state64);
        return ok ? hex64(hash) : QString();
    }
    if (format == QLatin1String("c4"))
        return AscMhl::c4Id(file.readAll());
    const QCryptographicHash::Algorithm algorithm =
        format == QLatin1String("md5") ? QCryptographicHash::Md5 : QCryptographicHash::Sha1;
    QCryptographicHash hash(algorithm);
    if (!hash.addData(&file))
        return QString();
    return QString::fromLatin1(hash.result().toHex());
}

Result check(const QString &folder, const Progress &progress)
{
    Result result;
    const QString base = QDir(folder).absolutePath();
    QMap<QString, FileResult> byPath; // sorted, and one result per file
    const auto add = [&](const FileResult &file) {
        if (byPath.contains(file.path))
            return;
        byPath.insert(file.path, file);
        if (progress)
            progress(file);
    };

    for (const QString &root : AscMhl::findRoots(base)) {
        ++result.manifests;
        const QString prefix = root == base ? QString() : QDir(base).relativeFilePath(root) + '/';
        const AscMhl::History history = AscMhl::readHistory(root);
        result.problems << history.problems;

        // The manifests themselves, against their chain.
        const QString mhlFolder = root + QLatin1Char('/') + QLatin1String(AscMhl::kFolder);
        for (const AscMhl::ChainLink &link : history.chain) {
            FileResult file;
            file.path = prefix + QLatin1String(AscMhl::kFolder) + QLatin1Char('/') + link.fileName;
            file.format = QStringLiteral("c4");
            file.expected = link.c4;
            const QString path = mhlFolder + QLatin1Char('/') + link.fileName;
            if (link.fileName.contains(QLatin1Char('/')) || !QFileInfo::exists(path)) {
                file.status = Status::Missing;
            } else {
                file.actual = hashFileAs(path, file.format);
                file.status = sameHash(file.format, file.expected, file.actual) ? Status::Ok
                                                                                : Status::Changed;
            }
            add(file);
        }

        // The latest word on each file wins.
        QMap<QString, AscMhl::Entry> latest;
        for (const AscMhl::Generation &generation : history.generations)
            for (const AscMhl::Entry &entry : generation.entries)
                latest.insert(entry.path, entry);
        for (const AscMhl::Entry &entry : std::as_const(latest)) {
            FileResult file;
            file.path = prefix + entry.path;
            for (const QString &format : kPreference) {
                if (entry.hashes.contains(format)) {
                    file.format = format;
                    file.expected = entry.hashes.value(format);
                    break;
                }
            }
            if (file.format.isEmpty()) {
                result.problems << QStringLiteral("%1: no hash that can be checked").arg(file.path);
                continue;
            }
            // A path that climbs out of its root is not one this check will follow.
            const QString cleaned = QDir::cleanPath(entry.path);
            const QString path = root + QLatin1Char('/') + cleaned;
            if (cleaned.startsWith(QLatin1String("../")) || cleaned == QLatin1String("..") ||
                QDir::isAbsolutePath(cleaned)) {
                result.problems << QStringLiteral("%1: a path outside its folder").arg(file.path);
                continue;
            }
            const QFileInfo info(path);
            if (!info.exists() || !info.isFile()) {
                file.status = Status::Missing;
            } else {
                file.actual = hashFileAs(path, file.format);
                file.status = !file.actual.isEmpty() &&
                                      sameHash(file.format, file.expected, file.actual) &&
                                      (entry.size < 0 || entry.size == info.size())
                                  ? Status::Ok
                                  : Status::Changed;
            }
            add(file);
        }
    }

    for (const FileResult &file : std::as_const(byPath)) {
        result.files.append(file);
        switch (file.status) {
        case Status::Ok:
            ++result.ok;
            break;
        case Status::Changed:
            ++result.changed;
            break;
        case Status::Missing:
            ++result.missing;
            break;
        }
    }
    return result;
}

} // namespace ManifestCheck
