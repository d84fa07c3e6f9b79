#include "app/ui/HelpController.h"

#include "app/HelpLinks.h"
#include "log/ConsoleLog.h"
#include "platform/WebEngineStartup.h"

#include <QApplication>
#include <QDesktopServices>
#include <QPointer>
#include <QScreen>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <cstdio>

#ifdef BRINDLEWICK_HAVE_WEBENGINE
#include <QWebEnginePage>
#include <QWebEngineView>
#endif

namespace {

QPointer<HelpController> g_shared;
std::function<void(const QUrl &)> g_opener;

void openExternally(const QUrl &url)
{
    if (g_opener)
        g_opener(url);
    else
        QDesktopServices::openUrl(url);
}

// Why the help window cannot show its pages in this process; empty when it can.
QString webViewUnusable()
{
#ifdef BRINDLEWICK_HAVE_WEBENGINE
    return WebEngineStartup::unusableReason();
#else
    return QString(); // the plain text browser always works
#endif
}

// The help pages go to the user's browser from a copy on disk. Said on the console (the log
// pane and standard error), since no window appears in the program.
void showInBrowser(const QString &reason)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                           QStringLiteral("/Brindlewick/help");
    const QUrl index = HelpLinks::exportPages(folder);
    const QString line =
        index.isEmpty()
            ? formatMessage("Help cannot be shown (%@), and its pages cannot be written to %@.",
                            reason, folder)
            : formatMessage("Help opens in your web browser, because %@: %@", reason,
                            index.toLocalFile());
    logPrint("\n%@\n", line);
    std::fprintf(stderr, "%s\n", qPrintable(line));
    if (!index.isEmpty())
        openExternally(index);
}

#ifdef BRINDLEWICK_HAVE_WEBENGINE
// Decides every navigation of the help window by the link policy.
class HelpPage : public QWebEnginePage
{
public:
    HelpPage(HelpController *owner) : QWebEnginePage(owner), m_owner(owner)
    {
        // A page process that dies (a broken engine install, a refused start) leaves an empty
        // window: the pages go to the user's browser instead.
        connect(this, &QWebEnginePage::renderProcessTerminated, owner,
                [owner](RenderProcessTerminationStatus status, int code) {
                    if (status == NormalTerminationStatus)
                        return;
                    owner->hide();
                    showInBrowser(formatMessage("the help window's page process ended (%d)", code));
                });
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool) override
    {
        return m_owner->navigate(url);
    }

private:
    HelpController *m_owner;
};
#endif

} // namespace

HelpController::HelpController(QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpController"));
    setWindowTitle(QStringLiteral("Brindlewick Help"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
#ifdef BRINDLEWICK_HAVE_WEBENGINE
    auto *view = new QWebEngineView(this);
    view->setPage(new HelpPage(this));
    m_view = view;
#else
    auto *browser = new QTextBrowser(this);
    browser->setOpenLinks(false);
    connect(browser, &QTextBrowser::anchorClicked, this, [this, browser](const QUrl &link) {
        const QUrl url = browser->source().resolved(link);
        if (navigate(url))
            load(url);
    });
    m_view = browser;
#endif
    m_view->setObjectName(QStringLiteral("webView"));
    layout->addWidget(m_view);
    resize(760, 620);
    if (const QScreen *screen = QApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    load(HelpLinks::indexPage());
}

HelpController *HelpController::shared()
{
    if (!g_shared)
        g_shared = new HelpController();
    return g_shared;
}

void HelpController::show()
{
    // A web engine that cannot start would end the whole program: never make one then.
    if (const QString reason = webViewUnusable(); !reason.isEmpty()) {
        showInBrowser(reason);
        return;
    }
    HelpController *help = shared();
    help->QWidget::show();
    help->raise();
}

void HelpController::reset()
{
    delete g_shared.data();
}

void HelpController::setExternalOpener(std::function<void(const QUrl &)> opener)
{
    g_opener = std::move(opener);
}

QUrl HelpController::currentUrl() const
{
    return m_current;
}

bool HelpController::navigate(const QUrl &url)
{
    if (HelpLinks::opensInPlace(url)) {
        m_current = url;
        return true;
    }
    openExternally(url);
    return false;
}

void HelpController::load(const QUrl &url)
{
    m_current = url;
#ifdef BRINDLEWICK_HAVE_WEBENGINE
    static_cast<QWebEngineView *>(m_view)->setUrl(url);
#else
    static_cast<QTextBrowser *>(m_view)->setSource(url);
#endif
}
