#include "platform/IsoMedia.h"

#include <QHash>
#include <QSet>

#include <algorithm>

namespace IsoMedia {

namespace {

using Bytes::be16;
using Bytes::be32;
using Bytes::be64;

// Guards against sizes and counts taken from damaged files.
constexpr int kMaxChildren = 20000;      // boxes in one container
constexpr qint64 kMaxMetadata = 8 << 20; // an Exif, XMP or TIFF block
constexpr qint64 kMaxTable = 4 << 20;    // a box read whole (item tables, keys)
constexpr int kMaxItems = 10000;
constexpr int kMaxText = 4096;

// Seconds between 1904-01-01 (QuickTime's epoch) and 1970-01-01.
constexpr qint64 kQuickTimeEpochOffset = 2082844800;

const QByteArray kCanonUuid = QByteArray::fromHex("85c0b687820f11e08111f4ce462b6a48");
const QByteArray kCanonPreviewUuid = QByteArray::fromHex("eaf42b5e1c984b88b9fbb7dc406e4d16");

std::optional<Box> first(const QList<Box> &boxes, quint32 type)
{
    for (const Box &b : boxes) {
        if (b.type == type)
            return b;
    }
    return std::nullopt;
}

QList<Box> childrenOf(const ByteSource &source, const Box &parent, qint64 skip = 0)
{
    return children(source, parent.bodyOffset + skip, parent.end());
}

// A box's body read whole, when it is small enough to be a table rather than media data.
QByteArray body(const ByteSource &source, const Box &box, qint64 limit = kMaxTable)
{
    return source.bytes(box.bodyOffset, box.bodySize(), limit);
}

bool isHeifBrand(quint32 b)
{
    static const quint32 kBrands[] = {
        fourcc("heic"), fourcc("heix"), fourcc("heim"), fourcc("heis"), fourcc("hevc"),
        fourcc("hevx"), fourcc("mif1"), fourcc("msf1"), fourcc("mif2"), fourcc("miaf")};
    return std::find(std::begin(kBrands), std::end(kBrands), b) != std::end(kBrands);
}

bool isAvifBrand(quint32 b)
{
    return b == fourcc("avif") || b == fourcc("avis");
}

// The first JPEG start (FF D8 FF) in the first `window` bytes of a run, or -1.
qint64 findJpegStart(const ByteSource &source, qint64 offset, qint64 length, qint64 window = 64)
{
    const QByteArray head = source.bytes(offset, std::min(length, window));
    const qsizetype at = head.indexOf(QByteArray("\xff\xd8\xff", 3));
    return at < 0 ? -1 : offset + at;
}

void addJpeg(Contents &c, const ByteSource &source, qint64 offset, qint64 length, int w = 0,
             int h = 0)
{
    const qint64 start = findJpegStart(source, offset, length);
    if (start < 0)
        return;
    const qint64 size = offset + length - start;
    if (size > 16 && source.contains(start, size))
        c.pictures.append({{start, size}, w, h});
}

// ---- HEIF items

struct Item
{
    quint32 id = 0;
    quint32 type = 0;
    QByteArray contentType;
    int construction = 0; // 0: file offsets, 1: inside 'idat'
    QList<Extent> extents;
};

struct ItemTable
{
    quint32 primary = 0;
    QList<Item> items;
    qint64 idatOffset = -1;
    qint64 idatSize = 0;
};

QByteArray cString(const QByteArray &b, qsizetype &at)
{
    const qsizetype nul = b.indexOf('\0', at);
    const qsizetype end = nul < 0 ? b.size() : nul;
    const QByteArray text = b.mid(at, end - at);
    at = end + 1;
    return text;
}

void readItemInfo(const ByteSource &source, const Box &iinf, ItemTable &table, Contents &c)
{
    const QByteArray head = source.bytes(iinf.bodyOffset, 8);
    if (head.size() < 8) {
        c.problems << QStringLiteral("item list cut off");
        return;
    }
    const int version = quint8(head[0]);
    const qint64 skip = version == 0 ? 6 : 8;
    for (const Box &infe : children(source, iinf.bodyOffset + skip, iinf.end())) {
        if (infe.type != fourcc("infe") || table.items.size() >= kMaxItems)
            continue;
        const QByteArray b = body(source, infe, 64 * 1024);
        if (b.size() < 12)
            continue;
        const int v = quint8(b[0]);
        if (v < 2)
            continue; // the old entry form carries no item type
        Item item;
        qsizetype at = 4;
        if (v == 2) {
            item.id = be16(b, at);
            at += 2;
        } else {
            item.id = be32(b, at);
            at += 4;
        }
        at += 2; // protection index
        item.type = be32(b, at);
        at += 4;
        cString(b, at); // item name
        if (item.type == fourcc("mime") && at < b.size())
            item.contentType = cString(b, at);
        table.items.append(item);
    }
}

quint64 sizedNumber(const QByteArray &b, qsizetype &at, int size)
{
    quint64 v = 0;
    if (size == 4)
        v = be32(b, at);
    else if (size == 8)
        v = be64(b, at);
    else if (size == 2)
        v = be16(b, at);
    at += size;
    return v;
}

void readItemLocations(const ByteSource &source, const Box &iloc, ItemTable &table, Contents &c)
{
    const QByteArray b = body(source, iloc);
    if (b.size() < 8) {
        c.problems << QStringLiteral("item locations cut off");
        return;
    }
    const int version = quint8(b[0]);
    const int offsetSize = quint8(b[4]) >> 4;
    const int lengthSize = quint8(b[4]) & 0xf;
    const int baseSize = quint8(b[5]) >> 4;
    const int indexSize = version >= 1 ? (quint8(b[5]) & 0xf) : 0;
    for (int s : {offsetSize, lengthSize, baseSize, indexSize}) {
        if (s != 0 && s != 4 && s != 8) {
            c.problems << QStringLiteral("item locations malformed");
            return;
        }
    }
    qsizetype at = 6;
    quint32 count = 0;
    if (version < 2) {
        count = be16(b, at);
        at += 2;
    } else {
        count = be32(b, at);
        at += 4;
    }
    QHash<quint32, qsizetype> index;
    for (qsizetype i = 0; i < table.items.size(); ++i)
        index.insert(table.items[i].id, i);
    for (quint32 n = 0; n < count && n < quint32(kMaxItems); ++n) {
        const qsizetype fixed = (version < 2 ? 2 : 4) + (version >= 1 ? 2 : 0) + 2 + baseSize + 2;
        if (at + fixed > b.size()) {
            c.problems << QStringLiteral("item locations cut off");
            return;
        }
        quint32 id = 0;
        if (version < 2) {
            id = be16(b, at);
            at += 2;
        } else {
            id = be32(b, at);
            at += 4;
        }
        int construction = 0;
        if (version >= 1) {
            construction = be16(b, at) & 0xf;
            at += 2;
        }
        at += 2; // data reference index
        const quint64 base = sizedNumber(b, at, baseSize);
        const int extents = be16(b, at);
        at += 2;
        const qsizetype each = indexSize + offsetSize + lengthSize;
        if (at + qsizetype(extents) * each > b.size()) {
            c.problems << QStringLiteral("item locations cut off");
            return;
        }
        Item *item = index.contains(id) ? &table.items[index.value(id)] : nullptr;
        if (item)
            item->construction = construction;
        for (int e = 0; e < extents; ++e) {
            at += indexSize;
            const quint64 offset = sizedNumber(b, at, offsetSize);
            const quint64 length = sizedNumber(b, at, lengthSize);
            if (item && base <= quint64(source.size()) && offset <= quint64(source.size()) &&
                length <= quint64(source.size()))
                item->extents.append({qint64(base + offset), qint64(length)});
        }
    }
}

// An item's bytes, its extents joined; empty when they do not lie inside the file.
QByteArray itemData(const ByteSource &source, const ItemTable &table, const Item &item)
{
    QByteArray out;
    for (const Extent &e : item.extents) {
        qint64 offset = e.offset;
        qint64 length = e.length;
        if (item.construction == 1) {
            if (table.idatOffset < 0 || offset > table.idatSize)
                return {};
            offset += table.idatOffset;
            if (length == 0)
                length = table.idatSize - e.offset;
        } else if (item.construction != 0) {
            return {}; // data taken from other items: never needed for metadata
        } else if (length == 0) {
            length = source.size() - offset;
        }
        if (out.size() + length > kMaxMetadata)
            return {};
        const QByteArray part = source.bytes(offset, length, kMaxMetadata);
        if (part.isEmpty())
            return {};
        out += part;
    }
    return out;
}

// The TIFF block of an Exif item: a 4-byte offset to the TIFF header, then the data (which
// some writers begin with "Exif\0\0").
QByteArray tiffOfExifItem(const QByteArray &data)
{
    if (data.size() < 12)
        return {};
    const quint32 skip = be32(data, 0);
    const auto isTiff = [&](qsizetype at) {
        return at + 8 <= data.size() && (data.mid(at, 4) == QByteArray("II*\0", 4) ||
                                         data.mid(at, 4) == QByteArray("MM\0*", 4));
    };
    if (skip < quint32(data.size()) && isTiff(4 + qsizetype(skip)))
        return data.mid(4 + qsizetype(skip));
    // A wrong offset: look for the header near the start.
    for (qsizetype at = 0; at < std::min<qsizetype>(data.size(), 64); ++at) {
        if (isTiff(at))
            return data.mid(at);
    }
    return {};
}

struct ItemProperties
{
    int width = 0;
    int height = 0;
    int rotation = 0;
    bool transformed = false;
};

ItemProperties primaryProperties(const ByteSource &source, const Box &iprp, quint32 primary)
{
    ItemProperties props;
    const QList<Box> parts = childrenOf(source, iprp);
    const auto ipco = first(parts, fourcc("ipco"));
    if (!ipco)
        return props;
    const QList<Box> properties = childrenOf(source, *ipco);
    for (const Box &ipma : parts) {
        if (ipma.type != fourcc("ipma"))
            continue;
        const QByteArray b = body(source, ipma);
        if (b.size() < 8)
            continue;
        const int version = quint8(b[0]);
        const bool wideIndex = (quint8(b[3]) & 1) != 0;
        const quint32 count = be32(b, 4);
        qsizetype at = 8;
        for (quint32 n = 0; n < count && at < b.size() && n < quint32(kMaxItems); ++n) {
            quint32 id = 0;
            if (version < 1) {
                id = be16(b, at);
                at += 2;
            } else {
                id = be32(b, at);
                at += 4;
            }
            const int associations = at < b.size() ? quint8(b[at]) : 0;
            ++at;
            for (int a = 0; a < associations && at < b.size(); ++a) {
                int propertyIndex = 0;
                if (wideIndex) {
                    propertyIndex = be16(b, at) & 0x7fff;
                    at += 2;
                } else {
                    propertyIndex = quint8(b[at]) & 0x7f;
                    at += 1;
                }
                if (id != primary || propertyIndex < 1 || propertyIndex > properties.size())
                    continue;
                const Box &p = properties[propertyIndex - 1];
                if (p.type == fourcc("ispe")) {
                    const QByteArray e = source.bytes(p.bodyOffset, 12);
                    if (e.size() == 12) {
                        props.width = int(std::min<quint32>(be32(e, 4), 1u << 30));
                        props.height = int(std::min<quint32>(be32(e, 8), 1u << 30));
                    }
                } else if (p.type == fourcc("imir")) {
                    props.transformed = true;
                } else if (p.type == fourcc("irot")) {
                    props.transformed = true;
                    const QByteArray r = source.bytes(p.bodyOffset, 1);
                    if (r.size() == 1)
                        props.rotation =
                            (360 - (quint8(r[0]) & 3) * 90) % 360; // stored counter-clockwise
                }
            }
        }
    }
    return props;
}

void readStillPicture(const ByteSource &source, const Box &meta, Contents &c)
{
    ItemTable table;
    const QList<Box> parts = children(source, meta.bodyOffset + 4, meta.end());
    if (const auto pitm = first(parts, fourcc("pitm"))) {
        const QByteArray b = body(source, *pitm, 64);
        if (b.size() >= 6)
            table.primary = quint8(b[0]) == 0 ? be16(b, 4) : be32(b, 4);
    }
    if (const auto iinf = first(parts, fourcc("iinf")))
        readItemInfo(source, *iinf, table, c);
    if (const auto idat = first(parts, fourcc("idat"))) {
        table.idatOffset = idat->bodyOffset;
        table.idatSize = idat->bodySize();
    }
    if (const auto iloc = first(parts, fourcc("iloc")))
        readItemLocations(source, *iloc, table, c);
    else
        c.problems << QStringLiteral("no item locations");
    if (const auto iprp = first(parts, fourcc("iprp"))) {
        const ItemProperties p = primaryProperties(source, *iprp, table.primary);
        c.width = p.width;
        c.height = p.height;
        c.rotation = p.rotation;
        c.transformed = p.transformed;
    }
    for (const Item &item : table.items) {
        if (item.type == fourcc("Exif") && c.exif.isEmpty()) {
            c.exif = tiffOfExifItem(itemData(source, table, item));
            if (c.exif.isEmpty())
                c.problems << QStringLiteral("Exif block unreadable");
        } else if (item.type == fourcc("mime") && c.xmp.isEmpty() &&
                   item.contentType.startsWith("application/rdf+xml")) {
            c.xmp = itemData(source, table, item);
        }
    }
}

// ---- Canon blocks (CR3 raws and Canon movies)

void readCanonBox(const ByteSource &source, const Box &uuidBox, Contents &c)
{
    for (const Box &b : childrenOf(source, uuidBox)) {
        for (int i = 0; i < 4; ++i) {
            const char name[5] = {'C', 'M', 'T', char('1' + i), 0};
            if (b.type == fourcc(name) && c.canonTiff[i].isEmpty())
                c.canonTiff[i] = source.bytes(b.bodyOffset, b.bodySize(), kMaxMetadata);
        }
        if (b.type == fourcc("THMB")) {
            const QByteArray head = source.bytes(b.bodyOffset, 8);
            addJpeg(c, source, b.bodyOffset, b.bodySize(), be16(head, 4), be16(head, 6));
        } else if (b.type == fourcc("CNTH")) {
            for (const Box &d : childrenOf(source, b)) {
                if (d.type == fourcc("CNDA"))
                    addJpeg(c, source, d.bodyOffset, d.bodySize());
            }
        }
    }
}

void readCanonPreview(const ByteSource &source, const Box &uuidBox, Contents &c)
{
    // An 8-byte header, then the 'PRVW' box with the JPEG after a short header of its own.
    for (const Box &b : childrenOf(source, uuidBox, 8)) {
        if (b.type != fourcc("PRVW"))
            continue;
        const QByteArray head = source.bytes(b.bodyOffset, 12);
        addJpeg(c, source, b.bodyOffset, b.bodySize(), be16(head, 6), be16(head, 8));
    }
}

// ---- Movie header, tracks and text metadata

void readMovieHeader(const ByteSource &source, const Box &mvhd, Contents &c)
{
    const QByteArray b = source.bytes(mvhd.bodyOffset, std::min<qint64>(mvhd.bodySize(), 32));
    if (b.size() < 20) {
        c.problems << QStringLiteral("movie header cut off");
        return;
    }
    c.hasMovieHeader = true;
    quint64 created = 0;
    quint64 modified = 0;
    quint32 timescale = 0;
    quint64 duration = 0;
    if (quint8(b[0]) == 1 && b.size() >= 32) {
        created = be64(b, 4);
        modified = be64(b, 12);
        timescale = be32(b, 20);
        duration = be64(b, 24);
    } else {
        created = be32(b, 4);
        modified = be32(b, 8);
        timescale = be32(b, 12);
        duration = be32(b, 16);
    }
    // 0 means "not set"; anything past the year 9999 is garbage.
    const quint64 latest = quint64(kQuickTimeEpochOffset) + 253402300799ull;
    if (created != 0 && created < latest)
        c.created = qint64(created) - kQuickTimeEpochOffset;
    if (modified != 0 && modified < latest)
        c.modified = qint64(modified) - kQuickTimeEpochOffset;
    if (timescale != 0)
        c.duration = double(duration) / double(timescale);
}

// The clockwise turn that shows a track upright, from its matrix (a, b, u / c, d, v / x, y, w
// in 16.16 and 2.30 fixed point).
int rotationOf(const QByteArray &matrix)
{
    const qint32 a = qint32(be32(matrix, 0));
    const qint32 b = qint32(be32(matrix, 4));
    if (a == 0 && b > 0)
        return 90;
    if (a == 0 && b < 0)
        return 270;
    if (a < 0 && b == 0)
        return 180;
    return 0;
}

struct SampleEntry
{
    quint32 type = 0;
    int width = 0;
    int height = 0;
    qint64 firstSampleOffset = -1;
    qint64 firstSampleSize = 0;
    bool video = false;
};

SampleEntry readTrack(const ByteSource &source, const Box &trak, int *rotation)
{
    SampleEntry entry;
    const QList<Box> parts = childrenOf(source, trak);
    const auto mdia = first(parts, fourcc("mdia"));
    if (!mdia)
        return entry;
    const QList<Box> media = childrenOf(source, *mdia);
    if (const auto hdlr = first(media, fourcc("hdlr"))) {
        const QByteArray h = source.bytes(hdlr->bodyOffset, 12);
        entry.video = h.size() == 12 && be32(h, 8) == fourcc("vide");
    }
    if (entry.video) {
        if (const auto tkhd = first(parts, fourcc("tkhd"))) {
            const QByteArray t = body(source, *tkhd, 256);
            const qsizetype matrixAt = !t.isEmpty() && quint8(t[0]) == 1 ? 52 : 40;
            if (t.size() >= matrixAt + 44) {
                *rotation = rotationOf(t.mid(matrixAt, 36));
                entry.width = int(be32(t, matrixAt + 36) >> 16);
                entry.height = int(be32(t, matrixAt + 40) >> 16);
            }
        }
    }
    const auto minf = first(media, fourcc("minf"));
    if (!minf)
        return entry;
    const auto stbl = first(childrenOf(source, *minf), fourcc("stbl"));
    if (!stbl)
        return entry;
    const QList<Box> table = childrenOf(source, *stbl);
    if (const auto stsd = first(table, fourcc("stsd"))) {
        const QByteArray s = source.bytes(stsd->bodyOffset, 48);
        if (s.size() >= 44) {
            entry.type = be32(s, 12);
            // A visual sample entry keeps its width and height 24 bytes into its body.
            const int w = be16(s, 8 + 8 + 24);
            const int h = be16(s, 8 + 8 + 26);
            if (entry.width <= 0 || entry.height <= 0) {
                entry.width = w;
                entry.height = h;
            }
        }
    }
    if (const auto stsz = first(table, fourcc("stsz"))) {
        const QByteArray s = source.bytes(stsz->bodyOffset, 16);
        if (s.size() >= 12) {
            entry.firstSampleSize = be32(s, 4);
            if (entry.firstSampleSize == 0 && s.size() >= 16 && be32(s, 8) > 0)
                entry.firstSampleSize = be32(s, 12);
        }
    }
    if (const auto co64 = first(table, fourcc("co64"))) {
        const QByteArray s = source.bytes(co64->bodyOffset, 16);
        if (s.size() >= 16 && be32(s, 4) > 0)
            entry.firstSampleOffset = qint64(std::min<quint64>(be64(s, 8), quint64(1) << 62));
    } else if (const auto stco = first(table, fourcc("stco"))) {
        const QByteArray s = source.bytes(stco->bodyOffset, 12);
        if (s.size() >= 12 && be32(s, 4) > 0)
            entry.firstSampleOffset = be32(s, 8);
    }
    return entry;
}

// QuickTime text: a 16-bit length and a language code, then the text; or an iTunes-style
// 'data' box (type, locale, then the value).
QString textAtom(const ByteSource &source, const Box &atom)
{
    const QByteArray b = body(source, atom, kMaxText + 64);
    if (b.size() >= 16 && b.mid(4, 4) == "data") {
        const qsizetype size = std::min<qsizetype>(be32(b, 0), b.size());
        if (size < 16)
            return {};
        return QString::fromUtf8(b.mid(16, size - 16)).trimmed();
    }
    if (b.size() < 4)
        return {};
    const qsizetype length = std::min<qsizetype>(be16(b, 0), b.size() - 4);
    return QString::fromUtf8(b.mid(4, length)).remove(QChar(0)).trimmed();
}

// The value of a 'data' box inside a metadata list entry, as text.
QString dataValue(const ByteSource &source, const Box &entry)
{
    for (const Box &d : childrenOf(source, entry)) {
        if (d.type != fourcc("data"))
            continue;
        const QByteArray b = body(source, d, kMaxText + 8);
        if (b.size() < 8)
            return {};
        const quint32 type = be32(b, 0) & 0xffffff;
        const QByteArray value = b.mid(8);
        if (type == 1 || type == 4) // UTF-8, or UTF-8 "sort" text
            return QString::fromUtf8(value).remove(QChar(0)).trimmed();
        if (type == 2 || type == 5) { // UTF-16
            QString text;
            for (qsizetype i = 0; i + 1 < value.size(); i += 2)
                text.append(QChar(be16(value, i)));
            return text.trimmed();
        }
        return {};
    }
    return {};
}

// A 'meta' box: ISO form (version and flags first) or QuickTime form (children at once).
qint64 metaChildrenStart(const ByteSource &source, const Box &meta)
{
    const QByteArray b = source.bytes(meta.bodyOffset, 8);
    if (b.size() == 8 && b.mid(4, 4) == "hdlr")
        return meta.bodyOffset;
    return meta.bodyOffset + 4;
}

void readMetadataKeys(const ByteSource &source, const Box &meta, Contents &c)
{
    const QList<Box> parts = children(source, metaChildrenStart(source, meta), meta.end());
    QStringList keys;
    if (const auto keysBox = first(parts, fourcc("keys"))) {
        const QByteArray b = body(source, *keysBox);
        const quint32 count = be32(b, 4);
        qsizetype at = 8;
        for (quint32 i = 0; i < count && i < 1024 && at + 8 <= b.size(); ++i) {
            const qsizetype size = be32(b, at);
            if (size < 8 || at + size > b.size())
                break;
            keys << QString::fromUtf8(b.mid(at + 8, size - 8));
            at += size;
        }
    }
    const auto ilst = first(parts, fourcc("ilst"));
    if (!ilst)
        return;
    for (const Box &entry : childrenOf(source, *ilst)) {
        QString name;
        if (entry.type >= 1 && entry.type <= quint32(keys.size()))
            name = keys[int(entry.type) - 1];
        else
            name = fourccText(entry.type);
        const QString value = dataValue(source, entry);
        if (!value.isEmpty() && !c.texts.contains(name))
            c.texts.insert(name, value);
    }
}

void readUserData(const ByteSource &source, const Box &udta, Contents &c)
{
    for (const Box &atom : childrenOf(source, udta)) {
        if ((atom.type >> 24) == 0xa9) {
            const QString name = fourccText(atom.type);
            const QString value = textAtom(source, atom);
            if (!value.isEmpty() && !c.texts.contains(name))
                c.texts.insert(name, value);
        } else if (atom.type == fourcc("meta")) {
            readMetadataKeys(source, atom, c);
        }
    }
}

void readMovie(const ByteSource &source, const Box &moov, Contents &c)
{
    bool foundVideo = false;
    int trackIndex = 0;
    for (const Box &b : childrenOf(source, moov)) {
        if (b.type == fourcc("mvhd")) {
            readMovieHeader(source, b, c);
        } else if (b.type == fourcc("trak")) {
            int rotation = 0;
            const SampleEntry entry = readTrack(source, b, &rotation);
            // A Canon raw keeps its full-size JPEG as the first sample of its first track.
            if (c.kind == Kind::CanonRaw && trackIndex == 0 && entry.firstSampleOffset >= 0 &&
                entry.firstSampleSize > 0 &&
                source.contains(entry.firstSampleOffset, entry.firstSampleSize)) {
                const QByteArray magic = source.bytes(entry.firstSampleOffset, 3);
                if (magic == QByteArray("\xff\xd8\xff", 3))
                    c.pictures.append({{entry.firstSampleOffset, entry.firstSampleSize},
                                       entry.width,
                                       entry.height});
            }
            if (entry.video && !foundVideo && c.kind == Kind::Movie) {
                foundVideo = true;
                c.width = entry.width;
                c.height = entry.height;
                c.rotation = rotation;
            }
            ++trackIndex;
        } else if (b.type == fourcc("udta")) {
            readUserData(source, b, c);
        } else if (b.type == fourcc("meta")) {
            readMetadataKeys(source, b, c);
        } else if (b.type == fourcc("uuid") && b.uuid == kCanonUuid) {
            readCanonBox(source, b, c);
        }
    }
}

Kind kindOf(quint32 major, const QList<quint32> &brands)
{
    if (major == fourcc("crx "))
        return Kind::CanonRaw;
    if (isAvifBrand(major))
        return Kind::Avif;
    if (isHeifBrand(major))
        return Kind::Heif;
    for (quint32 b : brands) {
        if (b == fourcc("crx "))
            return Kind::CanonRaw;
    }
    for (quint32 b : brands) {
        if (isAvifBrand(b))
            return Kind::Avif;
    }
    for (quint32 b : brands) {
        if (isHeifBrand(b))
            return Kind::Heif;
    }
    return Kind::Movie;
}

} // namespace

QString fourccText(quint32 type)
{
    QString text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const quint8 ch = quint8(type >> shift);
        text.append(ch == 0xa9 ? QChar(0xa9) : QChar(QLatin1Char(char(ch))));
    }
    return text;
}

