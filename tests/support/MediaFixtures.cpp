#include "support/MediaFixtures.h"

#include <QBuffer>
#include <QImage>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <tuple>

namespace MediaFixtures {

namespace {

constexpr qint64 kQuickTimeEpochOffset = 2082844800;

QByteArray be16(quint16 v)
{
    return QByteArray().append(char(v >> 8)).append(char(v & 0xff));
}

QByteArray be32(quint32 v)
{
    return be16(quint16(v >> 16)) + be16(quint16(v & 0xffff));
}

QByteArray le16(quint16 v)
{
    return QByteArray().append(char(v & 0xff)).append(char(v >> 8));
}

QByteArray le32(quint32 v)
{
    return le16(quint16(v & 0xffff)) + le16(quint16(v >> 16));
}

QByteArray typeBytes(const QString &name)
{
    QByteArray out = name.toLatin1(); // "©" becomes the single byte 0xA9
    out.resize(4, ' ');
    return out;
}

QByteArray boxOf(const QByteArray &type, const QByteArray &body)
{
    return be32(quint32(8 + body.size())) + type + body;
}

QByteArray ftyp(const QByteArray &major, const QList<QByteArray> &compatible)
{
    QByteArray body = major + be32(0);
    for (const QByteArray &b : compatible)
        body += b;
    return box("ftyp", body);
}

QByteArray identityMatrix(int rotation)
{
    qint32 a = 0x10000, b = 0, c = 0, d = 0x10000;
    if (rotation == 90) {
        a = 0, b = 0x10000, c = -0x10000, d = 0;
    } else if (rotation == 180) {
        a = -0x10000, d = -0x10000;
    } else if (rotation == 270) {
        a = 0, b = -0x10000, c = 0x10000, d = 0;
    }
    return be32(quint32(a)) + be32(quint32(b)) + be32(0) + be32(quint32(c)) + be32(quint32(d)) +
           be32(0) + be32(0) + be32(0) + be32(0x40000000);
}

QByteArray movieHeader(std::optional<qint64> created)
{
    const quint32 time = created ? quint32(*created + kQuickTimeEpochOffset) : 0;
    QByteArray body = be32(time) + be32(time) + be32(1000) + be32(2400) + be32(0x00010000) +
                      be16(0x0100) + QByteArray(10, '\0') + identityMatrix(0) +
                      QByteArray(24, '\0') + be32(2);
    return fullBox("mvhd", 0, 0, body);
}

QByteArray videoTrack(const Movie &spec, quint32 firstSampleOffset)
{
    const quint32 time = spec.created ? quint32(*spec.created + kQuickTimeEpochOffset) : 0;
    const QByteArray tkhd =
        fullBox("tkhd", 0, 7,
                be32(time) + be32(time) + be32(1) + be32(0) + be32(2400) + QByteArray(8, '\0') +
                    be16(0) + be16(0) + be16(0) + be16(0) + identityMatrix(spec.rotation) +
                    be32(quint32(spec.width) << 16) + be32(quint32(spec.height) << 16));
    const QByteArray mdhd = fullBox(
        "mdhd", 0, 0, be32(time) + be32(time) + be32(600) + be32(1440) + be16(0x55c4) + be16(0));
    const QByteArray hdlr =
        fullBox("hdlr", 0, 0, be32(0) + "vide" + QByteArray(12, '\0') + "VideoHandler" + '\0');
    const bool jpegs = !spec.jpegFrames.isEmpty();
    const QByteArray sampleEntry =
        box(jpegs ? "jpeg" : "avc1", QByteArray(6, '\0') + be16(1) + QByteArray(16, '\0') +
                                         be16(quint16(spec.width)) + be16(quint16(spec.height)) +
                                         be32(0x00480000) + be32(0x00480000) + be32(0) + be16(1) +
                                         QByteArray(32, '\0') + be16(0x18) + be16(0xffff));
    // Sample tables: every frame one second (600 units), each in a chunk of its own.
    const quint32 frames = quint32(spec.jpegFrames.size());
    QByteArray sizes = be32(0) + be32(frames);
    QByteArray offsets = be32(frames);
    quint32 offset = firstSampleOffset;
    for (const QByteArray &f : spec.jpegFrames) {
        sizes += be32(quint32(f.size()));
        offsets += be32(offset);
        offset += quint32(f.size());
    }
    const QByteArray times = frames ? be32(1) + be32(frames) + be32(600) : be32(0);
    const QByteArray chunks = frames ? be32(1) + be32(1) + be32(1) + be32(1) : be32(0);
    const QByteArray stbl =
        box("stbl", fullBox("stsd", 0, 0, be32(1) + sampleEntry) + fullBox("stts", 0, 0, times) +
                        fullBox("stsc", 0, 0, chunks) + fullBox("stsz", 0, 0, sizes) +
                        fullBox("stco", 0, 0, offsets));
    const QByteArray minf = box("minf", fullBox("vmhd", 0, 1, QByteArray(8, '\0')) + stbl);
    return box("trak", tkhd + box("mdia", mdhd + hdlr + minf));
}

QByteArray userDataBox(const QMap<QString, QString> &texts)
{
    QByteArray body;
    for (auto it = texts.begin(); it != texts.end(); ++it) {
        const QByteArray text = it.value().toUtf8();
        body += boxOf(typeBytes(it.key()), be16(quint16(text.size())) + be16(0x55c4) + text);
    }
    return box("udta", body);
}

QByteArray metadataKeysBox(const QMap<QString, QString> &keys)
{
    QByteArray keyTable = be32(quint32(keys.size()));
    QByteArray list;
    quint32 index = 1;
    for (auto it = keys.begin(); it != keys.end(); ++it, ++index) {
        const QByteArray name = it.key().toUtf8();
        keyTable += be32(quint32(8 + name.size())) + "mdta" + name;
        const QByteArray data = box("data", be32(1) + be32(0) + it.value().toUtf8());
        list += boxOf(be32(index), data);
    }
    // QuickTime's form of the box: no version and flags before its children.
    return box("meta", fullBox("hdlr", 0, 0, be32(0) + "mdta" + QByteArray(12, '\0') + '\0') +
                           fullBox("keys", 0, 0, keyTable) + box("ilst", list));
}

} // namespace

TiffEntry ascii(quint16 tag, const QByteArray &text)
{
    const QByteArray data = text + '\0';
    return {tag, 2, quint32(data.size()), data};
}

TiffEntry shorts(quint16 tag, const QList<quint16> &values)
{
    QByteArray data;
    for (quint16 v : values)
        data += le16(v);
    return {tag, 3, quint32(values.size()), data};
}

TiffEntry longs(quint16 tag, const QList<quint32> &values)
{
    QByteArray data;
    for (quint32 v : values)
        data += le32(v);
    return {tag, 4, quint32(values.size()), data};
}

TiffEntry rational(quint16 tag, quint32 numerator, quint32 denominator)
{
    return {tag, 5, 1, le32(numerator) + le32(denominator)};
}

TiffEntry rationals(quint16 tag, const QList<std::pair<quint32, quint32>> &values)
{
    QByteArray data;
    for (const auto &[n, d] : values)
        data += le32(n) + le32(d);
    return {tag, 5, quint32(values.size()), data};
}

QByteArray tiff(QList<TiffEntry> entries)
{
    std::sort(entries.begin(), entries.end(),
              [](const TiffEntry &a, const TiffEntry &b) { return a.tag < b.tag; });
    const quint32 directorySize = quint32(2 + entries.size() * 12 + 4);
    QByteArray head = QByteArray("II*\0", 4) + le32(8) + le16(quint16(entries.size()));
    QByteArray values;
    const quint32 valuesStart = 8 + directorySize;
    for (const TiffEntry &e : entries) {
        head += le16(e.tag) + le16(e.type) + le32(e.count);
        if (e.data.size() <= 4) {
            head += e.data + QByteArray(4 - e.data.size(), '\0');
        } else {
            head += le32(valuesStart + quint32(values.size()));
            values += e.data;
            if (values.size() % 2)
                values += '\0';
        }
    }
    head += le32(0);
    return head + values;
}

QByteArray exifBlock(const QMap<QString, QString> &tags)
{
    Exiv2::ExifData data;
    for (auto it = tags.begin(); it != tags.end(); ++it)
        data[it.key().toStdString()] = it.value().toStdString();
    Exiv2::Blob blob;
    Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, data);
    return QByteArray(reinterpret_cast<const char *>(blob.data()), qsizetype(blob.size()));
}

