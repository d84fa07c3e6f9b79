#include "platform/WebEngineStartup.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibraryInfo>

#include <cstdio>
#include <unistd.h>

namespace {

std::optional<WebEngineStartup::Facts> g_testFacts;

const char *const kDisableSandbox = "QTWEBENGINE_DISABLE_SANDBOX";
const char *const kChromiumFlags = "QTWEBENGINE_CHROMIUM_FLAGS";
const char *const kHelperPath = "QTWEBENGINEPROCESS_PATH";
const QString kHelperName = QStringLiteral("QtWebEngineProcess");

bool sandboxDisabled()
{
    if (qEnvironmentVariableIsSet(kDisableSandbox))
        return true;
    const QStringList flags =
        qEnvironmentVariable(kChromiumFlags).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return flags.contains(QStringLiteral("--no-sandbox"));
}

bool isExecutable(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

// The places the engine looks for its helper, in its order: the variable alone when it is set,
// else beside the program, else among the libraries' executables.
bool helperFound()
{
    if (qEnvironmentVariableIsSet(kHelperPath))
        return isExecutable(qEnvironmentVariable(kHelperPath));
    if (QCoreApplication::instance() &&
        isExecutable(QCoreApplication::applicationDirPath() + QLatin1Char('/') + kHelperName))
        return true;
    return isExecutable(QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) +
                        QLatin1Char('/') + kHelperName);
}

} // namespace

namespace WebEngineStartup {

Facts currentFacts()
{
    if (g_testFacts)
        return *g_testFacts;
    Facts facts;
    facts.root = geteuid() == 0;
    facts.sandboxDisabled = sandboxDisabled();
    facts.helperFound = helperFound();
    return facts;
}

void setFactsForTests(std::optional<Facts> facts)
{
    g_testFacts = std::move(facts);
}

Decision decide(const Facts &facts)
{
    return facts.root && !facts.sandboxDisabled ? Decision::SandboxOffForRoot : Decision::Unchanged;
}

Decision prepare()
{
    // The engine shares its OpenGL contexts with the windows; it must be said before the
    // application object exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    Facts facts;
    facts.root = geteuid() == 0;
    facts.sandboxDisabled = sandboxDisabled();
    const Decision decision = decide(facts);
    if (decision == Decision::SandboxOffForRoot) {
        qputenv(kDisableSandbox, "1");
        std::fprintf(stderr, "Brindlewick runs as root: its web views (help, maps) run without "
                             "the web engine's sandbox.\n");
    }
    return decision;
}

QString unusableReason(const Facts &facts)
{
    if (facts.root && !facts.sandboxDisabled)
        return QStringLiteral("the web engine does not run as root with its sandbox on");
    if (!facts.helperFound)
        return QStringLiteral("the web engine's helper program %1 is missing").arg(kHelperName);
    return QString();
}

QString unusableReason()
{
    return unusableReason(currentFacts());
}

} // namespace WebEngineStartup
