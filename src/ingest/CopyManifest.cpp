#include "ingest/CopyManifest.h"

#include "platform/CopySteps.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace AscMhl {

namespace {

const QString kHashlistNs = QStringLiteral("urn:ASC:MHL:v2.0");
const QString kDirectoryNs = QStringLiteral("urn:ASC:MHL:DIRECTORY:v2.0");
const QStringList kHashFormats = {QStringLiteral("c4"),   QStringLiteral("md5"),
                                  QStringLiteral("sha1"), QStringLiteral("xxh128"),
                                  QStringLiteral("xxh3"), QStringLiteral("xxh64")};

QString dateText(const QDateTime &when)
{
    return when.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) + QStringLiteral("+00:00");
}

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Writes `bytes` to a synced temporary in the folder `dirFd` (path `dirPath`); its name, or
// empty with `err` set.
QByteArray writeTemporary(const QByteArray &dirPath, const QByteArray &bytes, int *err)
{
    QByteArray name;
    const int fd = CopySteps::createTemporary(dirPath, &name);
    if (fd < 0) {
        *err = errno;
        return QByteArray();
    }
    const bool ok = writeAll(fd, bytes) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
    const int writeErr = errno;
    if (::close(fd) != 0 || !ok) {
        *err = ok ? errno : writeErr;
        ::unlink((dirPath + '/' + name).constData());
        return QByteArray();
    }
    return name;
}

QByteArray readWhole(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return QByteArray();
    }
    return file.readAll();
}

int sequenceOfName(const QString &fileName)
{
    bool ok = false;
    const int n = fileName.section(QLatin1Char('_'), 0, 0).toInt(&ok);
    return ok ? n : 0;
}

} // namespace

