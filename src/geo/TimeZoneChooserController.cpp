#include "geo/TimeZoneChooserController.h"

#include "geo/TimeZoneValue.h"
#include "geo/TrackManagerController.h"

#include "platform/Clock.h"
#include "platform/Defaults.h"
#include "platform/Format.h"
#include "platform/SystemLog.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <cstdlib>

const QString TimeZoneChooserController::kTimeZoneSelected = QStringLiteral("TimeZoneSelected");
const QString TimeZoneChooserController::kDSTSaved = QStringLiteral("DSTSaved");

TimeZoneChooserController &TimeZoneChooserController::sharedInstance()
{
    static TimeZoneChooserController instance;
    return instance;
}

QStringList TimeZoneChooserController::knownZoneNames()
{
    QStringList names;
    for (const QByteArray &id : QTimeZone::availableTimeZoneIds())
        names.append(QString::fromUtf8(id));
    return names;
}

bool TimeZoneChooserController::isKnownZone(const QString &name)
{
    // A bare name of the database, as the list shows it (no " DST", no other spelling).
    return !TimeZoneValue::split(name).dst && TimeZoneValue::normalized(name) == name;
}

QStringList TimeZoneChooserController::filterZones(const QStringList &names, const QString &typed)
{
    static const QRegularExpression separators(QStringLiteral("[\\s_/]+"));
    const QStringList words = typed.toLower().split(separators, Qt::SkipEmptyParts);
    if (words.isEmpty())
        return names;
    QStringList kept;
    for (const QString &name : names) {
        const QString plain = name.toLower().replace(QLatin1Char('_'), QLatin1Char(' '));
        if (std::all_of(words.cbegin(), words.cend(),
                        [&plain](const QString &word) { return plain.contains(word); }))
            kept << name;
    }
    return kept;
}

bool TimeZoneChooserController::defaultDST()
{
    if (const auto saved = Defaults::value(kDSTSaved))
        return saved->toString() == QLatin1String("YES");
    return QTimeZone::systemTimeZone().isDaylightTime(Clock::now());
}

std::optional<QString> TimeZoneChooserController::initialSelection(const QStringList &names)
{
    const auto saved = Defaults::value(kTimeZoneSelected);
    if (!saved)
        return std::nullopt;
    const QString name = saved->toString();
    if (!names.contains(name))
        return std::nullopt;
    return name;
}

QString TimeZoneChooserController::choiceText(const QString &zoneName, bool dst)
{
    return dst ? zoneName + QStringLiteral(" DST") : zoneName;
}

QString TimeZoneChooserController::offsetText(const QString &zoneName, bool dst)
{
    if (!isKnownZone(zoneName))
        return QString();
    // The matching takes the zone's offset at one fixed instant and adds an hour for DST.
    const int offset = TrackManagerController::zoneOffset(zoneName) + (dst ? 3600 : 0);
    const int minutes = std::abs(offset) / 60;
    return QStringLiteral("Camera times are read as UTC%1%2:%3.")
        .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
        .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

std::optional<QString> TimeZoneChooserController::accept(const std::optional<QString> &selectedName,
                                                         bool dst)
{
    if (selectedName && isKnownZone(*selectedName)) {
        m_choice = choiceText(*selectedName, dst);
        m_hasChoice = true;
        Defaults::set(kTimeZoneSelected, *selectedName);
        Defaults::set(kDSTSaved, dst ? QStringLiteral("YES") : QStringLiteral("NO"));
    }
    SystemLog::write(formatMessage("timezone = %@", m_hasChoice ? m_choice : QString()));
    return choice();
}