QList<Box> children(const ByteSource &source, qint64 begin, qint64 end, bool *truncated)
{
    QList<Box> out;
    end = std::min(end, source.size());
    qint64 at = begin;
    while (at >= 0 && at + 8 <= end && out.size() < kMaxChildren) {
        unsigned char h[16];
        if (!source.read(at, h, 8))
            break;
        const QByteArray head(reinterpret_cast<const char *>(h), 8);
        Box box;
        box.offset = at;
        box.type = be32(head, 4);
        quint64 size = be32(head, 0);
        qint64 header = 8;
        if (size == 1) {
            if (at + 16 > end || !source.read(at + 8, h + 8, 8))
                break;
            size = be64(QByteArray(reinterpret_cast<const char *>(h + 8), 8), 0);
            header = 16;
        } else if (size == 0) {
            size = quint64(end - at); // to the end of the enclosing range
        }
        if (box.type == fourcc("uuid")) {
            box.uuid = source.bytes(at + header, 16);
            if (box.uuid.size() != 16)
                break;
            header += 16;
        }
        if (size < quint64(header)) {
            if (truncated)
                *truncated = true;
            break; // a size that does not even cover the header: nothing after it is trusted
        }
        if (size > quint64(end - at)) {
            if (!truncated)
                break;
            *truncated = true;
            size = quint64(end - at);
        }
        box.size = qint64(size);
        box.bodyOffset = at + header;
        out.append(box);
        at += box.size;
    }
    return out;
}

