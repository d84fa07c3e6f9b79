#include "geo/Geotag.h"

namespace Geotag {

void geotag(ThumbItem &item, const std::optional<QString> &timeZone)
{
    Q_UNUSED(item);
    Q_UNUSED(timeZone); // the track manager's matching takes this over
}

void resetTimeZoneWarning() {}

} // namespace Geotag