QString c4Id(const QByteArray &bytes)
{
    static const char kAlphabet[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
    QByteArray digest = QCryptographicHash::hash(bytes, QCryptographicHash::Sha512);
    // Base 58 of the digest read as one big-endian number: repeated division of the byte string.
    QByteArray digits;
    std::vector<unsigned char> number(digest.begin(), digest.end());
    while (std::any_of(number.begin(), number.end(), [](unsigned char b) { return b != 0; })) {
        unsigned remainder = 0;
        for (unsigned char &byte : number) {
            const unsigned value = (remainder << 8) | byte;
            byte = static_cast<unsigned char>(value / 58);
            remainder = value % 58;
        }
        digits.prepend(kAlphabet[remainder]);
    }
    while (digits.size() < 88)
        digits.prepend('1');
    return QStringLiteral("c4") + QString::fromLatin1(digits);
}

QByteArray generationXml(const QList<Entry> &entries, const QDateTime &when)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(kHashlistNs);
    xml.writeStartElement(kHashlistNs, QStringLiteral("hashlist"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    xml.writeStartElement(kHashlistNs, QStringLiteral("creatorinfo"));
    xml.writeTextElement(kHashlistNs, QStringLiteral("creationdate"), dateText(when));
    const QString host = QSysInfo::machineHostName();
    xml.writeTextElement(kHashlistNs, QStringLiteral("hostname"),
                         host.isEmpty() ? QStringLiteral("localhost") : host);
    xml.writeStartElement(kHashlistNs, QStringLiteral("tool"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral(BRINDLEWICK_VERSION));
    xml.writeCharacters(QStringLiteral("Brindlewick"));
    xml.writeEndElement();
    xml.writeEndElement(); // creatorinfo
    xml.writeStartElement(kHashlistNs, QStringLiteral("processinfo"));
    xml.writeTextElement(kHashlistNs, QStringLiteral("process"), QStringLiteral("transfer"));
    xml.writeStartElement(kHashlistNs, QStringLiteral("ignore"));
    for (const QString &pattern :
         {QStringLiteral(".DS_Store"), QStringLiteral("ascmhl"), QStringLiteral("ascmhl/"),
          QString::fromLatin1(CopySteps::kTemporaryPrefix) + QLatin1Char('*')})
        xml.writeTextElement(kHashlistNs, QStringLiteral("pattern"), pattern);
    xml.writeEndElement(); // ignore
    xml.writeEndElement(); // processinfo
    if (!entries.isEmpty()) {
        xml.writeStartElement(kHashlistNs, QStringLiteral("hashes"));
        for (const Entry &entry : entries) {
            xml.writeStartElement(kHashlistNs, QStringLiteral("hash"));
            xml.writeStartElement(kHashlistNs, QStringLiteral("path"));
            if (entry.size >= 0)
                xml.writeAttribute(QStringLiteral("size"), QString::number(entry.size));
            if (entry.modified.isValid())
                xml.writeAttribute(QStringLiteral("lastmodificationdate"),
                                   dateText(entry.modified));
            xml.writeCharacters(entry.path);
            xml.writeEndElement();
            // The schema fixes the order of the hash formats.
            for (const QString &format : kHashFormats) {
                const auto it = entry.hashes.constFind(format);
                if (it == entry.hashes.constEnd())
                    continue;
                xml.writeStartElement(kHashlistNs, format);
                xml.writeAttribute(QStringLiteral("action"), entry.action.isEmpty()
                                                                 ? QStringLiteral("original")
                                                                 : entry.action);
                xml.writeAttribute(QStringLiteral("hashdate"), dateText(when));
                xml.writeCharacters(*it);
                xml.writeEndElement();
            }
            xml.writeEndElement(); // hash
        }
        xml.writeEndElement(); // hashes
    }
    xml.writeEndElement(); // hashlist
    xml.writeEndDocument();
    return out;
}

QByteArray chainXml(const QList<ChainLink> &links)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(2);
    xml.writeStartDocument();
    xml.writeDefaultNamespace(kDirectoryNs);
    xml.writeStartElement(kDirectoryNs, QStringLiteral("ascmhldirectory"));
    for (const ChainLink &link : links) {
        xml.writeStartElement(kDirectoryNs, QStringLiteral("hashlist"));
        xml.writeAttribute(QStringLiteral("sequencenr"), QString::number(link.sequence));
        xml.writeTextElement(kDirectoryNs, QStringLiteral("path"), link.fileName);
        xml.writeTextElement(kDirectoryNs, QStringLiteral("c4"), link.c4);
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    return out;
}

std::optional<Generation> parseGeneration(const QByteArray &text, QString *error)
{
    QXmlStreamReader xml(text);
    Generation generation;
    bool sawRoot = false;
    Entry *entry = nullptr;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        if (!sawRoot) {
            if (name != QLatin1String("hashlist") || xml.namespaceUri() != kHashlistNs) {
                xml.raiseError(QStringLiteral("not an ASC MHL hash list"));
                break;
            }
            sawRoot = true;
        } else if (name == QLatin1String("hash")) {
            generation.entries.append(Entry());
            entry = &generation.entries.last();
        } else if (name == QLatin1String("directoryhash")) {
            entry = nullptr; // folder hashes are not checked file by file
            xml.skipCurrentElement();
        } else if (entry && name == QLatin1String("path")) {
            const QXmlStreamAttributes attributes = xml.attributes();
            bool ok = false;
            const qint64 size = attributes.value(QLatin1String("size")).toLongLong(&ok);
            // A negative size is no size: unknown, as when the attribute is missing.
            entry->size = ok && size >= 0 ? size : -1;
            entry->modified = QDateTime::fromString(
                attributes.value(QLatin1String("lastmodificationdate")).toString(), Qt::ISODate);
            entry->path = xml.readElementText();
        } else if (entry && kHashFormats.contains(name.toString())) {
            const QString format = name.toString();
            entry->action = xml.attributes().value(QLatin1String("action")).toString();
            entry->hashes.insert(format, xml.readElementText().trimmed());
        }
    }
    if (!sawRoot && !xml.hasError())
        xml.raiseError(QStringLiteral("empty document"));
    if (xml.hasError()) {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
        return std::nullopt;
    }
    // Entries without a path cannot be checked; drop them rather than guess.
    generation.entries.removeIf([](const Entry &e) { return e.path.isEmpty(); });
    return generation;
}

std::optional<QList<ChainLink>> parseChain(const QByteArray &text, QString *error)
{
    QXmlStreamReader xml(text);
    QList<ChainLink> links;
    bool sawRoot = false;
    ChainLink *link = nullptr;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QStringView name = xml.name();
        if (!sawRoot) {
            if (name != QLatin1String("ascmhldirectory")) {
                xml.raiseError(QStringLiteral("not an ASC MHL chain"));
                break;
            }
            sawRoot = true;
        } else if (name == QLatin1String("hashlist")) {
            links.append(ChainLink());
            link = &links.last();
            link->sequence = xml.attributes().value(QLatin1String("sequencenr")).toInt();
        } else if (link && name == QLatin1String("path")) {
            link->fileName = xml.readElementText().trimmed();
        } else if (link && name == QLatin1String("c4")) {
            link->c4 = xml.readElementText().trimmed();
        }
    }
    if (!sawRoot && !xml.hasError())
        xml.raiseError(QStringLiteral("empty document"));
    if (xml.hasError()) {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
        return std::nullopt;
    }
    return links;
}

History readHistory(const QString &root)
{
    History history;
    const QString folder = root + QLatin1Char('/') + QLatin1String(kFolder);
    const QString chainPath = folder + QLatin1Char('/') + QLatin1String(kChainFile);
    if (QFileInfo::exists(chainPath)) {
        QString error;
        const QByteArray text = readWhole(chainPath, &error);
        if (const auto chain = parseChain(text, &error))
            history.chain = *chain;
        else
            history.problems << QStringLiteral("%1: %2").arg(chainPath, error);
    }
    QStringList names = QDir(folder).entryList({QStringLiteral("*.mhl")}, QDir::Files);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int sa = sequenceOfName(a), sb = sequenceOfName(b);
        return sa != sb ? sa < sb : a < b;
    });
    for (const QString &name : std::as_const(names)) {
        QString error;
        const QByteArray text = readWhole(folder + QLatin1Char('/') + name, &error);
        auto generation = parseGeneration(text, &error);
        if (!generation) {
            history.problems << QStringLiteral("%1/%2: %3").arg(folder, name, error);
            continue;
        }
        generation->fileName = name;
        generation->sequence = sequenceOfName(name);
        history.generations.append(*generation);
    }
    return history;
}

