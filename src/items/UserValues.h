#pragma once

#include "items/ThumbItem.h"

#include <QString>
#include <QVariantMap>

// How an image's own value for a metadata field and the preset's text for it combine. An empty
// or missing user value means "use the preset"; the marker kNoValue means the user asked for no
// value at all for this image, so the preset's text is not used either.
namespace UserValues {

inline const QString kNoValue = QStringLiteral("<none>");

// The text to expand for `key`: the user's value when it has one, nothing when the user cleared
// the field on purpose, otherwise the preset's text.
inline QString sourceText(const ThumbItem &item, const QString &key, const QString &presetText)
{
    if (item.metadataUser) {
        const QString user = item.metadataUser->value(key).toString();
        if (user == kNoValue)
            return QString();
        if (!user.isEmpty())
            return user;
    }
    return presetText;
}

} // namespace UserValues
