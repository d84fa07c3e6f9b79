#include "geo/ui/ManualTagWindow.h"

#include "geo/ManualTagController.h"
#include "geo/ui/MapView.h"

#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QVBoxLayout>

ManualTagWindow::ManualTagWindow(ManualTagController &controller, QWidget *parent)
    : QDialog(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("ManualTag"));
    setWindowTitle(QStringLiteral("Manual Geotag"));

    m_map = new MapView(this);

    auto *latTitle = new QLabel(QStringLiteral("Latitude:"), this);
    m_labelLat = new QLabel(this);
    m_labelLat->setObjectName(QStringLiteral("labelLat"));
    m_labelLat->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_labelLat->setMinimumWidth(150);
    auto *lonTitle = new QLabel(QStringLiteral("Longitude:"), this);
    m_labelLon = new QLabel(this);
    m_labelLon->setObjectName(QStringLiteral("labelLon"));
    m_labelLon->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_labelLon->setMinimumWidth(150);

    auto *paste = new QPushButton(QStringLiteral("&Paste Location"), this);
    paste->setObjectName(QStringLiteral("buttonPaste"));
    paste->setToolTip(QStringLiteral("Move the map to coordinates on the clipboard, in decimal "
                                     "degrees (40.0188° -105.2782°)"));
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("buttonCancel"));
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("buttonOK"));
    ok->setDefault(true);
    ok->setToolTip(QStringLiteral("Place the selected images here (hold Alt to save the "
                                  "location and keep the window open)"));

    auto *row = new QHBoxLayout;
    row->addWidget(latTitle);
    row->addWidget(m_labelLat);
    row->addWidget(lonTitle);
    row->addWidget(m_labelLon);
    row->addStretch();
    row->addWidget(paste);
    row->addSpacing(12);
    row->addWidget(cancel);
    row->addWidget(ok);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_map, 1);
    layout->addLayout(row);
    resize(900, 620);
    setMinimumSize(560, 400);

    connect(m_map, &MapView::geotagAddress, this, &ManualTagWindow::takeAddress);
    connect(paste, &QPushButton::clicked, this, &ManualTagWindow::pasteLocation);
    connect(ok, &QPushButton::clicked, this, &ManualTagWindow::actionOK);
    connect(cancel, &QPushButton::clicked, this, &ManualTagWindow::actionCancel);
    // Ctrl+V pastes a location wherever the focus is, the map included.
    auto *pasteKey = new QShortcut(QKeySequence::Paste, this);
    connect(pasteKey, &QShortcut::activated, this, &ManualTagWindow::pasteLocation);
    setTabOrder(paste, cancel);
    setTabOrder(cancel, ok);
    showLabels();
}

std::optional<QStringList> ManualTagWindow::getCoordinates(const QList<QVariantMap> &, double lat,
                                                           double lon, QWidget *parent,
                                                           const QList<MapPages::Photo> &photos)
{
    ManualTagController &controller = ManualTagController::shared();
    controller.open(lat, lon);
    controller.setPhotos(photos);
    ManualTagWindow window(controller, parent);
    if (const QScreen *screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - window.rect().center());
    window.showMap();
    if (window.exec() != QDialog::Accepted)
        return std::nullopt;
    return controller.answer();
}

void ManualTagWindow::showMap()
{
    showLabels();
    if (const std::optional<QString> page = m_controller.page())
        m_map->showPage(*page);
}

void ManualTagWindow::showLabels()
{
    m_labelLat->setText(m_controller.lat());
    m_labelLon->setText(m_controller.lon());
}

void ManualTagWindow::takeAddress(const QString &address)
{
    if (m_controller.takeAddress(address))
        showLabels();
}

void ManualTagWindow::pasteLocation()
{
    if (m_controller.pasteLocation(QGuiApplication::clipboard()->text()))
        showMap();
}

void ManualTagWindow::actionOK()
{
    if (m_controller.ok(QApplication::keyboardModifiers().testFlag(Qt::AltModifier)))
        accept();
}

void ManualTagWindow::actionCancel()
{
    reject();
}

void ManualTagWindow::reject()
{
    // Cancel, Escape and the title bar all keep the location for the next opening.
    m_controller.cancel();
    QDialog::reject();
}