bool addGeneration(const QString &root, const QList<Entry> &entries, const QDateTime &when,
                   QString *error)
{
    const QString folder = root + QLatin1Char('/') + QLatin1String(kFolder);
    const auto fail = [&](const QString &what) {
        if (error)
            *error = what;
        return false;
    };
    if (!QDir().mkpath(folder))
        return fail(QStringLiteral("the folder \"%1\" can't be created").arg(folder));
    const QByteArray folderBytes = QFile::encodeName(folder);
    CopySteps::removeStrayTemporaries(folderBytes);

    History history = readHistory(root);
    int sequence = 0;
    for (const ChainLink &link : std::as_const(history.chain))
        sequence = std::max(sequence, link.sequence);
    for (const QString &name : QDir(folder).entryList({QStringLiteral("*.mhl")}, QDir::Files))
        sequence = std::max(sequence, sequenceOfName(name));

    const QByteArray generation = generationXml(entries, when);
    int err = 0;
    const QByteArray temporary = writeTemporary(folderBytes, generation, &err);
    if (temporary.isEmpty())
        return fail(errnoText(err));
    const int dirFd = ::open(folderBytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        err = errno;
        ::unlink((folderBytes + '/' + temporary).constData());
        return fail(errnoText(err));
    }
    QString rootName = QFileInfo(root).fileName();
    if (rootName.isEmpty())
        rootName = QStringLiteral("root");
    const QString stamp = when.toUTC().toString(QStringLiteral("yyyy-MM-dd_HHmmss")) + 'Z';
    QString fileName;
    // Another writer may take a number at the same moment: never replace, take the next.
    for (int attempt = 0; attempt < 100; ++attempt) {
        ++sequence;
        fileName = QStringLiteral("%1_%2_%3.mhl")
                       .arg(sequence, 4, 10, QLatin1Char('0'))
                       .arg(rootName, stamp);
        err = CopySteps::placeNoReplace(dirFd, temporary.constData(),
                                        QFile::encodeName(fileName).constData());
        if (err != EEXIST)
            break;
    }
    if (err != 0) {
        ::unlinkat(dirFd, temporary.constData(), 0);
        ::close(dirFd);
        return fail(errnoText(err));
    }

    history.chain.removeIf([&](const ChainLink &link) { return link.sequence == sequence; });
    history.chain.append(ChainLink{sequence, fileName, c4Id(generation)});
    const QByteArray chainTemporary = writeTemporary(folderBytes, chainXml(history.chain), &err);
    bool ok = !chainTemporary.isEmpty();
    if (ok && ::renameat(dirFd, chainTemporary.constData(), dirFd, kChainFile) != 0) {
        err = errno;
        ::unlinkat(dirFd, chainTemporary.constData(), 0);
        ok = false;
    }
    if (ok)
        ::fsync(dirFd);
    ::close(dirFd);
    return ok || fail(errnoText(err));
}

