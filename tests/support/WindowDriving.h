#pragma once
// Shared by the Qt Test programs that drive a window and read back what it stored: its widgets
// found by name, and the built command-line tool run on the same test home (HOME and the XDG
// folders are inherited).
#include <QCoreApplication>
#include <QMap>
#include <QProcess>
#include <QStringList>

// The window's child of type T named `name`; a missing one ends the test program at once.
template <typename T> T *child(const QObject *window, const char *name)
{
    T *found = window->findChild<T *>(QString::fromLatin1(name));
    if (!found)
        qFatal("no widget %s", name);
    return found;
}

struct ToolRun
{
    int exitCode = -1; // -1: it did not start, crashed or did not finish
    QString out;
    QString err;
};

// brindlewick-cli beside the test program, with `env` added to its environment.
inline ToolRun runCliTool(const QStringList &args, const QMap<QString, QString> &env = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (auto it = env.cbegin(); it != env.cend(); ++it)
        environment.insert(it.key(), it.value());
    process.setProcessEnvironment(environment);
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/brindlewick-cli"),
                  args);
    ToolRun run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}
