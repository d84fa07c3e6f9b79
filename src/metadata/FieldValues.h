#pragma once

#include <QString>

#include <optional>

// What kind of editor a metadata field takes, and which typed values it accepts.
namespace FieldValues {

enum class Kind { Text, MultiLine, Date, TimeZone };

inline const QString kTimeZoneKey = QStringLiteral("TimeZone");
inline const QString kDateCreatedKey = QStringLiteral("IPTC.DateCreated");

// The kind of `tag`; a text field laid out with more than one line is multi-line.
Kind kindOf(const QString &tag, qint64 lines);

// A "TimeZone" value: a zone name the time-zone database knows, optionally followed by " DST"
// (the rule of TimeZoneValue, shared with the command line and the chooser).
bool isValidTimeZone(const QString &text);
// An IPTC date: an ISO 8601 date ("2024", "2024-05", "2024-05-10", optionally with a time such
// as "T14:05" or "T14:05:09" and a zone), or any text holding a macro, which is checked when it
// is expanded.
bool isValidDate(const QString &text);

// Why `text` cannot be the value of `tag`: an alert title and message, or nullopt when it can.
// Empty text is always accepted.
struct Problem
{
    QString title;
    QString message;
};
std::optional<Problem> problemWith(const QString &tag, const QString &text);
// The form a valid value is stored in (a time zone in the database's spelling); other values
// as they are.
QString storedForm(const QString &tag, const QString &text);

} // namespace FieldValues
