#include "sources/ui/ChooseInputWindow.h"

#include "sources/CameraService.h"
#include "sources/ChooseInput.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {
ChooseInputWindow::FolderPanel g_folderPanel;
}

void ChooseInputWindow::setFolderPanel(FolderPanel panel)
{
    g_folderPanel = std::move(panel);
}

ChooseInputWindow::ChooseInputWindow(ChooseInput &chooser, QWidget *parent)
    : QDialog(parent), m_chooser(chooser)
{
    setObjectName(QStringLiteral("ChooseInput"));
    setWindowTitle(QStringLiteral("Choose Input"));
    setModal(true);

    m_cameraTable = new QListWidget(this);
    m_cameraTable->setObjectName(QStringLiteral("tableCameras"));
    m_cameraTable->setSelectionMode(QAbstractItemView::SingleSelection);
    auto *folder = new QPushButton(QStringLiteral("Folder or Card..."), this);
    folder->setObjectName(QStringLiteral("buttonOther"));
    folder->setDefault(true);
    auto *refresh = new QPushButton(QStringLiteral("Refresh"), this);
    refresh->setObjectName(QStringLiteral("buttonRefresh"));
    m_buttonEject = new QPushButton(QStringLiteral("Eject"), this);
    m_buttonEject->setObjectName(QStringLiteral("buttonEject"));
    m_buttonEject->setEnabled(false);
    auto *cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("buttonCancel"));

    connect(folder, &QPushButton::clicked, this, &ChooseInputWindow::actionOther);
    connect(refresh, &QPushButton::clicked, this, &ChooseInputWindow::actionRefresh);
    connect(m_buttonEject, &QPushButton::clicked, this, &ChooseInputWindow::actionEject);
    connect(cancel, &QPushButton::clicked, this, &ChooseInputWindow::actionCancel);
    connect(m_cameraTable, &QListWidget::currentRowChanged, this, [this](int row) {
        m_chooser.setSelectedCameraRow(row);
        m_buttonEject->setEnabled(m_chooser.buttonEjectEnabled());
    });
    connect(&m_chooser, &ChooseInput::camerasChanged, this, &ChooseInputWindow::showCameras);
    connect(&m_chooser, &ChooseInput::windowShouldClose, this, &ChooseInputWindow::finish);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Cameras"), this));
    layout->addWidget(m_cameraTable, 1);
    auto *cameraButtons = new QHBoxLayout;
    cameraButtons->addWidget(refresh);
    cameraButtons->addWidget(m_buttonEject);
    cameraButtons->addStretch();
    layout->addLayout(cameraButtons);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(cancel);
    buttons->addStretch();
    buttons->addWidget(folder);
    layout->addLayout(buttons);
    resize(420, 320);
}

ChooseInputWindow::~ChooseInputWindow()
{
    if (!m_closed)
        m_chooser.windowWillClose();
}

void ChooseInputWindow::showEvent(QShowEvent *event)
{
    if (!m_loaded) {
        m_loaded = true;
        if (const QScreen *screen = QApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
        m_chooser.windowDidLoad();
        showCameras();
    }
    QDialog::showEvent(event);
}

void ChooseInputWindow::closeEvent(QCloseEvent *event)
{
    if (!m_closed) {
        m_closed = true;
        m_chooser.windowWillClose();
    }
    QDialog::closeEvent(event);
}

void ChooseInputWindow::showCameras()
{
    const int selected = m_chooser.selectedCameraRow();
    const QSignalBlocker quiet(m_cameraTable);
    m_cameraTable->clear();
    for (CameraDevice *camera : m_chooser.cameras())
        m_cameraTable->addItem(camera ? camera->name() : QString());
    m_cameraTable->setCurrentRow(selected);
    m_buttonEject->setEnabled(m_chooser.buttonEjectEnabled());
}

void ChooseInputWindow::actionOther()
{
    const QString start = ChooseInput::inputDirectory();
    std::optional<QString> chosen;
    if (g_folderPanel) {
        chosen = g_folderPanel(start);
    } else {
        const QString path = QFileDialog::getExistingDirectory(
            this, QStringLiteral("Choose a Folder or Card"), start,
            QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
        if (!path.isEmpty())
            chosen = path;
    }
    // The chooser closes the window (windowShouldClose) in both cases.
    if (chosen)
        m_chooser.folderChosen(*chosen);
    else
        m_chooser.folderPanelCancelled();
    finish();
}

void ChooseInputWindow::actionCancel()
{
    // The item list stays as it was and nothing is announced.
    done(QDialog::Rejected);
    close();
}

void ChooseInputWindow::actionRefresh()
{
    m_chooser.actionRefresh();
    showCameras();
}

void ChooseInputWindow::actionEject()
{
    m_chooser.actionEject();
}

void ChooseInputWindow::finish()
{
    if (isVisible()) {
        done(QDialog::Accepted);
        close();
    }
}
