#include "geo/ui/LargeImageView.h"

#include "platform/Thumbnailer.h"

#include <QMetaObject>
#include <QPainter>

LargeImageView::LargeImageView(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("imageView"));
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // One decode at a time: a newer request makes an older one pointless.
    m_pool.setMaxThreadCount(1);
    m_resizeTimer.setSingleShot(true);
    m_resizeTimer.setInterval(150);
    connect(&m_resizeTimer, &QTimer::timeout, this, [this] {
        // Decode again only when the view has grown beyond what was decoded.
        if (!m_path.isEmpty() && (pixelBox().width() > m_loadedFor.width() ||
                                  pixelBox().height() > m_loadedFor.height()))
            request();
    });
}

LargeImageView::~LargeImageView()
{
    ++m_generation;
    m_pool.clear();
    m_pool.waitForDone();
}

QSize LargeImageView::pixelBox() const
{
    const qreal ratio = devicePixelRatioF();
    return QSize(qMax(1, int(width() * ratio)), qMax(1, int(height() * ratio)));
}

void LargeImageView::showThumbnail(const QImage &thumbnail)
{
    ++m_generation;
    m_path.clear();
    m_loadedFor = QSize();
    m_loading = false;
    m_waitingForSize = false;
    m_failed = false;
    m_fromFile = false;
    m_image = thumbnail;
    update();
}

void LargeImageView::setStandIn(const QImage &thumbnail)
{
    if (m_fromFile)
        return;
    m_image = thumbnail;
    update();
}

void LargeImageView::loadFile(const QString &path)
{
    m_path = path;
    m_failed = false;
    if (path.isEmpty()) {
        m_loading = false;
        m_waitingForSize = false;
        update();
        return;
    }
    if (!isVisible()) {
        m_loading = true;
        m_waitingForSize = true;
        return;
    }
    request();
}

void LargeImageView::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_waitingForSize && !m_path.isEmpty())
        request();
}

void LargeImageView::request()
{
    m_waitingForSize = false;
    const quint64 generation = ++m_generation;
    const QString path = m_path;
    const QSize box = pixelBox();
    m_loading = true;
    m_pool.clear();
    m_pool.start([this, generation, path, box] {
        const QImage decoded = Thumbnailer::picture(path, box);
        QMetaObject::invokeMethod(
            this, [this, generation, decoded, box] { deliver(generation, decoded, box); },
            Qt::QueuedConnection);
    });
}

void LargeImageView::deliver(quint64 generation, const QImage &decoded, const QSize &box)
{
    if (generation != m_generation)
        return;
    m_loading = false;
    m_loadedFor = box;
    m_failed = decoded.isNull();
    if (!m_failed) {
        m_image = decoded;
        m_fromFile = true;
    }
    update();
    Q_EMIT fileLoaded(!m_failed);
}

void LargeImageView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_resizeTimer.start();
}

void LargeImageView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(48, 48, 48));
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    QRect area = rect().adjusted(8, 8, -8, -8);
    const int noteHeight = fontMetrics().height() + 8;
    if (m_failed)
        area.setBottom(area.bottom() - noteHeight);

    if (!m_image.isNull() && !area.isEmpty()) {
        const qreal ratio = devicePixelRatioF();
        QSizeF shown = QSizeF(m_image.size()) / ratio;
        // A decoded file is never enlarged, nor is what stands in for a file that holds no
        // picture; a thumbnail fills the view while the file is on its way.
        const bool natural = m_fromFile || m_failed;
        if (!natural || shown.width() > area.width() || shown.height() > area.height())
            shown.scale(QSizeF(area.size()), Qt::KeepAspectRatio);
        // What stands in for a file without a picture (usually the file icon) stays small.
        if (m_failed && (shown.width() > 160 || shown.height() > 160))
            shown.scale(QSizeF(160, 160), Qt::KeepAspectRatio);
        const QRectF target(area.x() + (area.width() - shown.width()) / 2,
                            area.y() + (area.height() - shown.height()) / 2, shown.width(),
                            shown.height());
        painter.drawImage(target, m_image);
    } else {
        painter.setPen(QColor(190, 190, 190));
        painter.drawText(area, Qt::AlignCenter, emptyText());
    }
    if (m_failed) {
        painter.setPen(QColor(255, 200, 120));
        painter.drawText(QRect(8, height() - noteHeight - 4, width() - 16, noteHeight),
                         Qt::AlignCenter, failedText());
    }
}
