#include "geo/TimeZoneChooserController.h"

#include "platform/Clock.h"
#include "platform/DateReader.h"
#include "platform/Defaults.h"
#include "platform/Format.h"
#include "platform/SystemLog.h"

#include <QTimeZone>

#include <cmath>
#include <limits>

namespace TimeAdjustController {

qint64 computeAdjustment(double trueTime, double cameraTime)
{
    return static_cast<qint64>(std::trunc(std::trunc(trueTime) - cameraTime));
}

qint64 computeAdjustment(const QDateTime &trueTime, double cameraTime)
{
    return computeAdjustment(DateReader::toReference(trueTime), cameraTime);
}

QDateTime displayedTime(double cameraTime)
{
    return DateReader::fromReference(cameraTime).toTimeZone(QTimeZone(0));
}

QString adjustmentText(qint64 adjustment)
{
    return formatMessage("%ld", static_cast<long>(adjustment));
}

QString adjustmentReport(qint64 adjustment)
{
    return formatMessage("%ld sec.", static_cast<long>(adjustment));
}

qint64 adjustmentFromText(const QString &text)
{
    // Like an integer value of a text field: leading blanks, a sign and digits; the rest is
    // ignored.
    const QString trimmed = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < trimmed.size() && (trimmed[i] == u'-' || trimmed[i] == u'+'))
        negative = trimmed[i++] == u'-';
    qint64 value = 0;
    for (; i < trimmed.size() && trimmed[i].isDigit() && trimmed[i].unicode() < 128; ++i) {
        if (value > (std::numeric_limits<qint64>::max() - 9) / 10)
            break;
        value = value * 10 + (trimmed[i].unicode() - u'0');
    }
    return negative ? -value : value;
}

} // namespace TimeAdjustController

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

std::optional<QString> TimeZoneChooserController::accept(const std::optional<QString> &selectedName,
                                                         bool dst)
{
    if (selectedName) {
        m_choice = choiceText(*selectedName, dst);
        m_hasChoice = true;
        Defaults::set(kTimeZoneSelected, *selectedName);
        Defaults::set(kDSTSaved, dst ? QStringLiteral("YES") : QStringLiteral("NO"));
    }
    SystemLog::write(formatMessage("timezone = %@", m_hasChoice ? m_choice : QString()));
    return choice();
}
