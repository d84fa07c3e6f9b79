#include "app/HelpLinks.h"

#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>

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

QUrl HelpLinks::exportPages(const QString &folder, const QString &from)
{
    const QDir source(from);
    const QStringList pages = source.entryList(QDir::Files, QDir::Name);
    if (pages.isEmpty() || !QDir().mkpath(folder))
        return QUrl();
    for (const QString &page : pages) {
        QFile in(source.filePath(page));
        if (!in.open(QIODevice::ReadOnly))
            return QUrl();
        if (!writeFileAtomically(QDir(folder).filePath(page), in.readAll()))
            return QUrl();
    }
    return QUrl::fromLocalFile(QDir(folder).filePath(QStringLiteral("index.html")));
}
