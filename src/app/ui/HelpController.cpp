#include "app/ui/HelpController.h"

#include "app/HelpLinks.h"

#include <QApplication>
#include <QDesktopServices>
#include <QPointer>
#include <QScreen>
#include <QTextBrowser>
#include <QVBoxLayout>

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

#ifdef BRINDLEWICK_HAVE_WEBENGINE
// Decides every navigation of the help window by the link policy.
class HelpPage : public QWebEnginePage
{
public:
    HelpPage(HelpController *owner) : QWebEnginePage(owner), m_owner(owner) {}

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
