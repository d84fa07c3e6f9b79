#include "platform/DateReader.h"

#include <QDate>
#include <QTime>
#include <QTimeZone>

namespace {

bool digits(QStringView s, int from, int count, int &value)
{
    value = 0;
    if (from + count > s.size())
        return false;
    for (int i = from; i < from + count; ++i) {
        const QChar c = s[i];
        if (c < u'0' || c > u'9')
            return false;
        value = value * 10 + (c.unicode() - u'0');
    }
    return true;
}

bool isZoneDesignator(QStringView rest)
{
    rest = rest.trimmed();
    if (rest.isEmpty() || rest == u"Z" || rest == u"z" || rest == u"UTC" || rest == u"GMT")
        return true;
    if (rest.startsWith(u"UTC") || rest.startsWith(u"GMT"))
        rest = rest.mid(3);
    if (rest.isEmpty() || (rest[0] != u'+' && rest[0] != u'-'))
        return false;
    int n = 0;
    for (QChar c : rest.mid(1)) {
        if (c == u':')
            continue;
        if (c < u'0' || c > u'9')
            return false;
        ++n;
    }
    return n == 2 || n == 4;
}

} // namespace

namespace DateReader {

std::optional<double> read(QStringView text)
{
    text = text.trimmed();
    if (text.size() >= 20 && text[19] == u'.')
        text = text.left(19);
    if (text.size() < 19)
        return std::nullopt;
    const QChar dateSep = text[4];
    if ((dateSep != u'-' && dateSep != u':') || text[7] != dateSep)
        return std::nullopt;
    if (text[10] != u'T' && text[10] != u't' && text[10] != u' ')
        return std::nullopt;
    if (text[13] != u':' || text[16] != u':')
        return std::nullopt;
    int y, mo, d, h, mi, s;
    if (!digits(text, 0, 4, y) || !digits(text, 5, 2, mo) || !digits(text, 8, 2, d) ||
        !digits(text, 11, 2, h) || !digits(text, 14, 2, mi) || !digits(text, 17, 2, s))
        return std::nullopt;
    if (!isZoneDesignator(text.mid(19)))
        return std::nullopt;
    const QDate date(y, mo, d);
    const QTime time(h, mi, s);
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return toReference(QDateTime(date, time, QTimeZone::utc()));
}

double toReference(const QDateTime &dateTime)
{
    return static_cast<double>(dateTime.toMSecsSinceEpoch()) / 1000.0 -
           static_cast<double>(kReferenceOffset);
}

QDateTime fromReference(double seconds)
{
    const double ms = (seconds + static_cast<double>(kReferenceOffset)) * 1000.0;
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(ms), QTimeZone::utc());
}

} // namespace DateReader