QByteArray box(const char *type, const QByteArray &body)
{
    return boxOf(QByteArray(type, 4), body);
}

QByteArray fullBox(const char *type, int version, quint32 flags, const QByteArray &body)
{
    return box(type, be32((quint32(version) << 24) | (flags & 0xffffff)) + body);
}

QByteArray jpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(200, 120, 40));
    return jpeg(image);
}

QByteArray jpeg(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 80);
    return bytes;
}

QByteArray heif(const Heif &spec)
{
    const QByteArray head = ftyp(spec.brand, {QByteArray("mif1"), spec.brand});
    QByteArray exifItem;
    if (!spec.exif.isEmpty())
        exifItem =
            spec.exifPrefix ? be32(6) + QByteArray("Exif\0\0", 6) + spec.exif : be32(0) + spec.exif;
    const QByteArray codedPicture(64, '\x11');
    const bool avif = spec.brand.startsWith("avi");

    // Items: 1 the picture, 2 the Exif block, 3 the XMP packet.
    const auto meta = [&](quint32 dataStart) {
        QByteArray infos =
            fullBox("infe", 2, 0, be16(1) + be16(0) + (avif ? "av01" : "hvc1") + QByteArray(1, 0));
        quint16 count = 1;
        if (!exifItem.isEmpty()) {
            infos += fullBox("infe", 2, 0, be16(2) + be16(0) + "Exif" + QByteArray(1, 0));
            ++count;
        }
        if (!spec.xmp.isEmpty()) {
            infos += fullBox("infe", 2, 0,
                             be16(3) + be16(0) + "mime" + QByteArray(1, 0) + "application/rdf+xml" +
                                 QByteArray(1, 0));
            ++count;
        }
        // Locations: the picture always in the media data; metadata there or in 'idat'.
        const quint16 method = spec.metadataInIdat ? 1 : 0;
        quint32 offset = spec.metadataInIdat ? 0 : dataStart + quint32(codedPicture.size());
        QByteArray locations = be16(count);
        locations += be16(1) + be16(0) + be16(0) + be16(1) + be32(dataStart) +
                     be32(quint32(codedPicture.size()));
        if (!exifItem.isEmpty()) {
            locations += be16(2) + be16(method) + be16(0) + be16(1) + be32(offset) +
                         be32(quint32(exifItem.size()));
            offset += quint32(exifItem.size());
        }
        if (!spec.xmp.isEmpty())
            locations += be16(3) + be16(method) + be16(0) + be16(1) + be32(offset) +
                         be32(quint32(spec.xmp.size()));
        const QByteArray properties =
            box("ipco",
                fullBox("ispe", 0, 0, be32(quint32(spec.width)) + be32(quint32(spec.height))) +
                    box("irot", QByteArray(1, char(spec.rotationSteps & 3)))) +
            fullBox("ipma", 0, 0,
                    be32(1) + be16(1) + QByteArray(1, 2) + QByteArray(1, '\x81') +
                        QByteArray(1, 2));
        QByteArray body =
            fullBox("hdlr", 0, 0, be32(0) + "pict" + QByteArray(12, '\0') + QByteArray(1, 0)) +
            fullBox("pitm", 0, 0, be16(1)) + fullBox("iinf", 0, 0, be16(count) + infos) +
            box("iprp", properties) + fullBox("iloc", 1, 0, QByteArray("\x44\x00", 2) + locations);
        if (spec.metadataInIdat)
            body += box("idat", exifItem + spec.xmp);
        return fullBox("meta", 0, 0, body);
    };
    const qsizetype metaSize = meta(0).size();
    const quint32 dataStart = quint32(head.size() + metaSize + 8);
    QByteArray media = codedPicture;
    if (!spec.metadataInIdat)
        media += exifItem + spec.xmp;
    return head + meta(dataStart) + box("mdat", media);
}

