#include "platform/ImageProperties.h"

#include "platform/ByteSource.h"
#include "platform/IsoMedia.h"
#include "platform/PropertiesInternal.h"
#include "platform/X3f.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>
#include <QVariantList>

#include <exiv2/exiv2.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace ImageProperties {

using namespace detail;

namespace {
// ---- Facts Exiv2 does not give: colour model, bit depth and density from the file's header.

struct HeaderFacts
{
    bool frameFound = false;
    int components = 0;
    int depth = 0;
    int width = 0;
    int height = 0;
    double densityX = 0;
    double densityY = 0;
};

bool skip(QIODevice &device, qint64 count)
{
    const qint64 target = device.pos() + count;
    return count >= 0 && target <= device.size() && device.seek(target);
}

bool readExactly(QIODevice &device, unsigned char *into, qint64 count)
{
    return device.read(reinterpret_cast<char *>(into), count) == count;
}

// Walks the JPEG markers up to the frame header, reading only the segment headers it needs.
HeaderFacts readJpegHeader(QIODevice &device)
{
    HeaderFacts facts;
    unsigned char b[16];
    if (!readExactly(device, b, 2) || b[0] != 0xff || b[1] != 0xd8)
        return facts;
    const auto next = [&]() -> int {
        char c = 0;
        return device.getChar(&c) ? static_cast<unsigned char>(c) : -1;
    };
    for (int guard = 0; guard < 4096; ++guard) {
        const int c = next();
        if (c < 0)
            break;
        if (c != 0xff)
            continue;
        int marker = next();
        while (marker == 0xff)
            marker = next();
        if (marker < 0 || marker == 0xd9 || marker == 0xda)
            break;
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd7))
            continue;
        if (!readExactly(device, b, 2))
            break;
        const qint64 length = (b[0] << 8) | b[1];
        if (length < 2)
            break;
        const bool isFrame =
            marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (isFrame) {
            if (length < 8 || !readExactly(device, b, 6))
                break;
            facts.depth = b[0];
            facts.height = (b[1] << 8) | b[2];
            facts.width = (b[3] << 8) | b[4];
            facts.components = b[5];
            facts.frameFound = true;
            break;
        }
        if (marker == 0xe0 && length >= 16) {
            if (!readExactly(device, b, 14))
                break;
            if (std::memcmp(b, "JFIF\0", 5) == 0) {
                const int units = b[7];
                const double x = (b[8] << 8) | b[9];
                const double y = (b[10] << 8) | b[11];
                const double scale = units == 1 ? 1.0 : units == 2 ? 2.54 : 0.0;
                facts.densityX = x * scale;
                facts.densityY = y * scale;
            }
            if (!skip(device, length - 2 - 14))
                break;
            continue;
        }
        if (!skip(device, length - 2))
            break;
    }
    return facts;
}

HeaderFacts readPngHeader(QIODevice &device)
{
    HeaderFacts facts;
    const QByteArray head = device.read(29);
    if (head.size() < 29 || !head.startsWith("\x89PNG\r\n\x1a\n") || head.mid(12, 4) != "IHDR")
        return facts;
    const auto u8 = [&](int i) { return static_cast<unsigned char>(head[i]); };
    facts.width = (u8(16) << 24) | (u8(17) << 16) | (u8(18) << 8) | u8(19);
    facts.height = (u8(20) << 24) | (u8(21) << 16) | (u8(22) << 8) | u8(23);
    facts.depth = u8(24);
    const int colorType = u8(25);
    facts.components = (colorType == 0 || colorType == 4) ? 1 : 3;
    facts.frameFound = true;
    return facts;
}

// The description of an ICC profile ('desc' tag, version 2 text or version 4 Unicode list).
QString iccDescription(const Exiv2::DataBuf &icc)
{
    const unsigned char *p = icc.pData_;
    const long size = icc.size_;
    if (!p || size < 132)
        return {};
    const auto be32 = [&](long at) -> quint32 {
        return (quint32(p[at]) << 24) | (quint32(p[at + 1]) << 16) | (quint32(p[at + 2]) << 8) |
               quint32(p[at + 3]);
    };
    const quint32 tagCount = be32(128);
    for (quint32 i = 0; i < tagCount && 132 + long(i + 1) * 12 <= size; ++i) {
        const long entry = 132 + long(i) * 12;
        if (std::memcmp(p + entry, "desc", 4) != 0)
            continue;
        const long offset = be32(entry + 4);
        const long length = be32(entry + 8);
        if (offset < 0 || length < 12 || offset > size || length > size - offset)
            return {};
        if (std::memcmp(p + offset, "desc", 4) == 0) {
            const long n = be32(offset + 8);
            if (n <= 0 || n > length - 12)
                return {};
            return trimmedText(std::string(reinterpret_cast<const char *>(p + offset + 12),
                                           static_cast<size_t>(n)));
        }
        if (std::memcmp(p + offset, "mluc", 4) == 0 && length >= 28) {
            const long recordOffset = be32(offset + 20);
            const long recordLength = be32(offset + 24) / 2 * 2;
            if (recordOffset < 0 || recordLength < 0 || recordOffset + recordLength > length)
                return {};
            QString text;
            for (long j = 0; j < recordLength; j += 2) {
                const long at = offset + recordOffset + j;
                text.append(QChar(static_cast<char16_t>((p[at] << 8) | p[at + 1])));
            }
            return trimmedText(text.toStdString());
        }
        return {};
    }
    return {};
}

