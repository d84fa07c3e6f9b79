#include "metadata/FieldValues.h"

#include "geo/TimeZoneValue.h"
#include "platform/Format.h"

#include <QDate>
#include <QRegularExpression>

namespace FieldValues {

Kind kindOf(const QString &tag, qint64 lines)
{
    if (tag == kTimeZoneKey)
        return Kind::TimeZone;
    if (tag == kDateCreatedKey)
        return Kind::Date;
    return lines > 1 ? Kind::MultiLine : Kind::Text;
}

bool isValidTimeZone(const QString &text)
{
    return TimeZoneValue::normalized(text).has_value();
}

QString storedForm(const QString &tag, const QString &text)
{
    if (tag == kTimeZoneKey)
        return TimeZoneValue::normalized(text).value_or(text);
    return text;
}

bool isValidDate(const QString &text)
{
    const QString value = text.trimmed();
    if (value.contains(QLatin1String("{@")))
        return true;
    static const QRegularExpression iso(QStringLiteral(
        "^(\\d{4})(?:-(\\d{2})(?:-(\\d{2})(?:T(\\d{2}):(\\d{2})(?::(\\d{2})(?:\\.\\d+)?)?"
        "(?:Z|[+-]\\d{2}:\\d{2})?)?)?)?$"));
    const QRegularExpressionMatch match = iso.match(value);
    if (!match.hasMatch())
        return false;
    const int month = match.captured(2).isEmpty() ? 1 : match.captured(2).toInt();
    const int day = match.captured(3).isEmpty() ? 1 : match.captured(3).toInt();
    if (!QDate(match.captured(1).toInt(), month, day).isValid())
        return false;
    if (!match.captured(4).isEmpty()) {
        const int second = match.captured(6).isEmpty() ? 0 : match.captured(6).toInt();
        if (match.captured(4).toInt() > 23 || match.captured(5).toInt() > 59 || second > 59)
            return false;
    }
    return true;
}

std::optional<Problem> problemWith(const QString &tag, const QString &text)
{
    if (text.trimmed().isEmpty())
        return std::nullopt;
    if (tag == kTimeZoneKey && !isValidTimeZone(text))
        return Problem{TimeZoneValue::unknownZoneMessage(text), TimeZoneValue::expectedForm()};
    if (tag == kDateCreatedKey && !isValidDate(text))
        return Problem{QStringLiteral("Invalid date."),
                       formatMessage("\"%@\" is not a date such as 2024-05-10 (year, month and "
                                     "day; a time may follow as T14:05:09).",
                                     text.trimmed())};
    return std::nullopt;
}

} // namespace FieldValues
