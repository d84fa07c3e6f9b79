#include "geo/TimeZoneValue.h"

#include "platform/Format.h"

#include <QFile>
#include <QFileInfo>
#include <QTimeZone>

namespace TimeZoneValue {

Parts split(const QString &value)
{
    Parts parts;
    QString name = value.trimmed();
    if (name.size() > 3 && name.right(3).compare(QLatin1String("DST"), Qt::CaseInsensitive) == 0 &&
        name.at(name.size() - 4).isSpace()) {
        name.chop(3);
        parts.dst = true;
    }
    parts.zoneName = name.trimmed();
    return parts;
}

namespace {

// Whether the database holds a zone of exactly this name. The database's list leaves out the
// older and link names it still carries ("GMT", "Etc/GMT+5", "US/Pacific"); those are files of
// the zone-information folder. A bare constructor check is no test: any text that reads as a
// POSIX rule ("Mars", "DST") makes a valid zone with offset 0.
bool isDatabaseZone(const QString &name)
{
    if (QTimeZone::isTimeZoneIdAvailable(name.toUtf8()))
        return true;
    if (name.startsWith(QLatin1Char('/')) || name.split(QLatin1Char('/')).contains(u".."))
        return false;
    QString folder = qEnvironmentVariable("TZDIR");
    if (folder.isEmpty())
        folder = QStringLiteral("/usr/share/zoneinfo");
    QFile file(folder + QLatin1Char('/') + name);
    return QFileInfo(file).isFile() && file.open(QIODevice::ReadOnly) && file.read(4) == "TZif" &&
           QTimeZone(name.toUtf8()).isValid();
}

} // namespace

std::optional<QString> normalized(const QString &value)
{
    const Parts parts = split(value);
    if (parts.zoneName.isEmpty())
        return std::nullopt;
    QString name;
    if (isDatabaseZone(parts.zoneName)) {
        name = parts.zoneName;
    } else {
        // "europe/berlin" names the same zone as "Europe/Berlin".
        for (const QByteArray &id : QTimeZone::availableTimeZoneIds()) {
            const QString known = QString::fromUtf8(id);
            if (known.compare(parts.zoneName, Qt::CaseInsensitive) == 0) {
                name = known;
                break;
            }
        }
    }
    if (name.isEmpty())
        return std::nullopt;
    return parts.dst ? name + QStringLiteral(" DST") : name;
}

QString unknownZoneMessage(const QString &value)
{
    return formatMessage("Unknown time zone \"%@\".", value.trimmed());
}

QString expectedForm()
{
    return QStringLiteral("A time zone is a name such as \"Europe/Berlin\", optionally followed by "
                          "\" DST\" when daylight saving time was in force.");
}

} // namespace TimeZoneValue
