#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>

QString testHome()
{
    return QString::fromLocal8Bit(qgetenv("HOME"));
}

QString makeTestFolder(const QString &name)
{
    const QString path = testHome() + QStringLiteral("/t-") + name + QLatin1Char('-') +
                         QUuid::createUuid().toString(QUuid::Id128).left(8);
    QDir().mkpath(path);
    return path;
}

bool writeTestFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(content) == content.size();
}

QByteArray readTestFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString sharedTestData()
{
    const QString path = QStringLiteral(BRINDLEWICK_SHARED_TESTDATA);
    return QFileInfo(path).isDir() ? QFileInfo(path).canonicalFilePath() : QString();
}

ProcessRequest cliRequest(const QStringList &args)
{
    ProcessRequest request;
    request.program = QStringLiteral(BRINDLEWICK_BIN_DIR "/brindlewick-cli");
    request.arguments = args;
    request.captureStdout = true;
    request.captureStderr = true;
    return request;
}

ProcessResult runCli(const QStringList &args)
{
    return Process::run(cliRequest(args));
}
