#pragma once

#include "items/ThumbItem.h"
#include "sources/CameraService.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <memory>

// The input chooser's data half: it fills the item list from a folder tree or from a camera,
// keeps the camera list while devices come and go, and afterwards keeps putting the thumbnails
// and metadata that cameras deliver late into the matching items. Its window (ui/) shows the
// camera table and the folder panel and forwards the user's actions here. The chooser stays
// the delegate of the cameras it found until it is destroyed (when the next Choose replaces it).
// Main thread only.
class ChooseInput : public QObject
{
    Q_OBJECT
public:
    static constexpr const char *kInputDirectoryKey = "InputDirectory";
    // The mask the chooser browses with: cameras, at every location.
    static constexpr unsigned kBrowsedDeviceMask = 0xFF01;

    explicit ChooseInput(QObject *parent = nullptr);
    ~ChooseInput() override;

    // The item list the chooser empties and fills; owned by the caller, who keeps it alive
    // while the chooser exists.
    void setMImageBrowserController(ThumbItemList *items) { m_items = items; }
    ThumbItemList *mImageBrowserController() const { return m_items; }
    // Lower-case extensions; empty offers every file.
    void setInclusions(const QSet<QString> &inclusions) { m_inclusions = inclusions; }
    const QSet<QString> &inclusions() const { return m_inclusions; }

    // The window has loaded: create the device browser and start browsing.
    void windowDidLoad();
    // Empties the camera list and (re)starts the device browser.
    void startupFirstTime();
    // The window closes: stop browsing. Cameras already found keep reporting to this chooser.
    void windowWillClose();
    CameraDeviceBrowser *mDeviceBrowser() const { return m_browser.get(); }

    // The folder the folder panel opens in ("InputDirectory"), empty when never set.
    static QString inputDirectory();
    // The folder panel was confirmed with `path`: store it, fill the list from it (or say that
    // the panel gave no path), close and post "FinishedChoosing" with an empty dictionary.
    void folderChosen(const QString &path);
    // The folder panel was cancelled: close and post "FinishedChoosing" without user information.
    void folderPanelCancelled();

    // Fills the item list from every visible file below `folder`. False (with the alert "Error
    // reading file paths" and the list untouched) when the folder itself cannot be listed; a
    // sub-folder that cannot be read is skipped with a console warning naming it.
    bool doPath(const QString &folder);
    // The reasons for the sub-folders the last doPath skipped, one a folder.
    const QStringList &skippedFolders() const { return m_skippedFolders; }
    // Fills the item list from the selected camera's files, closes and posts "FinishedChoosing".
    void prepareImagesForBrowser();

    // The camera table.
    const QList<CameraDevice *> &cameras() const { return m_cameras; }
    // Selecting a row opens that camera; when its file list is complete the list is filled
    // from it. -1 clears the selection.
    void setSelectedCameraRow(int row);
    int selectedCameraRow() const;
    CameraDevice *selectedCamera() const { return m_selected.data(); }
    // The files of the selected camera.
    QList<CameraFilePtr> mMediaFilesController() const;
    bool buttonEjectEnabled() const { return selectedCameraRow() >= 0; }

    void actionRefresh();
    void actionEject();

    // Calls from the camera service.
    void deviceBrowserDidAddDevice(CameraDeviceBrowser *browser, CameraDevice *device,
                                   bool moreComing);
    void deviceBrowserDidRemoveDevice(CameraDeviceBrowser *browser, CameraDevice *device,
                                      bool moreGoing);
    void didRemoveDevice(CameraDevice *device);
    void deviceDidOpenSessionWithError(CameraDevice *device, const QString &error);
    void deviceDidBecomeReady(CameraDevice *device);
    void cameraDeviceDidReceiveThumbnailForItem(CameraDevice *device, const CameraFilePtr &file);
    void cameraDeviceDidReceiveMetadataForItem(CameraDevice *device, const CameraFilePtr &file);

    // Whether device browsing was started before in this process.
    static bool browsingStartedBefore();

Q_SIGNALS:
    // The camera table shows cameras() anew.
    void camerasChanged();
    // The chooser is done: end the window's modal loop and close it.
    void windowShouldClose();

private:
    void becomeDelegate(CameraDevice *device);
    void stopBeingDelegate(CameraDevice *device);
    void removeCamera(CameraDevice *device);
    ThumbItemPtr itemHolding(const CameraFilePtr &file) const;
    void finishChoosing(bool withUserInfo);
    void postWithoutUserInfo(const QString &name);

    ThumbItemList *m_items = nullptr;
    QSet<QString> m_inclusions;
    std::unique_ptr<CameraDeviceBrowser> m_browser;
    QList<CameraDevice *> m_cameras;
    QList<QPointer<CameraDevice>> m_delegateOf;
    QPointer<CameraDevice> m_selected;
    QStringList m_skippedFolders;
    bool m_done = false;
};