bool looksLikeIsoMedia(const QByteArray &head)
{
    if (head.size() < 12)
        return false;
    const quint32 type = be32(head, 4);
    if (type == fourcc("ftyp"))
        return true;
    // Older QuickTime movies start with one of these instead of a file-type box.
    const quint32 size = be32(head, 0);
    return (type == fourcc("moov") || type == fourcc("mdat") || type == fourcc("wide") ||
            type == fourcc("free") || type == fourcc("skip") || type == fourcc("pnot")) &&
           (size == 0 || size == 1 || size >= 8);
}

Contents read(const ByteSource &source)
{
    Contents c;
    bool truncated = false;
    const QList<Box> top = children(source, 0, source.size(), &truncated);
    if (truncated)
        c.problems << QStringLiteral("file cut off");
    if (top.isEmpty())
        return c;
    if (const auto ftyp = first(top, fourcc("ftyp"))) {
        const QByteArray b = body(source, *ftyp, 1024);
        c.majorBrand = be32(b, 0);
        for (qsizetype at = 8; at + 4 <= b.size(); at += 4)
            c.compatibleBrands << be32(b, at);
    }
    c.kind = kindOf(c.majorBrand, c.compatibleBrands);

    bool sawMeta = false;
    bool sawMovie = false;
    for (const Box &b : top) {
        if (b.type == fourcc("meta") && (c.kind == Kind::Heif || c.kind == Kind::Avif) &&
            !sawMeta) {
            sawMeta = true;
            readStillPicture(source, b, c);
        } else if (b.type == fourcc("moov") && !sawMovie) {
            sawMovie = true;
            readMovie(source, b, c);
        } else if (b.type == fourcc("uuid") && b.uuid == kCanonPreviewUuid) {
            readCanonPreview(source, b, c);
        }
    }
    if ((c.kind == Kind::Heif || c.kind == Kind::Avif) && !sawMeta)
        c.problems << QStringLiteral("no metadata box");
    if ((c.kind == Kind::Movie || c.kind == Kind::CanonRaw) && !sawMovie)
        c.problems << QStringLiteral("no movie box (moov)");
    std::sort(c.pictures.begin(), c.pictures.end(),
              [](const EmbeddedPicture &a, const EmbeddedPicture &b) {
                  return a.where.length < b.where.length;
              });
    return c;
}

} // namespace IsoMedia
