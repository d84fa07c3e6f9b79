#include "platform/VolumeMonitor.h"

#include <QCoreApplication>
#include <QFile>

#include <dlfcn.h>

std::unique_ptr<VolumeMonitor> VolumeMonitor::openSystem(Handlers handlers, QString *error)
{
    // Beside the program, where the build and the package both put it.
    const QString path =
        QCoreApplication::applicationDirPath() + QStringLiteral("/" BRINDLEWICK_BUS_MODULE);
    void *module = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        *error = QStringLiteral("the desktop bus module could not be loaded: %1")
                     .arg(QString::fromLocal8Bit(::dlerror()));
        return nullptr;
    }
    const auto open =
        reinterpret_cast<OpenVolumeMonitorEntry>(::dlsym(module, kOpenVolumeMonitorEntry));
    if (!open) {
        *error = QStringLiteral("the desktop bus module %1 has no entry point").arg(path);
        return nullptr;
    }
    return std::unique_ptr<VolumeMonitor>(open(&handlers));
}
