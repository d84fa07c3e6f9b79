// Properties of Sigma X3F raws: the Exif block of the embedded preview where the body writes one,
// then the file's own property list for what that lacks. The property "TIME" counts seconds
// since 1970 of the camera's clock, which keeps local time: it is shown as that wall-clock time.
#include "platform/PropertiesInternal.h"
#include "platform/X3f.h"

#include <QDateTime>
#include <QTimeZone>

namespace ImageProperties::detail {

namespace {

constexpr qint64 kMaxPreview = 64 << 20;

std::optional<double> number(const X3f::Contents &c, const char *name)
{
    bool ok = false;
    const double v = c.properties.value(QString::fromLatin1(name)).toDouble(&ok);
    return ok ? std::optional<double>(v) : std::nullopt;
}

Exiv2::ExifData previewExif(const ByteSource &source, const X3f::Contents &c, QStringList *problems)
{
    Exiv2::ExifData exif;
    if (c.jpegOffset < 0)
        return exif;
    const QByteArray jpeg = source.bytes(c.jpegOffset, c.jpegLength, kMaxPreview);
    if (jpeg.isEmpty())
        return exif;
    try {
        auto image =
            Exiv2::ImageFactory::open(reinterpret_cast<const Exiv2::byte *>(jpeg.constData()),
                                      static_cast<long>(jpeg.size()));
        if (image.get()) {
            image->readMetadata();
            exif = image->exifData();
        }
    } catch (const std::exception &) {
        if (problems)
            *problems << QStringLiteral("preview damaged");
    }
    return exif;
}

} // namespace

std::optional<QVariantMap> readX3f(const ByteSource &source, QStringList *problems)
{
    const X3f::Contents c = X3f::read(source);
    if (problems)
        *problems << c.problems;
    if (!c.valid)
        return std::nullopt;
    const Exiv2::ExifData exif = previewExif(source, c, problems);
    QVariantMap props = convertExif(exif);
    addMakerNoteFallbacks(props, exif);

    const QString tiff = QStringLiteral("{TIFF}");
    const QString exifGroup = QStringLiteral("{Exif}");
    const QString aux = QStringLiteral("{ExifAux}");
    const auto text = [&](const QString &group, const char *name, const char *property) {
        setTextIfAbsent(props, group, QString::fromLatin1(name),
                        c.properties.value(QString::fromLatin1(property)));
    };
    const auto value = [&](const char *name, std::optional<double> v) {
        if (v && *v > 0)
            setIfAbsent(props, exifGroup, QString::fromLatin1(name), *v);
    };
    text(tiff, "Make", "CAMMANUF");
    text(tiff, "Model", "CAMMODEL");
    text(aux, "SerialNumber", "CAMSERIAL");
    text(aux, "LensModel", "LENSMODEL");
    value("FNumber", number(c, "APERTURE"));
    const auto shutter = number(c, "SHUTTER");
    const auto microseconds = number(c, "EXPTIME");
    value("ExposureTime",
          shutter ? shutter
                  : (microseconds ? std::optional<double>(*microseconds / 1e6) : std::nullopt));
    value("FocalLength", number(c, "FLENGTH"));
    if (const auto v = number(c, "FLEQ35MM"); v && *v > 0)
        setIfAbsent(props, exifGroup, QStringLiteral("FocalLenIn35mmFilm"),
                    integerValue(qint64(*v + 0.5)));
    if (const auto v = number(c, "ISO"); v && *v > 0)
        setIfAbsent(props, exifGroup, QStringLiteral("ISOSpeedRatings"),
                    QVariantList{integerValue(qint64(*v + 0.5))});
    if (const auto v = number(c, "EXPCOMP"))
        setIfAbsent(props, exifGroup, QStringLiteral("ExposureBiasValue"), *v);
    if (const auto v = number(c, "TIME"); v && *v > 0) {
        const QString date = QDateTime::fromSecsSinceEpoch(qint64(*v), QTimeZone::utc())
                                 .toString(QStringLiteral("yyyy:MM:dd HH:mm:ss"));
        setIfAbsent(props, exifGroup, QStringLiteral("DateTimeOriginal"), date);
        setIfAbsent(props, exifGroup, QStringLiteral("DateTimeDigitized"), date);
    }

    TopLevelFacts facts;
    facts.width = c.width;
    facts.height = c.height;
    addTopLevel(props, exif, facts);
    return props;
}

} // namespace ImageProperties::detail
