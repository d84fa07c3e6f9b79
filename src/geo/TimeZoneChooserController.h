#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>

// The data half of the time-adjustment dialog: the camera-clock correction in whole seconds.
namespace TimeAdjustController {

// True time truncated to whole seconds, minus the camera time, truncated toward zero (both as
// seconds since 2001-01-01 00:00:00).
qint64 computeAdjustment(double trueTime, double cameraTime);
qint64 computeAdjustment(const QDateTime &trueTime, double cameraTime);
// The date controls show times in the zone with offset 0, so a camera time reads as written.
QDateTime displayedTime(double cameraTime);
// The adjustment field's text ("%ld") and the main window's report ("%ld sec.").
QString adjustmentText(qint64 adjustment);
QString adjustmentReport(qint64 adjustment);
// The adjustment as read back from the field: its integer value, 0 when it is not a number.
qint64 adjustmentFromText(const QString &text);

} // namespace TimeAdjustController

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
    // "DSTSaved" when set ("YES" ticks the box, anything else clears it), else whether the
    // local zone is in daylight saving time now.
    static bool defaultDST();
    // The remembered zone when it is one of `names`.
    static std::optional<QString> initialSelection(const QStringList &names);
    // "Europe/Berlin" or "Europe/Berlin DST".
    static QString choiceText(const QString &zoneName, bool dst);

    // OK: with a row selected the choice becomes its value and both defaults are remembered;
    // without one the earlier choice stays. Logs "timezone = %@" and answers the choice.
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
