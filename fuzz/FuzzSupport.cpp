#include "FuzzSupport.h"

#include "platform/SystemLog.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace FuzzSupport {

namespace {
std::unique_ptr<QTemporaryDir> g_home;
// Lives until the process ends (it is never destroyed: libFuzzer leaves through exit(), after
// which Qt can no longer be torn down in order), with arguments of its own.
int g_argc = 1;
char g_name[] = "fuzz";
char *g_argv[] = {g_name, nullptr};
QCoreApplication *g_app = nullptr;
} // namespace

void initialize(int *, char ***)
{
    g_home = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                             QStringLiteral("/brindlewick-fuzz-XXXXXX"));
    const QByteArray root = g_home->path().toLocal8Bit();
    setenv("HOME", root.constData(), 1);
    setenv("XDG_DATA_HOME", (root + "/.local/share").constData(), 1);
    setenv("XDG_CONFIG_HOME", (root + "/.config").constData(), 1);
    setenv("XDG_CACHE_HOME", (root + "/.cache").constData(), 1);
    QDir().mkpath(g_home->path() + QStringLiteral("/scratch"));
    g_app = new QCoreApplication(g_argc, g_argv);
    SystemLog::setEchoToStderr(false);
    // Keep the fuzzed failures out of the machine's system log: they are expected.
    SystemLog::setSink([](const QString &) {});
}

QString scratchFolder()
{
    return g_home->path() + QStringLiteral("/scratch");
}

void split(const QByteArray &input, QByteArray *first, QByteArray *second)
{
    const qsizetype zero = input.indexOf('\0');
    *first = zero < 0 ? input : input.left(zero);
    *second = zero < 0 ? QByteArray() : input.mid(zero + 1);
}

} // namespace FuzzSupport
