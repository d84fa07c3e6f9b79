#include "platform/HeldImage.h"

namespace {

HeldImage::Makers &makers()
{
    static HeldImage::Makers installed;
    return installed;
}

} // namespace

void HeldImage::installMakers(const Makers &given)
{
    makers() = given;
}

HeldImage HeldImage::preview(const QString &path, const QSize &box)
{
    return makers().preview ? makers().preview(path, box) : HeldImage();
}

HeldImage HeldImage::decode(const QByteArray &bytes, const QSize &box)
{
    return makers().decode ? makers().decode(bytes, box) : HeldImage();
}

HeldImage HeldImage::fileIcon(const QSize &size)
{
    return makers().fileIcon ? makers().fileIcon(size) : HeldImage();
}
