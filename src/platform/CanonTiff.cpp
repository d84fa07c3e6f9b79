#include "platform/CanonTiff.h"

#include <QList>

#include <algorithm>
#include <optional>

namespace CanonTiff {

namespace {

constexpr quint16 kExifTag = 0x8769;
constexpr quint16 kGpsTag = 0x8825;
constexpr quint16 kInteropTag = 0xa005;
constexpr quint16 kSubIfdsTag = 0x014a;
constexpr quint16 kMakerNoteTag = 0x927c;
constexpr int kMaxEntries = 1000;

// Numbers in one byte order, bounds-checked against the buffer (0 past its end).
struct Order
{
    bool little = true;

    quint16 u16(const QByteArray &b, qint64 at) const
    {
        if (at < 0 || at + 2 > b.size())
            return 0;
        const quint8 x = quint8(b[at]), y = quint8(b[at + 1]);
        return little ? quint16(x | (y << 8)) : quint16((x << 8) | y);
    }
    quint32 u32(const QByteArray &b, qint64 at) const
    {
        const quint32 lo = u16(b, at + (little ? 0 : 2));
        const quint32 hi = u16(b, at + (little ? 2 : 0));
        return lo | (hi << 16);
    }
    void put16(QByteArray &b, qint64 at, quint16 v) const
    {
        b[at] = char(little ? v & 0xff : v >> 8);
        b[at + 1] = char(little ? v >> 8 : v & 0xff);
    }
    void put32(QByteArray &b, qint64 at, quint32 v) const
    {
        put16(b, at + (little ? 0 : 2), quint16(v & 0xffff));
        put16(b, at + (little ? 2 : 0), quint16(v >> 16));
    }
};

std::optional<Order> headerOrder(const QByteArray &block)
{
    if (block.size() < 8)
        return std::nullopt;
    if (block.startsWith(QByteArray("II*\0", 4)))
        return Order{true};
    if (block.startsWith(QByteArray("MM\0*", 4)))
        return Order{false};
    return std::nullopt;
}

qint64 typeSize(quint16 type)
{
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
        return 1;
    case 3:
    case 8:
        return 2;
    case 4:
    case 9:
    case 11:
    case 13:
        return 4;
    case 5:
    case 10:
    case 12:
        return 8;
    default:
        return 0;
    }
}

bool isPointer(quint16 tag)
{
    return tag == kExifTag || tag == kGpsTag || tag == kInteropTag || tag == kSubIfdsTag;
}

// Moves the offsets of the directory at `ifd` (inside a block now placed at `base` of `out`)
// by `base`, and those of the directories it points to; the chain to a next directory is cut.
void relocate(QByteArray &out, const Order &o, qint64 base, qint64 blockEnd, quint32 ifd, int depth)
{
    const qint64 at = base + qint64(ifd);
    if (depth > 3 || ifd < 8 || at + 2 > blockEnd)
        return;
    const int count = std::min<int>(o.u16(out, at), kMaxEntries);
    const int fitting = int(std::min<qint64>(count, (blockEnd - at - 2) / 12));
    for (int i = 0; i < fitting; ++i) {
        const qint64 entry = at + 2 + qint64(i) * 12;
        const quint16 tag = o.u16(out, entry);
        const quint16 type = o.u16(out, entry + 2);
        const qint64 size = typeSize(type) * qint64(o.u32(out, entry + 4));
        const quint32 value = o.u32(out, entry + 8);
        if (size > 4) {
            o.put32(out, entry + 8, value + quint32(base));
        } else if (isPointer(tag) && size == 4) {
            relocate(out, o, base, blockEnd, value, depth + 1);
            o.put32(out, entry + 8, value + quint32(base));
        }
    }
    const qint64 next = at + 2 + qint64(fitting) * 12;
    if (next + 4 <= blockEnd)
        o.put32(out, next, 0);
}

struct Entry
{
    quint16 tag = 0;
    QByteArray raw; // the 12 bytes as stored
};

QList<Entry> entriesAt(const QByteArray &out, const Order &o, qint64 at, qint64 blockEnd)
{
    QList<Entry> entries;
    if (at + 2 > blockEnd)
        return entries;
    const int count = std::min<int>(o.u16(out, at), kMaxEntries);
    for (int i = 0; i < count && at + 2 + qint64(i + 1) * 12 <= blockEnd; ++i) {
        const qint64 entry = at + 2 + qint64(i) * 12;
        entries.append({o.u16(out, entry), out.mid(entry, 12)});
    }
    return entries;
}

Entry makeEntry(const Order &o, quint16 tag, quint16 type, quint32 count, quint32 value)
{
    Entry e{tag, QByteArray(12, '\0')};
    o.put16(e.raw, 0, tag);
    o.put16(e.raw, 2, type);
    o.put32(e.raw, 4, count);
    o.put32(e.raw, 8, value);
    return e;
}

void align(QByteArray &out)
{
    while (out.size() % 4 != 0)
        out.append('\0');
}

// Writes a directory at the end of `out` (entries in tag order) and answers its offset.
quint32 appendDirectory(QByteArray &out, const Order &o, QList<Entry> entries, quint32 next)
{
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry &a, const Entry &b) { return a.tag < b.tag; });
    align(out);
    const qint64 at = out.size();
    out.append(QByteArray(2 + entries.size() * 12 + 4, '\0'));
    o.put16(out, at, quint16(entries.size()));
    for (qsizetype i = 0; i < entries.size(); ++i)
        out.replace(at + 2 + i * 12, 12, entries[i].raw);
    o.put32(out, at + 2 + entries.size() * 12, next);
    return quint32(at);
}

