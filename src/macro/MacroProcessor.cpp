#include "macro/MacroProcessor.h"

#include "items/ThumbItem.h"
#include "items/UserValues.h"
#include "metadata/LookupsController.h"
#include "metadata/Metadata.h"
#include "platform/Clock.h"
#include "platform/DateReader.h"
#include "presets/Setup.h"

#include <QDate>

#include <cmath>
#include <limits>

#include <pwd.h>
#include <unistd.h>

namespace {

MacroProcessor *g_shared = nullptr;
std::function<QString()> g_fullNameSource;

const QString kExifDateLayout = QStringLiteral("yyyy:MM:dd HH:mm:ss");

// No file name can be longer, so a wider index could only exhaust memory.
constexpr int kMaxIndexWidth = 255;

bool sameText(const QString &a, const char *b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

// The leading integer of a text the way a numeric field reads it: blanks skipped, an optional
// sign, then digits; anything else ends it (no digits: 0). Clamped to the int range.
int leadingInteger(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    qint64 value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = value * 10 + (text[i].unicode() - u'0');
        if (value > std::numeric_limits<int>::max())
            return negative ? std::numeric_limits<int>::min() : std::numeric_limits<int>::max();
    }
    return static_cast<int>(negative ? -value : value);
}

// A date text the image-date rules accept: text of exactly 19 characters, not "0000...".
std::optional<QString> usableDate(const QVariant &value)
{
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    const QString text = value.toString();
    if (text.size() != 19 || text.startsWith(QLatin1String("0000")))
        return std::nullopt;
    return text;
}

QVariant exifValue(const ThumbItem &item, const QString &path)
{
    if (!item.metadata)
        return QVariant();
    return MacroProcessor::valueAtPath(*item.metadata, path);
}

QString nowText()
{
    return Clock::now().toLocalTime().toString(kExifDateLayout);
}

QString numberText(double value)
{
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

void replaceAll(QString &text, const char *what, const QString &with)
{
    text.replace(QLatin1String(what), with, Qt::CaseSensitive);
}

} // namespace

MacroProcessor::MacroProcessor()
{
    g_shared = this;
}

MacroProcessor::~MacroProcessor()
{
    if (g_shared == this)
        g_shared = nullptr;
}

MacroProcessor *MacroProcessor::sharedMacropProcessor()
{
    return g_shared;
}

QString MacroProcessor::expand(const QString &text, ThumbItem &item, const Setup &setup)
{
    item.loadMetadata();
    QString result;
    qsizetype position = 0;
    for (;;) {
        const qsizetype open = text.indexOf(QLatin1String("{@"), position);
        if (open < 0)
            break;
        const qsizetype close = text.indexOf(QLatin1Char('}'), open);
        if (close < 0)
            break;
        result += QStringView(text).mid(position, open - position);
        const QString body = text.mid(open + 2, close - open - 2);
        QString value = doMacroCall(body, item, setup);
        // "Space" is the one macro whose blank must survive.
        if (!sameText(body, "space"))
            value = value.trimmed();
        result += value;
        position = close + 1;
    }
    result += QStringView(text).mid(position);
    return result;
}

QString MacroProcessor::doMacroCall(const QString &body, ThumbItem &item, const Setup &setup)
{
    macros();
    item.loadMetadata();

    QString namePart = body;
    QString defaultText;
    if (const qsizetype at = body.indexOf(QLatin1Char('@')); at >= 0) {
        namePart = body.left(at);
        defaultText = body.mid(at + 1);
    }
    QString kind = namePart;
    std::optional<QString> argument;
    if (const qsizetype colon = namePart.indexOf(QLatin1Char(':')); colon >= 0) {
        kind = namePart.left(colon);
        if (colon + 1 < namePart.size())
            argument = namePart.mid(colon + 1);
    }
    if (sameText(kind, "Shoot"))
        kind = QStringLiteral("CF.Shoot");

    if (sameText(kind, "DateImage"))
        return formatDate(datetimeany(item), argument);
    if (sameText(kind, "DateNow"))
        return formatDate(nowText(), argument);
    if (sameText(kind, "Space"))
        return QStringLiteral(" ");
    if (sameText(kind, "Required"))
        return QStringLiteral("{@Required}");
    if (sameText(kind, "UserName")) {
        const QString name = userFullName();
        return name.isEmpty() ? defaultText : name;
    }
    if (sameText(kind, "Index"))
        return indexText(item.index, argument);
    if (sameText(kind, "FileNameOriginal"))
        return nameWithoutExtension(item.title());
    if (sameText(kind, "FileExtensionOriginal"))
        return extensionOf(item.title());
    if (sameText(kind, "FileNameNew"))
        return nameWithoutExtension(item.targetFilename);
    if (sameText(kind, "FileNumberOriginal"))
        return nameWithoutExtension(item.title()).right(4);
    if (kind.startsWith(QLatin1String("lookup."), Qt::CaseInsensitive))
        return catalogueValue(kind, namePart, defaultText, item);
    if (kind.startsWith(QLatin1String("CF.")))
        return UserValues::sourceText(
            item, kind, setup.paramDict(QStringLiteral("Metadata")).value(kind).toString());
    return catalogueValue(kind, namePart, defaultText, item);
}

QString MacroProcessor::catalogueValue(const QString &kind, const QString &namePart,
                                       const QString &defaultText, ThumbItem &item)
{
    const Macro *macro = macroNamed(kind);
    if (!macro)
        return namePart;

    QVariant raw;
    if (macro->metadataPath) {
        if (sameText(*macro->metadataPath, "FileExtensionOriginal"))
            raw = extensionOf(item.title());
        else
            raw = exifValue(item, *macro->metadataPath);
    }
    if (!raw.isValid() || raw.isNull())
        return defaultText;

    if (kind.startsWith(QLatin1String("lookup."), Qt::CaseInsensitive))
        return lookup(valueText(raw), kind.mid(7)).value_or(defaultText);
    if (sameText(macro->name, "Exif.ExposureTime"))
        return exposureTimeText(raw);
    return valueText(raw);
}

QString MacroProcessor::valueText(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::Bool:
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    case QMetaType::Int:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::SChar:
        return QString::number(value.toLongLong());
    case QMetaType::UInt:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return QString::number(value.toULongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return numberText(value.toDouble());
    case QMetaType::QVariantList: {
        const QVariantList list = value.toList();
        return list.isEmpty() ? QStringLiteral("<array>") : valueText(list.first());
    }
    case QMetaType::QStringList: {
        const QStringList list = value.toStringList();
        return list.isEmpty() ? QStringLiteral("<array>") : list.first();
    }
    case QMetaType::QVariantMap:
    case QMetaType::QVariantHash:
        return QStringLiteral("<dictionary>");
    case QMetaType::QByteArray:
        return QStringLiteral("<data>");
    case QMetaType::QDateTime:
    case QMetaType::QDate:
        return QStringLiteral("<date>");
    default:
        return QStringLiteral("<value>");
    }
}

QVariant MacroProcessor::valueAtPath(const QVariantMap &properties, const QString &path)
{
    const QStringList pieces = path.split(QLatin1Char('.'));
    QVariant current = properties;
    for (const QString &piece : pieces) {
        if (current.typeId() != QMetaType::QVariantMap)
            return QVariant();
        const QVariantMap map = current.toMap();
        const auto found = map.constFind(piece);
        if (found == map.constEnd())
            return QVariant();
        current = *found;
    }
    return current;
}

QString MacroProcessor::exposureTimeText(const QVariant &value)
{
    return valueText(Metadata::fractionFor(value));
}

std::optional<QString> MacroProcessor::lookup(const QString &value, const QString &field)
{
    return LookupsController::lookupKey(value, field);
}

QString MacroProcessor::indexText(qint64 index, const std::optional<QString> &argument)
{
    QString text = QString::number(index);
    if (!argument)
        return text;
    const int width = std::min(leadingInteger(*argument), kMaxIndexWidth);
    if (width > text.size())
        text.prepend(QString(width - text.size(), QLatin1Char('0')));
    return text;
}

QString MacroProcessor::nameWithoutExtension(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? fileName.left(dot) : fileName;
}

QString MacroProcessor::extensionOf(const QString &fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? fileName.mid(dot + 1) : QString();
}

QString MacroProcessor::userFullName()
{
    if (g_fullNameSource)
        return g_fullNameSource();
    // The account does not change while the program runs; ask the password database once.
    static const QString fullName = [] {
        const passwd *entry = getpwuid(getuid());
        if (!entry || !entry->pw_gecos)
            return QString();
        // The gecos field holds "Full Name,room,phone,...": the name is its first field.
        return QString::fromLocal8Bit(entry->pw_gecos).section(QLatin1Char(','), 0, 0).trimmed();
    }();
    return fullName;
}

void MacroProcessor::setUserFullNameSource(std::function<QString()> source)
{
    g_fullNameSource = std::move(source);
}

QString MacroProcessor::datetimeany(ThumbItem &item)
{
    item.loadMetadata();
    for (const char *path :
         {"{Exif}.DateTimeOriginal", "{Exif}.DateTimeDigitized", "{TIFF}.DateTime"}) {
        if (auto date = usableDate(exifValue(item, QLatin1String(path))))
            return *date;
    }
    if (auto date = usableDate(item.modTime()))
        return *date;
    return nowText();
}

bool MacroProcessor::getExifDatetime(ThumbItem &item)
{
    item.loadMetadata();
    std::optional<QString> date =
        usableDate(exifValue(item, QStringLiteral("{Exif}.DateTimeOriginal")));
    if (!date)
        date = usableDate(exifValue(item, QStringLiteral("{Exif}.DateTimeDigitized")));
    if (!date)
        return false;
    QString text = *date;
    for (int i = 0; i < 10; ++i) {
        if (text[i] == u':')
            text[i] = u'-';
    }
    const std::optional<double> seconds = DateReader::read(text);
    if (!seconds)
        return false;
    item.exifDatetime = *seconds;
    return true;
}

QLocale MacroProcessor::nameLocale()
{
    return QLocale();
}

QString MacroProcessor::formatDate(const QString &s, const std::optional<QString> &pattern)
{
    if (!pattern)
        return s;
    QString text = *pattern;

    replaceAll(text, "DDDDD", QString::number(s.mid(8, 2).toInt()));
    replaceAll(text, "MMMMM", QString::number(s.mid(5, 2).toInt()));

    // Names are looked up only when the pattern can use them (most patterns are numeric).
    QString weekdayShort, weekdayLong, monthShort, monthLong;
    if (text.contains(QLatin1String("WWW")) || text.contains(QLatin1String("MMM")) ||
        text.contains(QLatin1String("[[++"))) {
        const QDate date(s.mid(0, 4).toInt(), s.mid(5, 2).toInt(), s.mid(8, 2).toInt());
        if (date.isValid()) {
            const QLocale locale = nameLocale();
            weekdayShort = locale.dayName(date.dayOfWeek(), QLocale::ShortFormat);
            weekdayLong = locale.dayName(date.dayOfWeek(), QLocale::LongFormat);
            monthShort = locale.monthName(date.month(), QLocale::ShortFormat);
            monthLong = locale.monthName(date.month(), QLocale::LongFormat);
        }
    }
    const bool namesAvailable = !weekdayShort.isEmpty() && !weekdayLong.isEmpty() &&
                                !monthShort.isEmpty() && !monthLong.isEmpty();

    // Names go in as markers first, so the numeric replacements below cannot touch letters
    // inside them ("mm" in a month name, "DD" in a weekday).
    if (namesAvailable) {
        replaceAll(text, "WWWW", QStringLiteral("[[++1++]]"));
        replaceAll(text, "WWW", QStringLiteral("[[++0++]]"));
        replaceAll(text, "MMMM", QStringLiteral("[[++3++]]"));
        replaceAll(text, "MMM", QStringLiteral("[[++2++]]"));
    }
    replaceAll(text, "YYYY", s.mid(0, 4));
    replaceAll(text, "YY", s.mid(2, 2));
    replaceAll(text, "MM", s.mid(5, 2));
    replaceAll(text, "DD", s.mid(8, 2));
    replaceAll(text, "hh", s.mid(11, 2));
    replaceAll(text, "mm", s.mid(14, 2));
    replaceAll(text, "ss", s.mid(17, 2));
    if (namesAvailable) {
        replaceAll(text, "[[++1++]]", weekdayLong);
        replaceAll(text, "[[++0++]]", weekdayShort);
        replaceAll(text, "[[++3++]]", monthLong);
        replaceAll(text, "[[++2++]]", monthShort);
    }
    return text;
}
