#pragma once

#include "geo/MapPages.h"

#include <QDialog>
#include <QStringList>

#include <optional>

class ManualTagController;
class MapView;
class QLabel;
class QPushButton;

// The manual geotag window: a map to click, the chosen latitude and longitude, Paste Location,
// OK and Cancel. Draws and forwards; ManualTagController decides.
class ManualTagWindow : public QDialog
{
    Q_OBJECT

public:
    explicit ManualTagWindow(ManualTagController &controller, QWidget *parent = nullptr);

    // Asks for a position, starting from the machine's current location (0, 0: none) on the
    // first use in a run and from the previous answer afterwards: (latitude, longitude) texts
    // on OK, nullopt on Cancel. `rows` plays no part; `photos` are marked on the map.
    static std::optional<QStringList> getCoordinates(const QList<QVariantMap> &rows, double lat,
                                                     double lon, QWidget *parent = nullptr,
                                                     const QList<MapPages::Photo> &photos = {});

    // Loads the map page at the controller's map position.
    void showMap();
    MapView *mapView() const { return m_map; }
    QLabel *labelLat() const { return m_labelLat; }
    QLabel *labelLon() const { return m_labelLon; }

public Q_SLOTS:
    void pasteLocation();
    void actionOK();
    void actionCancel();
    // Cancel, Escape and the title bar.
    void reject() override;

private:
    void showLabels();
    void takeAddress(const QString &address);

    ManualTagController &m_controller;
    MapView *m_map = nullptr;
    QLabel *m_labelLat = nullptr;
    QLabel *m_labelLon = nullptr;
};
