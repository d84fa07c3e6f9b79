#include "sources/CameraLookup.h"

#include <QDir>
#include <QEventLoop>
#include <QTimer>

namespace CameraLookup {

QList<CameraDevice *> detectCameras(int timeoutMs)
{
    CameraDeviceBrowser browser;
    QEventLoop loop;
    QObject::connect(&browser, &CameraDeviceBrowser::didEnumerateLocalDevices, &loop,
                     &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    browser.setBrowsedDeviceMask(CameraDeviceTypeCamera | CameraDeviceLocationMask);
    browser.start();
    loop.exec();
    // The devices stay with the service after the browser is gone.
    return browser.devices();
}

CameraDevice *findCamera(const QList<CameraDevice *> &cameras, const QString &wanted)
{
    for (CameraDevice *camera : cameras)
        if (camera->name() == wanted)
            return camera;
    for (CameraDevice *camera : cameras)
        if (camera->name().compare(wanted, Qt::CaseInsensitive) == 0)
            return camera;
    const QString canonical = QDir(wanted).canonicalPath();
    const QString asFolder = canonical.isEmpty() ? QString() : QStringLiteral("disk:") + canonical;
    for (CameraDevice *camera : cameras)
        if (camera->port() == wanted || (!asFolder.isEmpty() && camera->port() == asFolder))
            return camera;
    return nullptr;
}

std::optional<QString> openAndWait(CameraDevice *camera, int timeoutMs)
{
    QEventLoop loop;
    std::optional<QString> error = QStringLiteral("the camera did not answer in time");
    QObject::connect(camera, &CameraDevice::deviceDidBecomeReady, &loop, [&] {
        error.reset();
        loop.quit();
    });
    QObject::connect(camera, &CameraDevice::didOpenSessionWithError, &loop,
                     [&](CameraDevice *, const QString &text) {
                         if (!text.isEmpty()) {
                             error = text;
                             loop.quit();
                         }
                     });
    QObject::connect(camera, &CameraDevice::didRemoveDevice, &loop, [&] {
        error = QStringLiteral("the camera went away");
        loop.quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    camera->requestOpenSession();
    loop.exec();
    return error;
}

bool waitForExtras(CameraDevice *camera, int timeoutMs)
{
    if (camera->extrasComplete())
        return camera->isReady();
    QEventLoop loop;
    auto check = [&] {
        if (camera->extrasComplete() || !camera->hasOpenSession())
            loop.quit();
    };
    QObject::connect(camera, &CameraDevice::didReceiveMetadataForItem, &loop, check);
    QObject::connect(camera, &CameraDevice::didReceiveThumbnailForItem, &loop, check);
    QObject::connect(camera, &CameraDevice::didCloseSession, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return camera->isReady() && camera->extrasComplete();
}

} // namespace CameraLookup
