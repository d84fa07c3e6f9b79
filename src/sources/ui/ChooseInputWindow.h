#pragma once

#include <QDialog>

#include <functional>
#include <optional>

class ChooseInput;
class QListWidget;
class QPushButton;

// The input chooser's window: the camera table with Eject and Refresh, the folder button with
// its folder panel, and Cancel. It shows what the chooser (the data half) holds and forwards the
// user's actions to it; the chooser ends the window when it has filled the item list.
class ChooseInputWindow : public QDialog
{
    Q_OBJECT

public:
    ChooseInputWindow(ChooseInput &chooser, QWidget *parent = nullptr);
    ~ChooseInputWindow() override;

    // Replaces the folder panel (tests): answers the chosen folder, or nullopt for Cancel.
    using FolderPanel = std::function<std::optional<QString>(const QString &startFolder)>;
    static void setFolderPanel(FolderPanel panel);

public Q_SLOTS:
    void actionOther();
    void actionCancel();
    void actionRefresh();
    void actionEject();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void showCameras();
    void finish();

    ChooseInput &m_chooser;
    QListWidget *m_cameraTable = nullptr;
    QPushButton *m_buttonEject = nullptr;
    bool m_loaded = false;
    bool m_closed = false;
};
