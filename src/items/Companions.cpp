#include "items/Companions.h"

#include <QFileInfo>
#include <QSet>

namespace Companions {

namespace {

// Main files that cameras give companions: movies, and Canon's CRW raws (which come with a .THM).
bool isMainKind(const QString &lowerName)
{
    static const QStringList kExtensions = {
        QStringLiteral(".mov"), QStringLiteral(".mp4"), QStringLiteral(".m4v"),
        QStringLiteral(".avi"), QStringLiteral(".mts"), QStringLiteral(".m2ts"),
        QStringLiteral(".mxf"), QStringLiteral(".3gp"), QStringLiteral(".crw")};
    for (const QString &extension : kExtensions) {
        if (lowerName.endsWith(extension))
            return true;
    }
    return false;
}

// The endings that make a companion, after the main file's base name.
const QStringList &companionEndings()
{
    static const QStringList kEndings = {QStringLiteral(".thm"), QStringLiteral("m01.xml")};
    return kEndings;
}

QString folderOf(const QString &relative)
{
    const qsizetype slash = relative.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : relative.left(slash + 1);
}

QString nameOf(const QString &relative)
{
    return relative.mid(relative.lastIndexOf(QLatin1Char('/')) + 1);
}

QString baseOf(const QString &name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot <= 0 ? name : name.left(dot);
}

} // namespace

QHash<QString, QString> find(const QStringList &relatives)
{
    // Main files by folder and lower-case base name.
    QHash<QString, QString> mains;
    for (const QString &relative : relatives) {
        const QString lower = nameOf(relative).toLower();
        if (isMainKind(lower))
            mains.insert(folderOf(relative) + baseOf(lower), relative);
    }
    QHash<QString, QString> out;
    if (mains.isEmpty())
        return out;
    for (const QString &relative : relatives) {
        const QString lower = nameOf(relative).toLower();
        for (const QString &ending : companionEndings()) {
            if (lower.size() <= ending.size() || !lower.endsWith(ending))
                continue;
            const QString key = folderOf(relative) + lower.left(lower.size() - ending.size());
            const auto main = mains.constFind(key);
            if (main != mains.constEnd() && *main != relative)
                out.insert(relative, *main);
        }
    }
    return out;
}

QString targetName(const QString &companionPath, const QString &mainPath,
                   const QString &mainTargetName)
{
    const QString companion = QFileInfo(companionPath).fileName();
    const qsizetype stem = baseOf(QFileInfo(mainPath).fileName()).size();
    return baseOf(mainTargetName) + companion.mid(stem);
}

} // namespace Companions