// The properties of an image Exiv2 has opened; `device` holds the same bytes, for the few
// header facts Exiv2 does not give.
std::optional<QVariantMap> read(Exiv2::Image &image, QIODevice &device, QStringList *problems)
{
    image.readMetadata();
    const int type = static_cast<int>(image.imageType());
    const Exiv2::ExifData &exif = image.exifData();

    HeaderFacts header;
    if (type == Exiv2::ImageType::jpeg || type == Exiv2::ImageType::exv) {
        header = readJpegHeader(device);
        // A JPEG without a frame header is cut off or damaged before its picture starts.
        if (!header.frameFound) {
            if (problems)
                *problems << QStringLiteral("no picture after the metadata");
            return std::nullopt;
        }
    } else if (type == Exiv2::ImageType::png) {
        header = readPngHeader(device);
    }

    TopLevelFacts facts;
    facts.width = image.pixelWidth();
    facts.height = image.pixelHeight();
    if (facts.width <= 0 || facts.height <= 0) {
        facts.width = header.width;
        facts.height = header.height;
    }
    if (image.iccProfileDefined())
        facts.profile = iccDescription(*image.iccProfile());
    facts.densityX = header.densityX;
    facts.densityY = header.densityY;
    if (header.frameFound) {
        facts.colorModel = header.components == 1   ? QStringLiteral("Gray")
                           : header.components == 4 ? QStringLiteral("CMYK")
                                                    : QStringLiteral("RGB");
        facts.depth = header.depth;
    } else if (type == Exiv2::ImageType::tiff) {
        const int photometric =
            static_cast<int>(numberAt(exif, "Exif.Image.PhotometricInterpretation").value_or(2));
        facts.colorModel = photometric <= 1   ? QStringLiteral("Gray")
                           : photometric == 5 ? QStringLiteral("CMYK")
                           : photometric == 8 ? QStringLiteral("Lab")
                                              : QStringLiteral("RGB");
        facts.depth = static_cast<int>(numberAt(exif, "Exif.Image.BitsPerSample").value_or(8));
    }

    QVariantMap props = convertExif(exif);
    addMakerNoteFallbacks(props, exif);
    addXmpFallbacks(props, image.xmpData());
    addTopLevel(props, exif, facts);
    if (!props.contains(QStringLiteral("PixelWidth")) && exif.empty() && image.xmpData().empty())
        return std::nullopt; // nothing of an image here
    return props;
}

// Exiv2's reader for the kinds it knows; nullopt with a problem for the rest.
std::optional<QVariantMap> readWithExiv2(Exiv2::Image::AutoPtr image, QIODevice &device,
                                         QStringList *problems)
{
    try {
        if (!image.get())
            return std::nullopt;
        return read(*image, device, problems);
    } catch (const std::exception &e) {
        // Exiv2 throws for truncated or damaged files.
        if (problems)
            *problems << QString::fromLocal8Bit(e.what()).trimmed();
        return std::nullopt;
    }
}

} // namespace

