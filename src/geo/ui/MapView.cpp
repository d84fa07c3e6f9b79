#include "geo/ui/MapView.h"

#include "geo/MapPages.h"
#include "platform/Format.h"
#include "platform/SystemLog.h"
#include "platform/WebEngineStartup.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPointer>
#include <QTemporaryDir>
#include <QVBoxLayout>

#ifdef BRINDLEWICK_HAVE_WEBENGINE
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#endif

namespace {

std::function<void(const QUrl &)> g_opener;

void openExternally(const QUrl &url)
{
    if (g_opener)
        g_opener(url);
    else
        QDesktopServices::openUrl(url);
}

#ifdef BRINDLEWICK_HAVE_WEBENGINE

// One profile for every map: tiles are cached on disk between runs (the tile servers ask for
// that) and the requests say which program makes them.
QWebEngineProfile *mapProfile()
{
    static QPointer<QWebEngineProfile> profile;
    if (!profile) {
        profile = new QWebEngineProfile(QStringLiteral("Maps"), QCoreApplication::instance());
        profile->setHttpUserAgent(QStringLiteral("Brindlewick/%1 (photo geotagging; Linux)")
                                      .arg(QCoreApplication::applicationVersion().isEmpty()
                                               ? QStringLiteral(BRINDLEWICK_VERSION)
                                               : QCoreApplication::applicationVersion()));
        profile->setHttpCacheType(QWebEngineProfile::DiskHttpCache);
        profile->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    }
    return profile;
}

// Answers the page's request for the GPX file on show from disk.
class GpxInterceptor : public QWebEngineUrlRequestInterceptor
{
public:
    GpxInterceptor(MapView *view) : QWebEngineUrlRequestInterceptor(view), m_view(view) {}

    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        if (!m_view)
            return;
        if (const auto local = MapPages::gpxRedirect(info.requestUrl(), m_view->fileOnShow()))
            info.redirect(*local);
    }

private:
    QPointer<MapView> m_view;
};

class MapPage : public QWebEnginePage
{
public:
    MapPage(MapView *view) : QWebEnginePage(mapProfile(), view), m_view(view) {}

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool) override
    {
        const QString address = MapPages::addressText(url);
        switch (MapPages::decide(address, type == NavigationTypeLinkClicked)) {
        case MapPages::Navigation::Load:
            return true;
        case MapPages::Navigation::Geotag:
            Q_EMIT m_view->geotagAddress(address);
            return false;
        case MapPages::Navigation::OpenExternally:
            openExternally(url);
            return false;
        case MapPages::Navigation::Refuse:
            return false;
        }
        return false;
    }

private:
    MapView *m_view;
};

#endif

} // namespace

MapView::MapView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("mapView"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    setMinimumSize(320, 240);
    const QString reason = unavailableReason();
    if (!reason.isEmpty()) {
        m_notice = new QLabel(QStringLiteral("The map cannot be shown: %1.").arg(reason), this);
        m_notice->setObjectName(QStringLiteral("labelNoMap"));
        m_notice->setAlignment(Qt::AlignCenter);
        m_notice->setWordWrap(true);
        layout->addWidget(m_notice);
        return;
    }
#ifdef BRINDLEWICK_HAVE_WEBENGINE
    m_view = new QWebEngineView(this);
    m_view->setObjectName(QStringLiteral("webView"));
    m_page = new MapPage(this);
    m_page->setUrlRequestInterceptor(new GpxInterceptor(this));
    m_view->setPage(m_page);
    m_view->setContextMenuPolicy(Qt::NoContextMenu);
    m_view->setAcceptDrops(false);
    // Only loads that ended count: a navigation the page refused reports itself as stopped.
    connect(m_page, &QWebEnginePage::loadingChanged, this,
            [this](const QWebEngineLoadingInfo &info) {
                const bool ok = info.status() == QWebEngineLoadingInfo::LoadSucceededStatus;
                if (!ok && info.status() != QWebEngineLoadingInfo::LoadFailedStatus)
                    return;
                // A load replaced by the next one before it ended is no failure.
                if (!ok && info.errorDomain() == QWebEngineLoadingInfo::InternalErrorDomain &&
                    info.errorCode() == -3)
                    return;
                if (!ok)
                    SystemLog::write(formatMessage("could not load the website caused by error: %@",
                                                   info.errorString()));
                ++m_loadsFinished;
                m_lastLoadOk = ok;
                Q_EMIT loadFinished(ok);
            });
    layout->addWidget(m_view);
#endif
}

MapView::~MapView()
{
#ifdef BRINDLEWICK_HAVE_WEBENGINE
    // The page goes before the view it draws into.
    if (m_view) {
        m_view->setPage(nullptr);
        delete m_page;
    }
#endif
}

QString MapView::unavailableReason()
{
#ifdef BRINDLEWICK_HAVE_WEBENGINE
    return WebEngineStartup::unusableReason();
#else
    return QStringLiteral("this build of Brindlewick has no Qt WebEngine");
#endif
}

bool MapView::hasWebView() const
{
#ifdef BRINDLEWICK_HAVE_WEBENGINE
    return m_view != nullptr;
#else
    return false;
#endif
}

void MapView::setExternalOpener(std::function<void(const QUrl &)> opener)
{
    g_opener = std::move(opener);
}

void MapView::setFileOnShow(const QString &path)
{
    m_fileOnShow = path;
}

void MapView::showPage(const QString &html)
{
    m_html = html;
#ifdef BRINDLEWICK_HAVE_WEBENGINE
    if (!m_view)
        return;
    if (html.size() > kInlineLimit / 2 && html.toUtf8().size() > kInlineLimit) {
        loadLarge(html);
        return;
    }
    m_page->setHtml(html, QUrl());
#endif
}

void MapView::loadLarge(const QString &html)
{
#ifdef BRINDLEWICK_HAVE_WEBENGINE
    if (!m_largePages)
        m_largePages = std::make_unique<QTemporaryDir>();
    const QString path = QDir(m_largePages->path()).filePath(QStringLiteral("map.html"));
    QFile file(path);
    const std::optional<QString> page = MapPages::inlineLeaflet(html);
    if (!m_largePages->isValid() || !page ||
        !file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(page->toUtf8()) < 0 ||
        !file.flush()) {
        SystemLog::write(formatMessage("could not load the website caused by error: %@",
                                       QStringLiteral("can't write the map page to ") + path));
        m_page->setHtml(QString(), QUrl());
        return;
    }
    file.close();
    m_page->load(QUrl::fromLocalFile(path));
#else
    Q_UNUSED(html);
#endif
}

void MapView::runJavaScript(const QString &script, std::function<void(const QVariant &)> done)
{
#ifdef BRINDLEWICK_HAVE_WEBENGINE
    if (!m_page)
        return;
    m_page->runJavaScript(script, [done](const QVariant &result) {
        if (done)
            done(result);
    });
#else
    Q_UNUSED(script);
    Q_UNUSED(done);
#endif
}