QByteArray canonRaw(const CanonRaw &spec)
{
    const QByteArray head = ftyp("crx ", {QByteArray("crx "), QByteArray("isom")});
    QByteArray canon = box("CNCV", "CanonCR3_001/00.10.00/00.00.00");
    const QList<std::pair<const char *, QByteArray>> blocks = {
        {"CMT1", spec.ifd0}, {"CMT2", spec.exif}, {"CMT3", spec.makerNote}, {"CMT4", spec.gps}};
    for (const auto &[name, block] : blocks) {
        if (!block.isEmpty())
            canon += box(name, block);
    }
    if (!spec.thumbnail.isEmpty())
        canon += fullBox("THMB", 0, 0,
                         be16(160) + be16(120) + be32(quint32(spec.thumbnail.size())) + be16(1) +
                             be16(0) + spec.thumbnail);
    const QByteArray uuid = QByteArray::fromHex("85c0b687820f11e08111f4ce462b6a48");
    const QByteArray moov = box("moov", box("uuid", uuid + canon) + movieHeader(spec.created));
    QByteArray out = head + moov;
    if (!spec.preview.isEmpty()) {
        const QByteArray prvw = box("PRVW", be32(0) + be16(1) + be16(1620) + be16(1080) + be16(1) +
                                                be32(quint32(spec.preview.size())) + spec.preview);
        out += box("uuid", QByteArray::fromHex("eaf42b5e1c984b88b9fbb7dc406e4d16") +
                               QByteArray(8, '\0') + prvw);
    }
    return out + box("mdat", QByteArray(256, '\x22'));
}

