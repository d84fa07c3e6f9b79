#pragma once

#include <QString>

#include <optional>

// A "TimeZone" metadata value: a zone name of the time-zone database, optionally followed by
// " DST" when daylight saving time was in force. Every place that takes such a value from the
// user (the command line, the main window, the time zone chooser) checks it here, so that an
// unknown name is refused instead of silently standing for offset 0.
namespace TimeZoneValue {

struct Parts
{
    QString zoneName;
    bool dst = false;
};

// Splits off a trailing " DST" (in any letter case); the name is trimmed, not checked.
Parts split(const QString &value);

// The value in its stored form ("Europe/Berlin" or "Europe/Berlin DST") when its zone is known
// to the time-zone database; a name in another letter case is given the database's spelling.
// nullopt for an unknown zone and for an empty value.
std::optional<QString> normalized(const QString &value);

// The message shown when normalized() refuses a value: "Unknown time zone "Mars/Base"."
QString unknownZoneMessage(const QString &value);
// What a valid value looks like, for the line under that message.
QString expectedForm();

} // namespace TimeZoneValue
