#pragma once

#include <QString>
#include <QVariant>
#include <QWidget>

#include <functional>
#include <memory>

class QLabel;
class QTemporaryDir;
class QWebEnginePage;
class QWebEngineView;

// A web view for the map pages. Its page is loaded with no base address; Leaflet comes from
// the resources and tiles from the network through a profile of its own (an identifying
// User-Agent, a disk cache, no stored cookies). The page's "geotag://" navigations come out
// as geotagAddress(); a link the user clicks (the tile provider's credit) opens in the web
// browser; nothing else leaves the map. Where the engine cannot run (or the program was built
// without it) the view says why instead of taking the program down.
class MapView : public QWidget
{
    Q_OBJECT

public:
    explicit MapView(QWidget *parent = nullptr);
    ~MapView() override;

    // Loads a filled page; an empty text shows an empty page.
    void showPage(const QString &html);
    // The GPX file whose ".gpx" requests are answered from disk.
    void setFileOnShow(const QString &path);
    QString fileOnShow() const { return m_fileOnShow; }
    // The last page given to showPage.
    QString pageText() const { return m_html; }
    // Loads that have finished since the view was made (tests wait on it).
    int loadsFinished() const { return m_loadsFinished; }
    bool lastLoadSucceeded() const { return m_lastLoadOk; }

    // Why this process shows no map (built without Qt WebEngine, or an engine that cannot
    // start here); empty when it shows one. The view then shows the reason instead.
    static QString unavailableReason();
    bool hasWebView() const;
    // Runs script in the page; `done` gets its result (never called without WebEngine).
    void runJavaScript(const QString &script, std::function<void(const QVariant &)> done);
#ifdef BRINDLEWICK_HAVE_WEBENGINE
    QWebEngineView *webView() const
    {
        return m_view;
    }
#endif

    // Replaces how web links are opened (tests); empty restores the desktop's browser.
    static void setExternalOpener(std::function<void(const QUrl &)> opener);
    // Pages larger than this many bytes are written to a private temporary file and loaded
    // from there (the engine refuses large inline pages).
    static constexpr qsizetype kInlineLimit = 1024 * 1024;

Q_SIGNALS:
    void geotagAddress(const QString &address);
    void loadFinished(bool ok);

private:
    void loadLarge(const QString &html);

    QString m_html;
    QString m_fileOnShow;
    int m_loadsFinished = 0;
    bool m_lastLoadOk = false;
    std::unique_ptr<QTemporaryDir> m_largePages;
#ifdef BRINDLEWICK_HAVE_WEBENGINE
    QWebEngineView *m_view = nullptr;
    QWebEnginePage *m_page = nullptr;
#endif
    QLabel *m_notice = nullptr;
};
