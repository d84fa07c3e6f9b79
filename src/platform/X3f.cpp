#include "platform/X3f.h"

#include <algorithm>

namespace X3f {

namespace {

using Bytes::le32;

constexpr quint32 kMaxEntries = 1000;
constexpr qint64 kMaxProperties = 1 << 20;
constexpr quint32 kJpegFormat = 18;

QString utf16At(const QByteArray &chars, quint32 index)
{
    QString text;
    for (qsizetype at = qsizetype(index) * 2; at + 1 < chars.size() && text.size() < 1024;
         at += 2) {
        const char16_t c = Bytes::le16(chars, at);
        if (c == 0)
            break;
        text.append(QChar(c));
    }
    return text;
}

void readProperties(const ByteSource &source, qint64 offset, qint64 length, Contents &c)
{
    const QByteArray b = source.bytes(offset, std::min(length, kMaxProperties), kMaxProperties);
    if (b.size() < 24 || !b.startsWith("SECp")) {
        c.problems << QStringLiteral("property list unreadable");
        return;
    }
    const quint32 count = std::min(le32(b, 8), kMaxEntries);
    if (le32(b, 12) != 0) // only UTF-16 texts are defined
        return;
    const qsizetype table = 24;
    const QByteArray chars = b.mid(table + qsizetype(count) * 8);
    for (quint32 i = 0; i < count && table + qsizetype(i + 1) * 8 <= b.size(); ++i) {
        const QString name = utf16At(chars, le32(b, table + i * 8));
        const QString value = utf16At(chars, le32(b, table + i * 8 + 4));
        if (!name.isEmpty() && !c.properties.contains(name))
            c.properties.insert(name, value.trimmed());
    }
}

void readImage(const ByteSource &source, qint64 offset, qint64 length, Contents &c)
{
    const QByteArray b = source.bytes(offset, 28);
    if (b.size() < 28 || !b.startsWith("SECi") || le32(b, 12) != kJpegFormat || length <= 28)
        return;
    if (length - 28 > c.jpegLength) {
        c.jpegOffset = offset + 28;
        c.jpegLength = length - 28;
    }
}

} // namespace

bool looksLikeX3f(const QByteArray &head)
{
    return head.startsWith("FOVb");
}

Contents read(const ByteSource &source)
{
    Contents c;
    const QByteArray header = source.bytes(0, 40);
    if (header.size() < 40 || !looksLikeX3f(header))
        return c;
    c.width = int(std::min<quint32>(le32(header, 28), 1u << 20));
    c.height = int(std::min<quint32>(le32(header, 32), 1u << 20));
    const quint32 rotation = le32(header, 36);
    c.rotation = rotation % 90 == 0 ? int(rotation % 360) : 0;

    // The directory's offset is kept in the last four bytes of the file.
    const qint64 directory = le32(source.bytes(source.size() - 4, 4), 0);
    const QByteArray head = source.bytes(directory, 12);
    if (head.size() < 12 || !head.startsWith("SECd")) {
        c.problems << QStringLiteral("directory missing (file cut off?)");
        return c;
    }
    c.valid = true;
    const quint32 count = std::min(le32(head, 8), kMaxEntries);
    const QByteArray entries = source.bytes(directory + 12, qint64(count) * 12);
    if (entries.size() < qsizetype(count) * 12)
        c.problems << QStringLiteral("directory cut off");
    for (qsizetype at = 0; at + 12 <= entries.size(); at += 12) {
        const qint64 offset = le32(entries, at);
        const qint64 length = le32(entries, at + 4);
        const QByteArray type = entries.mid(at + 8, 4);
        if (!source.contains(offset, length)) {
            c.problems << QStringLiteral("section outside the file");
            continue;
        }
        if (type == "PROP")
            readProperties(source, offset, length, c);
        else if (type == "IMAG" || type == "IMA2")
            readImage(source, offset, length, c);
    }
    return c;
}

} // namespace X3f