// Appends a block and moves its offsets; answers where its first directory now is, or 0.
quint32 appendBlock(QByteArray &out, const Order &o, const QByteArray &block, qint64 *start)
{
    const auto order = headerOrder(block);
    if (!order || order->little != o.little)
        return 0;
    const quint32 ifd = o.u32(block, 4);
    if (ifd < 8 || qint64(ifd) + 2 > block.size())
        return 0;
    align(out);
    *start = out.size();
    out.append(block);
    relocate(out, o, *start, out.size(), ifd, 0);
    return quint32(*start) + ifd;
}

} // namespace

QByteArray join(const QByteArray &ifd0, const QByteArray &exif, const QByteArray &makerNote,
                const QByteArray &gps)
{
    const auto order = headerOrder(ifd0);
    if (!order)
        return {};
    const Order o = *order;
    const quint32 firstIfd = o.u32(ifd0, 4);
    if (firstIfd < 8 || qint64(firstIfd) + 2 > ifd0.size())
        return {};
    // The first block stays where it is: its offsets are already right.
    QByteArray out = ifd0;
    const QList<Entry> ifd0Entries = entriesAt(out, o, firstIfd, ifd0.size());

    qint64 exifStart = 0;
    qint64 makerStart = 0;
    qint64 gpsStart = 0;
    const quint32 exifIfd = appendBlock(out, o, exif, &exifStart);
    const quint32 makerIfd = appendBlock(out, o, makerNote, &makerStart);
    const quint32 gpsIfd = appendBlock(out, o, gps, &gpsStart);

    quint32 exifDirectory = 0;
    if (exifIfd != 0) {
        QList<Entry> entries;
        for (const Entry &e : entriesAt(out, o, exifIfd, exifStart + exif.size())) {
            if (e.tag != kMakerNoteTag)
                entries.append(e);
        }
        if (makerIfd != 0) {
            const quint32 length = quint32(makerStart + makerNote.size()) - makerIfd;
            entries.append(makeEntry(o, kMakerNoteTag, 7, length, makerIfd));
        }
        exifDirectory = appendDirectory(out, o, entries, 0);
    }
    QList<Entry> entries;
    for (const Entry &e : ifd0Entries) {
        if (e.tag != kExifTag && e.tag != kGpsTag)
            entries.append(e);
    }
    if (exifDirectory != 0)
        entries.append(makeEntry(o, kExifTag, 4, 1, exifDirectory));
    if (gpsIfd != 0)
        entries.append(makeEntry(o, kGpsTag, 4, 1, gpsIfd));
    const quint32 directory = appendDirectory(out, o, entries, 0);
    o.put32(out, 4, directory);
    return out;
}

} // namespace CanonTiff
