#include "app/ui/LocationService.h"

#ifdef BRINDLEWICK_HAVE_POSITIONING
#include <QGeoPositionInfoSource>
#endif

namespace {

std::optional<std::pair<double, double>> g_override;

} // namespace

LocationService::LocationService(QObject *parent) : QObject(parent)
{
#ifdef BRINDLEWICK_HAVE_POSITIONING
    m_source = QGeoPositionInfoSource::createDefaultSource(this);
    if (m_source) {
        m_source->setPreferredPositioningMethods(QGeoPositionInfoSource::AllPositioningMethods);
        // No fix, no permission, no service: the position simply stays unknown.
        m_source->startUpdates();
    }
#endif
}

std::pair<double, double> LocationService::current() const
{
    if (g_override)
        return *g_override;
#ifdef BRINDLEWICK_HAVE_POSITIONING
    if (m_source) {
        const QGeoCoordinate where = m_source->lastKnownPosition().coordinate();
        if (where.isValid())
            return {where.latitude(), where.longitude()};
    }
#endif
    return {0.0, 0.0};
}

void LocationService::setOverride(std::optional<std::pair<double, double>> position)
{
    g_override = position;
}
