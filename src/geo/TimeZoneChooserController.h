#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// The data half of the time-zone chooser: the zone names offered, the DST box's starting state,
// the row to select, and the "TimeZone" value it answers.
class TimeZoneChooserController
{
public:
    static const QString kTimeZoneSelected;
    static const QString kDSTSaved;

    static TimeZoneChooserController &sharedInstance();

    // The time-zone database's names, in its order.
    static QStringList knownZoneNames();
    // Whether the time-zone database knows the name; nothing else can be chosen.
    static bool isKnownZone(const QString &name);
    // The names that hold every word typed, in their order, ignoring case; "_" and "/" in a name
    // count as blanks ("new york" finds America/New_York). Nothing typed keeps every name.
    static QStringList filterZones(const QStringList &names, const QString &typed);
    // "DSTSaved" when set ("YES" ticks the box, anything else clears it), else whether the
    // local zone is in daylight saving time now.
    static bool defaultDST();
    // The remembered zone when it is one of `names`.
    static std::optional<QString> initialSelection(const QStringList &names);
    // "Europe/Berlin" or "Europe/Berlin DST".
    static QString choiceText(const QString &zoneName, bool dst);
    // What geotagging will make of a zone and the box: "Camera times are read as UTC+02:00."
    static QString offsetText(const QString &zoneName, bool dst);

    // OK: with a row selected the choice becomes its value and both defaults are remembered;
    // without one (or with a name the database does not know) the earlier choice stays. Logs
    // "timezone = %@" and answers the choice.
    std::optional<QString> accept(const std::optional<QString> &selectedName, bool dst);
    // Cancel: no choice.
    void cancel() { m_hasChoice = false; }
    std::optional<QString> choice() const
    {
        return m_hasChoice ? std::optional<QString>(m_choice) : std::nullopt;
    }

private:
    QString m_choice;
    bool m_hasChoice = false;
};
