#pragma once

#include <QDateTime>
#include <QString>

#include <optional>

// The one reader of camera and GPX date-time texts. Both are read the same way so they share
// one time scale: the date and time of day are taken as UTC, whatever zone designator follows.
namespace DateReader {

// Seconds from 1970-01-01 to 2001-01-01, the reference date of every instant in the system.
constexpr qint64 kReferenceOffset = 978307200;

// "2011-06-01T17:02:41Z", "2011-06-01 17:02:41", "2011-06-01T17:02:41.250+02:00" (a fraction of a
// second is dropped with everything after it) -> seconds since 2001-01-01 00:00:00 UTC.
// nullopt when the text is not such a date.
std::optional<double> read(QStringView text);

double toReference(const QDateTime &dateTime);
QDateTime fromReference(double seconds);

} // namespace DateReader
