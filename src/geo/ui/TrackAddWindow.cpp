#include "geo/ui/TrackAddWindow.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The folder (and file) a panel starts at: the remembered path, else the home folder.
void startAt(QFileDialog &panel, const QString &remembered)
{
    if (remembered.isEmpty())
        return;
    const QFileInfo info(remembered);
    panel.setDirectory(info.absolutePath());
    if (panel.acceptMode() == QFileDialog::AcceptSave)
        panel.selectFile(info.fileName());
}

} // namespace

TrackAddWindow::TrackAddWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("TrackAdd"));
    setWindowTitle(QStringLiteral("Add Tracks"));
    m_controller.reset();

    auto *files = new QPushButton(QStringLiteral("Choose &Files..."), this);
    files->setObjectName(QStringLiteral("buttonGPXFile"));
    files->setToolTip(QStringLiteral("Choose GPX or other track files"));
    auto *filesNote = new QLabel(
        QStringLiteral("GPX files, or KML, TCX, FIT, IGC, NMEA, CSV files converted with GPSBabel"),
        this);
    filesNote->setWordWrap(true);
    auto *garmin = new QPushButton(QStringLiteral("&Garmin..."), this);
    garmin->setObjectName(QStringLiteral("buttonGarmin"));
    garmin->setToolTip(QStringLiteral("Read the tracks of a Garmin device connected by USB"));
    auto *magellan = new QPushButton(QStringLiteral("&Magellan..."), this);
    magellan->setObjectName(QStringLiteral("buttonMagellan"));
    magellan->setToolTip(QStringLiteral("Read the tracks of a Magellan device connected by USB"));
    auto *deviceNote = new QLabel(QStringLiteral("into a new GPX file"), this);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("buttonCancel"));
    files->setDefault(true);

    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(files);
    fileRow->addWidget(filesNote, 1);
    auto *deviceRow = new QHBoxLayout;
    deviceRow->addWidget(garmin);
    deviceRow->addWidget(magellan);
    deviceRow->addWidget(deviceNote, 1);
    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("From disk:"), fileRow);
    form->addRow(QStringLiteral("From a GPS device:"), deviceRow);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(cancel);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addSpacing(6);
    layout->addLayout(bottom);
    setMinimumWidth(560);

    connect(files, &QPushButton::clicked, this, &TrackAddWindow::actionGPXFile);
    connect(garmin, &QPushButton::clicked, this, &TrackAddWindow::actionGarmin);
    connect(magellan, &QPushButton::clicked, this, &TrackAddWindow::actionMagellan);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    setTabOrder(files, garmin);
    setTabOrder(garmin, magellan);
    setTabOrder(magellan, cancel);
}

void TrackAddWindow::actionGPXFile()
{
    QFileDialog panel(this, QStringLiteral("Choose GPX files."));
    panel.setObjectName(QStringLiteral("openPanel"));
    panel.setOption(QFileDialog::DontUseNativeDialog);
    panel.setFileMode(QFileDialog::ExistingFiles);
    panel.setAcceptMode(QFileDialog::AcceptOpen);
    panel.setNameFilters(TrackAddController::openPanelFilters());
    panel.setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    startAt(panel, TrackAddController::lastGPXFile());
    if (panel.exec() != QDialog::Accepted)
        return; // the dialog stays open
    if (m_controller.gpxFilesChosen(panel.selectedFiles()))
        accept();
}

std::optional<QString> TrackAddWindow::getSaveFile()
{
    QFileDialog panel(this, QStringLiteral("Choose file to save GPX track."));
    panel.setObjectName(QStringLiteral("savePanel"));
    panel.setOption(QFileDialog::DontUseNativeDialog);
    panel.setAcceptMode(QFileDialog::AcceptSave);
    panel.setFileMode(QFileDialog::AnyFile);
    panel.setNameFilter(QStringLiteral("GPX files (*.gpx)"));
    panel.setDefaultSuffix(QStringLiteral("gpx"));
    panel.setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    startAt(panel, TrackAddController::lastSaveFile());
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty())
        return std::nullopt;
    const QString path = panel.selectedFiles().first();
    TrackAddController::saveFileChosen(path);
    return path;
}

void TrackAddWindow::readDevice(GPSDeviceReader::Device device)
{
    const std::optional<QString> path = getSaveFile();
    if (m_controller.readDevice(device, path))
        accept();
}

void TrackAddWindow::actionGarmin()
{
    readDevice(GPSDeviceReader::Device::Garmin);
}

void TrackAddWindow::actionMagellan()
{
    readDevice(GPSDeviceReader::Device::Magellan);
}
