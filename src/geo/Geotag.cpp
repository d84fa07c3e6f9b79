#include "geo/Geotag.h"

#include "geo/TrackManagerController.h"

namespace Geotag {

void geotag(ThumbItem &item, const std::optional<QString> &timeZone)
{
    TrackManagerController::sharedInstance().geotag(item, timeZone);
}

void resetTimeZoneWarning()
{
    TrackManagerController::sharedInstance().resetTimeZoneWarning();
}

} // namespace Geotag