QStringList findRoots(const QString &folder)
{
    QStringList roots;
    const QString base = QDir(folder).absolutePath();
    if (QFileInfo(base + QLatin1Char('/') + QLatin1String(kFolder)).isDir())
        roots << base;
    QDirIterator it(base, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString dir = it.next();
        if (it.fileName() == QLatin1String(kFolder))
            continue;
        if (dir.contains(QStringLiteral("/%1/").arg(QLatin1String(kFolder))))
            continue;
        if (QFileInfo(dir + QLatin1Char('/') + QLatin1String(kFolder)).isDir())
            roots << dir;
    }
    std::sort(roots.begin(), roots.end());
    roots.erase(std::unique(roots.begin(), roots.end()), roots.end());
    return roots;
}

} // namespace AscMhl

// ---------------------------------------------------------------------------------------------

namespace {

QString relativeTo(const QString &root, const QString &path)
{
    return QDir(root).relativeFilePath(path);
}

bool identify(const QString &path, qint64 *size, qint64 *mtimeNs, qint64 *ctimeNs, qint64 *inode)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    *size = st.st_size;
    *mtimeNs = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    *ctimeNs = st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
    *inode = static_cast<qint64>(st.st_ino);
    return true;
}

} // namespace

QSet<QString> &ManifestBook::listed(const QString &root)
{
    auto it = m_listed.find(root);
    if (it == m_listed.end()) {
        QSet<QString> paths;
        for (const AscMhl::Generation &generation : AscMhl::readHistory(root).generations)
            for (const AscMhl::Entry &entry : generation.entries)
                paths.insert(entry.path);
        it = m_listed.insert(root, paths);
    }
    return *it;
}

ManifestBook::Stamp ManifestBook::stamp(const QString &path, const Hash128 &hash)
{
    Stamp stamp;
    stamp.hash = hash;
    stamp.valid = identify(path, &stamp.size, &stamp.mtimeNs, &stamp.ctimeNs, &stamp.inode);
    return stamp;
}

void ManifestBook::record(const QString &root, const QString &path, const Stamp &stamp)
{
    Record record;
    record.path = path;
    record.stamp = stamp;
    if (!m_records.contains(root))
        m_roots << root;
    m_records[root].append(record);
    listed(root).insert(relativeTo(root, path));
}

void ManifestBook::recordUnhashed(const QString &root, const QString &path)
{
    Record record;
    record.path = path;
    if (!m_records.contains(root))
        m_roots << root;
    m_records[root].append(record);
    listed(root).insert(relativeTo(root, path));
}

bool ManifestBook::isListed(const QString &root, const QString &path)
{
    return listed(root).contains(relativeTo(root, path));
}

void ManifestBook::clear()
{
    m_roots.clear();
    m_records.clear();
    m_listed.clear();
}

QStringList ManifestBook::write(const QDateTime &when)
{
    QStringList failures;
    for (const QString &root : std::as_const(m_roots)) {
        QList<AscMhl::Entry> entries;
        QSet<QString> seen;
        const QList<Record> records = m_records.value(root);
        for (const Record &record : records) {
            AscMhl::Entry entry;
            entry.path = relativeTo(root, record.path);
            if (seen.contains(entry.path))
                continue;
            qint64 size = -1, mtimeNs = 0, ctimeNs = 0, inode = 0;
            if (!identify(record.path, &size, &mtimeNs, &ctimeNs, &inode))
                continue; // gone again (removed by a later step): nothing to list
            const Stamp &known = record.stamp;
            std::optional<Hash128> hash;
            if (known.valid && size == known.size && mtimeNs == known.mtimeNs &&
                ctimeNs == known.ctimeNs && inode == known.inode)
                hash = known.hash;
            else {
                qint64 hashedSize = -1;
                hash = FileHash::ofFile(record.path, nullptr, &hashedSize);
                if (!hash) {
                    failures << QStringLiteral("\"%1\" couldn't be read for the manifest")
                                    .arg(record.path);
                    continue;
                }
                size = hashedSize;
            }
            seen.insert(entry.path);
            entry.size = size;
            entry.modified = QDateTime::fromMSecsSinceEpoch(mtimeNs / 1000000, Qt::UTC);
            entry.hashes.insert(QStringLiteral("xxh128"), hash->toHex());
            entry.action = QStringLiteral("original");
            entries.append(entry);
        }
        if (entries.isEmpty())
            continue;
        QString error;
        if (!AscMhl::addGeneration(root, entries, when, &error))
            failures << QStringLiteral("%1: %2").arg(root, error);
    }
    m_roots.clear();
    m_records.clear();
    return failures;
}