QByteArray movie(const Movie &spec)
{
    const QByteArray head = ftyp(spec.brand, {spec.brand, QByteArray("mp41")});
    const auto moovFor = [&](quint32 firstSampleOffset) {
        QByteArray body = movieHeader(spec.created) + videoTrack(spec, firstSampleOffset);
        if (!spec.userData.isEmpty())
            body += userDataBox(spec.userData);
        if (!spec.keys.isEmpty())
            body += metadataKeysBox(spec.keys);
        return spec.withMovieBox ? box("moov", body) : QByteArray();
    };
    QByteArray media;
    for (const QByteArray &f : spec.jpegFrames)
        media += f;
    if (media.isEmpty())
        media = QByteArray(512, '\x33');
    const QByteArray mdat = box("mdat", media);
    if (spec.movieBoxFirst) {
        const qsizetype moovSize = moovFor(0).size();
        return head + moovFor(quint32(head.size() + moovSize + 8)) + mdat;
    }
    return head + mdat + moovFor(quint32(head.size() + 8));
}

QByteArray x3f(const QList<std::pair<QString, QString>> &properties, const QByteArray &preview,
               int width, int height)
{
    QByteArray file = QByteArray("FOVb") + le32(0x00020003) + QByteArray(16, 'u') + le32(0) +
                      le32(quint32(width)) + le32(quint32(height)) + le32(0);
    file.resize(256, '\0');
    const auto utf16 = [](const QString &text) {
        QByteArray out;
        for (QChar ch : text + QChar(0))
            out += le16(ch.unicode());
        return out;
    };
    QByteArray chars;
    QByteArray table;
    for (const auto &[name, value] : properties) {
        table += le32(quint32(chars.size() / 2));
        chars += utf16(name);
        table += le32(quint32(chars.size() / 2));
        chars += utf16(value);
    }
    QList<std::tuple<quint32, quint32, QByteArray>> sections;
    const QByteArray prop = QByteArray("SECp") + le32(0x00020000) +
                            le32(quint32(properties.size())) + le32(0) + le32(0) +
                            le32(quint32(chars.size() / 2)) + table + chars;
    sections.append({quint32(file.size()), quint32(prop.size()), "PROP"});
    file += prop;
    if (!preview.isEmpty()) {
        const QByteArray image = QByteArray("SECi") + le32(0x00020000) + le32(2) + le32(18) +
                                 le32(0) + le32(0) + le32(0) + preview;
        sections.append({quint32(file.size()), quint32(image.size()), "IMA2"});
        file += image;
    }
    const quint32 directory = quint32(file.size());
    file += QByteArray("SECd") + le32(0x00020000) + le32(quint32(sections.size()));
    for (const auto &[offset, length, type] : sections)
        file += le32(offset) + le32(length) + type;
    return file + le32(directory);
}

QString copyrightName(const char *rest)
{
    return QChar(0xa9) + QString::fromLatin1(rest);
}

} // namespace MediaFixtures
