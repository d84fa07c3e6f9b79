#include "platform/RemovableVolume.h"

#include <QFileInfo>

QString RemovableVolume::name() const
{
    if (!label.isEmpty())
        return label;
    if (!mountPoint.isEmpty())
        return QFileInfo(mountPoint).fileName();
    return device;
}
