#pragma once

#include <QImage>
#include <QThreadPool>
#include <QTimer>
#include <QWidget>

// Shows one picture as large as the view allows. The file is decoded at the view's size on a
// worker thread (from an embedded preview when one is big enough, else the picture itself);
// the thumbnail stands in meanwhile. A file that holds no picture keeps the thumbnail with a
// note under it; with neither, a placeholder is drawn. Main thread only, apart from the decode.
class LargeImageView : public QWidget
{
    Q_OBJECT

public:
    explicit LargeImageView(QWidget *parent = nullptr);
    ~LargeImageView() override;

    // Shows `thumbnail` (may be null) and forgets any file.
    void showThumbnail(const QImage &thumbnail);
    // A thumbnail that arrived later stands in until the file is there; the file load goes on.
    void setStandIn(const QImage &thumbnail);
    // Decodes `path` for the view's size and shows it when it is ready.
    void loadFile(const QString &path);

    QString file() const { return m_path; }
    bool isLoading() const { return m_loading; }
    // The last file held no picture.
    bool failed() const { return m_failed; }
    // The picture on show and whether it came from the file (not the thumbnail).
    QImage image() const { return m_image; }
    bool showsFile() const { return m_fromFile; }

    QSize sizeHint() const override { return QSize(640, 420); }
    QSize minimumSizeHint() const override { return QSize(240, 160); }

    // The note drawn when a file cannot be shown, and the placeholder with no picture at all.
    static QString failedText()
    {
        return QStringLiteral("This file cannot be shown as a picture.");
    }
    static QString emptyText() { return QStringLiteral("No picture"); }

Q_SIGNALS:
    // A file has been decoded (or found to hold no picture).
    void fileLoaded(bool decoded);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void request();
    void deliver(quint64 generation, const QImage &decoded, const QSize &box);
    QSize pixelBox() const;

    QImage m_image;
    QString m_path;
    QSize m_loadedFor;
    quint64 m_generation = 0;
    bool m_loading = false;
    // A file given before the view was shown waits for its size.
    bool m_waitingForSize = false;
    bool m_failed = false;
    bool m_fromFile = false;
    QTimer m_resizeTimer;
    QThreadPool m_pool;
};
