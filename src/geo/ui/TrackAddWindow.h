#pragma once

#include "geo/TrackAddController.h"

#include <QDialog>

#include <optional>

class QPushButton;

// The add dialog of the track manager: GPX (and other track) files from disk, or the tracks of
// a Garmin or Magellan device read by GPSBabel. Ends with OK when it has files to hand on
// (files()), with Cancel otherwise. Its decisions live in TrackAddController.
class TrackAddWindow : public QDialog
{
    Q_OBJECT

public:
    explicit TrackAddWindow(QWidget *parent = nullptr);

    TrackAddController &controller() { return m_controller; }
    QStringList files() const { return m_controller.files; }

public Q_SLOTS:
    void actionGPXFile();
    void actionGarmin();
    void actionMagellan();

private:
    // The save panel for a device's GPX file; nullopt when cancelled.
    std::optional<QString> getSaveFile();
    void readDevice(GPSDeviceReader::Device device);

    TrackAddController m_controller;
};