namespace detail {

void addTopLevel(QVariantMap &props, const Exiv2::ExifData &exif, const TopLevelFacts &facts)
{
    // The few standard tags needed here, found in one pass (a search per tag would walk every
    // maker-note tag again each time).
    std::optional<double> pixelX, pixelY, orientationTag, xRes, yRes, resolutionUnit, colorSpace;
    bool adobeInterop = false;
    for (const Exiv2::Exifdatum &datum : exif) {
        std::optional<double> *slot = nullptr;
        const std::string group = datum.groupName();
        if (group == "Image") {
            switch (datum.tag()) {
            case 0x0112:
                slot = &orientationTag;
                break;
            case 0x011a:
                slot = &xRes;
                break;
            case 0x011b:
                slot = &yRes;
                break;
            case 0x0128:
                slot = &resolutionUnit;
                break;
            default:
                break;
            }
        } else if (group == "Photo") {
            switch (datum.tag()) {
            case 0xa002:
                slot = &pixelX;
                break;
            case 0xa003:
                slot = &pixelY;
                break;
            case 0xa001:
                slot = &colorSpace;
                break;
            default:
                break;
            }
        } else if (group == "Iop" && datum.tag() == 0x0001) {
            adobeInterop = trimmedText(datum.value().toString()) == "R03";
        }
        if (slot && !*slot)
            *slot = firstNumber(datum.value());
    }

    int width = facts.width;
    int height = facts.height;
    if (width <= 0 || height <= 0) {
        width = static_cast<int>(pixelX.value_or(0));
        height = static_cast<int>(pixelY.value_or(0));
    }
    if (width > 0 && height > 0) {
        props.insert(QStringLiteral("PixelWidth"), width);
        props.insert(QStringLiteral("PixelHeight"), height);
    }

    if (orientationTag)
        props.insert(QStringLiteral("Orientation"), static_cast<int>(*orientationTag));

    // Density in dots per inch: the resolution tags, else the JFIF header, else the usual 72.
    double dpiX = 0;
    double dpiY = 0;
    if (xRes && yRes && *xRes > 0 && *yRes > 0) {
        const double unit = resolutionUnit.value_or(2);
        const double scale = unit == 3 ? 2.54 : 1.0;
        dpiX = *xRes * scale;
        dpiY = *yRes * scale;
    } else if (facts.densityX > 0 && facts.densityY > 0) {
        dpiX = facts.densityX;
        dpiY = facts.densityY;
    } else {
        dpiX = dpiY = 72;
    }
    props.insert(QStringLiteral("DPIWidth"), dpiX);
    props.insert(QStringLiteral("DPIHeight"), dpiY);

    QString profile = facts.profile;
    if (profile.isEmpty()) {
        if (adobeInterop)
            profile = QStringLiteral("Adobe RGB (1998)");
        else if (colorSpace && *colorSpace == 1)
            profile = QStringLiteral("sRGB IEC61966-2.1");
    }
    if (!profile.isEmpty())
        props.insert(QStringLiteral("ProfileName"), profile);

    // Colour model and bits per sample; raw sensor data develops to 16-bit RGB.
    QString model = facts.colorModel;
    int depth = facts.depth;
    if (model.isEmpty() && width > 0) {
        model = QStringLiteral("RGB");
        depth = depth > 0 ? depth : 16;
    }
    if (!model.isEmpty())
        props.insert(QStringLiteral("ColorModel"), model);
    if (depth > 0)
        props.insert(QStringLiteral("Depth"), depth);
}

} // namespace detail

void initializeExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Exiv2 reports damaged files on standard error; callers get a return value instead.
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        // The XMP toolkit is set up once, with a lock it takes around its shared state, so
        // that files with XMP packets can be read from several threads.
        static std::recursive_mutex xmpLock;
        Exiv2::XmpParser::initialize(
            [](void *data, bool lock) {
                auto *m = static_cast<std::recursive_mutex *>(data);
                if (lock)
                    m->lock();
                else
                    m->unlock();
            },
            &xmpLock);
    });
}

std::optional<QVariantMap> exif(const QString &path, QStringList *problems)
{
    // Only regular files: opening a named pipe or a device would block or never end.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return std::nullopt;
    initializeExiv2();
    const FileByteSource source(path);
    if (!source.isOpen())
        return std::nullopt;
    const QByteArray head = source.bytes(0, std::min<qint64>(source.size(), 16));
    if (IsoMedia::looksLikeIsoMedia(head))
        return readIsoMedia(source, path, problems);
    if (X3f::looksLikeX3f(head))
        return readX3f(source, problems);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    try {
        return readWithExiv2(Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString()), file,
                             problems);
    } catch (const std::exception &) {
        return std::nullopt; // not a kind of file Exiv2 knows
    }
}

std::optional<QVariantMap> fromData(const QByteArray &bytes, QStringList *problems)
{
    if (bytes.isEmpty())
        return std::nullopt;
    initializeExiv2();
    const QByteArray head = bytes.left(16);
    if (IsoMedia::looksLikeIsoMedia(head))
        return readIsoMedia(MemoryByteSource(bytes), QString(), problems);
    if (X3f::looksLikeX3f(head))
        return readX3f(MemoryByteSource(bytes), problems);
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return std::nullopt;
    try {
        return readWithExiv2(
            Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(bytes.constData()),
                                      static_cast<long>(bytes.size())),
            buffer, problems);
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

bool hasPosition(const QVariantMap &properties)
{
    const QVariantMap gps = properties.value(QStringLiteral("{GPS}")).toMap();
    const auto number = [&gps](const char *key) {
        bool ok = false;
        gps.value(QLatin1String(key)).toDouble(&ok);
        return ok;
    };
    const auto reference = [&gps](const char *key, const char *plus, const char *minus) {
        const QString text = gps.value(QLatin1String(key)).toString();
        return text == QLatin1String(plus) || text == QLatin1String(minus);
    };
    return number("Latitude") && number("Longitude") && reference("LatitudeRef", "N", "S") &&
           reference("LongitudeRef", "E", "W");
}

std::optional<Position> position(const QVariantMap &properties)
{
    if (!hasPosition(properties))
        return std::nullopt;
    const QVariantMap gps = properties.value(QStringLiteral("{GPS}")).toMap();
    const auto sign = [&gps](const char *key, const char *minus) {
        return gps.value(QLatin1String(key)).toString() == QLatin1String(minus) ? -1.0 : 1.0;
    };
    return Position{sign("LatitudeRef", "S") * gps.value(QStringLiteral("Latitude")).toDouble(),
                    sign("LongitudeRef", "W") * gps.value(QStringLiteral("Longitude")).toDouble()};
}

} // namespace ImageProperties
