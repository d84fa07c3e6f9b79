#include "app/HelpLinks.h"

namespace {
const QString kHelpPrefix = QStringLiteral("qrc:/help/");
}

QUrl HelpLinks::indexPage()
{
    return QUrl(kHelpPrefix + QStringLiteral("index.html"));
}

QUrl HelpLinks::startPage()
{
    return QUrl(kHelpPrefix + QStringLiteral("start.html"));
}

bool HelpLinks::opensInPlace(const QUrl &url)
{
    const QString address = url.toString();
    if (address == QStringLiteral("about:blank"))
        return true;
    // Compared on the normalised address, so "qrc:/help/../x" cannot slip out of the prefix.
    const QString normalised = url.adjusted(QUrl::NormalizePathSegments).toString();
    return normalised.startsWith(kHelpPrefix) && address.startsWith(kHelpPrefix);
}
