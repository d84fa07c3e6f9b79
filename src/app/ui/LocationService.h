#pragma once

#include <QObject>

#include <optional>
#include <utility>

class QGeoPositionInfoSource;

// The machine's current position, from the platform's positioning service (Qt Positioning:
// GeoClue on most desktops) when there is one. Started once with the best accuracy; the last
// fix is where manual geotagging starts. Main thread.
class LocationService : public QObject
{
    Q_OBJECT

public:
    explicit LocationService(QObject *parent = nullptr);

    // Latitude and longitude of the last valid fix; 0, 0 when there is none.
    std::pair<double, double> current() const;
    bool hasSource() const { return m_source != nullptr; }

    // Tests fix the position (nullopt: back to the service).
    static void setOverride(std::optional<std::pair<double, double>> position);

private:
    QGeoPositionInfoSource *m_source = nullptr;
};
