#include "platform/ImageProperties.h"

namespace ImageProperties {

std::optional<QVariantMap> exif(const QString &path)
{
    Q_UNUSED(path);
    return std::nullopt; // the Exiv2 reader replaces this
}

} // namespace ImageProperties
