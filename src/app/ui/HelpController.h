#pragma once

#include <QUrl>
#include <QWidget>

#include <functional>

// The help window: the help pages from the resources, shown beside the main window (not
// modally). Links to other places open in the user's web browser. One window per process,
// created on first use; closing it only hides it.
class HelpController : public QWidget
{
    Q_OBJECT

public:
    static HelpController *shared();
    static void show();
    // Drops the shared window (tests).
    static void reset();

    // What the window shows now.
    QUrl currentUrl() const;
    void load(const QUrl &url);
    // Applies the link policy to one navigation; answers whether it opens in place.
    bool navigate(const QUrl &url);

    // Replaces the hand-over to the system's browser (tests).
    static void setExternalOpener(std::function<void(const QUrl &)> opener);

private:
    explicit HelpController(QWidget *parent = nullptr);
    QWidget *m_view = nullptr;
    QUrl m_current;
};
