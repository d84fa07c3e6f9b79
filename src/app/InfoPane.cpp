#include "app/InfoPane.h"

#include "items/ThumbItem.h"
#include "metadata/Metadata.h"
#include "platform/Format.h"

#include <QFileInfo>

namespace {

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

// Values are shown as text, so a file name holding "<" or "&" cannot turn into markup.
QVariant escaped(const QVariant &value)
{
    if (isNumber(value))
        return value;
    return describeVariant(value).toHtmlEscaped();
}

// "{Exif}.FNumber" read as nested keys.
QVariant lookup(const QVariantMap &metadata, const QString &path)
{
    const int dot = path.indexOf(QLatin1Char('.'));
    if (dot < 0 || !path.startsWith(QLatin1Char('{')))
        return metadata.value(path);
    const QVariant group = metadata.value(path.left(dot));
    if (group.typeId() != QMetaType::QVariantMap)
        return QVariant();
    return group.toMap().value(path.mid(dot + 1));
}

} // namespace

void InfoPane::writeMeta(QString &text, const QString &label, const QVariant &value, int limit,
                         bool wantBreak)
{
    if (!value.isValid() || value.isNull())
        return;
    if (limit > 0) {
        QVariant shown = value;
        if (value.typeId() == QMetaType::QString && value.toString().size() > limit)
            shown = value.toString().left(limit);
        if (isNumber(shown))
            text += formatMessage("%@:<font color=blue> %.1f</font>", label, shown.toDouble());
        else
            text += formatMessage("%@:<font color=blue> %@</font>", label, escaped(shown));
    } else {
        text += formatMessage("%@:<font color=blue> %@</font>", label, escaped(value));
    }
    text += wantBreak ? QStringLiteral("<br>")
                      : QStringLiteral("&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;");
}

QString InfoPane::fractionFor(const QVariant &value)
{
    return describeVariant(Metadata::fractionFor(value));
}

QString InfoPane::imageDataHtml(ThumbItem *item)
{
    QString text;
    if (!item)
        return text;
    text += QStringLiteral("<body style='font-family: Lucida Grande, Helvetica; font-size: 10;'>");
    item->loadMetadata();
    const QVariantMap metadata = item->metadata.value_or(QVariantMap());
    const auto meta = [&](const char *path) { return lookup(metadata, QString::fromLatin1(path)); };

    // Camera items have no path, hence no folder line.
    const QVariant folder =
        item->path.isEmpty() ? QVariant() : QVariant(QFileInfo(item->path).path());
    writeMeta(text, QStringLiteral("Folder"), folder, 0, true);
    writeMeta(text, QStringLiteral("Filename"), item->title(), 0, true);
    writeMeta(text, QStringLiteral("DateTime"), meta("{TIFF}.DateTime"), 0, true);
    writeMeta(text, QStringLiteral("PixelWidth"), meta("PixelWidth"), 0, false);
    writeMeta(text, QStringLiteral("PixelHeight"), meta("PixelHeight"), 0, true);
    const QVariant exposure = meta("{Exif}.ExposureTime");
    writeMeta(text, QStringLiteral("ExposureTime"),
              exposure.isValid() ? QVariant(fractionFor(exposure)) : QVariant(), 0, false);
    writeMeta(text, QStringLiteral("FNumber"), meta("{Exif}.FNumber"), 4, true);
    writeMeta(text, QStringLiteral("FocalLength"), meta("{Exif}.FocalLength"), 4, false);
    QVariant iso = meta("{Exif}.ISOSpeedRatings");
    if (iso.typeId() == QMetaType::QVariantList && !iso.toList().isEmpty())
        iso = iso.toList().first();
    writeMeta(text, QStringLiteral("ISO"), iso, 0, true);
    writeMeta(text, QStringLiteral("Make"), meta("{TIFF}.Make"), 0, false);
    writeMeta(text, QStringLiteral("Model"), meta("{TIFF}.Model"), 0, true);
    writeMeta(text, QStringLiteral("LensModel"), meta("{ExifAux}.LensModel"), 0, true);
    writeMeta(text, QStringLiteral("ShutterCount"), meta("{MakerNikon}.ShutterCount"), 0, true);
    writeMeta(text, QStringLiteral("SerialNumber"), meta("{ExifAux}.SerialNumber"), 0, true);
    text += QStringLiteral("</body>");
    return text;
}
