#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QWidget>

// Saves a picture of `widget` as NAME.png for a person to look at: into $BRINDLEWICK_GRAB_DIR
// when it is set, else into the build folder's "screenshots". Answers the file written.
inline QString grabWindow(QWidget *widget, const QString &name)
{
    QString folder = qEnvironmentVariable("BRINDLEWICK_GRAB_DIR");
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../screenshots");
    QDir().mkpath(folder);
    const QString path = QDir(folder).absoluteFilePath(name + QStringLiteral(".png"));
    return widget->grab().save(path) ? path : QString();
}
