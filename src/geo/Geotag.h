#pragma once

#include <QString>

#include <optional>

class ThumbItem;

// The process-wide geotag operations of the track manager, as the rest of the system calls them.
namespace Geotag {

// Matches the item's capture time against the stored tracks; the outcome (position and
// `gpsMessage`) is left in the item. Without a zone the item's own "TimeZone" value is used.
void geotag(ThumbItem &item, const std::optional<QString> &timeZone = std::nullopt);
// The "TimeZone not set." warning is shown again (once) by the next match.
void resetTimeZoneWarning();

} // namespace Geotag
