#include "app/ui/ImageBrowserView.h"

#include "app/BrowserGeometry.h"
#include "items/SelectionEditor.h"
#include "items/ThumbListModel.h"
#include "platform/NotificationCenter.h"

#include <QFontDatabase>
#include <QHash>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace {

std::function<bool()> g_isIngesting;

// The badge pictures, loaded once on first use; one that cannot be loaded is not drawn.
const QImage &badge(const char *name)
{
    static QHash<QString, QImage> cache;
    const QString key = QString::fromLatin1(name);
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.insert(key, QImage(QStringLiteral(":/badges/") + key));
    return it.value();
}

void drawBadge(QPainter *painter, const QRectF &rect, const char *name)
{
    const QImage &image = badge(name);
    if (!image.isNull())
        painter->drawImage(rect, image);
}

} // namespace

ImageBrowserCell::ImageBrowserCell(QObject *parent)
    : QStyledItemDelegate(parent), m_cellSize(160, 160)
{}

QSize ImageBrowserCell::sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const
{
    return m_cellSize;
}

void ImageBrowserCell::paint(QPainter *painter, const QStyleOptionViewItem &option,
                             const QModelIndex &index) const
{
    using namespace BrowserGeometry;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF cell = QRectF(option.rect.topLeft(), QSizeF(m_cellSize));
    const bool selected = option.state & QStyle::State_Selected;

    if (selected) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(120, 150, 200, 110));
        painter->drawRoundedRect(selectionFrame(cell), 6, 6);
    }
    // The outline of the picture container.
    painter->setPen(QPen(QColor(0, 0, 0, 40), 1));
    painter->setBrush(QColor(255, 255, 255, 90));
    painter->drawRoundedRect(imageContainerFrame(cell).adjusted(2, 2, -2, -2), 4, 4);

    const QImage picture = qvariant_cast<QImage>(index.data(Qt::DecorationRole));
    const bool ready = !picture.isNull() && !picture.size().isEmpty();
    if (ready) {
        const QRectF frame = imageFrame(cell, picture.size());
        painter->drawImage(frame, picture);
    }

    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(10);
    painter->setFont(font);
    painter->setPen(selected ? Qt::white : Qt::black);
    const QRectF title = titleFrame(cell);
    const QString text = painter->fontMetrics().elidedText(index.data(Qt::DisplayRole).toString(),
                                                           Qt::ElideRight, int(title.width()));
    if (selected) {
        const qreal w = painter->fontMetrics().horizontalAdvance(text) + 10;
        painter->save();
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(60, 100, 170));
        painter->drawRoundedRect(
            QRectF(title.center().x() - w / 2, title.y() - 1, w, title.height() + 2), 6, 6);
        painter->restore();
    }
    painter->drawText(title, Qt::AlignHCenter | Qt::AlignVCenter, text);

    // Badges only once the picture is there.
    if (ready) {
        drawBadge(painter, badgeRect(cell, Badge::Gloss), "glossy.png");
        drawBadge(painter, badgeRect(cell, Badge::Info), "InfoInCircle2.png");
        const bool excluded = index.data(ThumbListModel::ExcludedRole).toBool();
        const bool checked = index.data(ThumbListModel::CheckedRole).toBool();
        if (excluded)
            drawBadge(painter, badgeRect(cell, Badge::Excluded), "exclude.png");
        else if (checked)
            drawBadge(painter, badgeRect(cell, Badge::Ticked), "PlusInCircle.png");
        else
            drawBadge(painter, badgeRect(cell, Badge::Unticked), "MinusInCircle.png");
        if (index.data(ThumbListModel::IngestedRole).toBool())
            drawBadge(painter, badgeRect(cell, Badge::Ingested), "checkmark.png");
    }
    painter->restore();
}

ImageBrowserView::ImageBrowserView(QWidget *parent) : QListView(parent)
{
    setObjectName(QStringLiteral("imageBrowser"));
    setViewMode(QListView::IconMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setWrapping(true);
    setUniformItemSizes(true);
    setSpacing(8); // 16 points between neighbouring cells
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionRectVisible(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_cell = new ImageBrowserCell(this);
    setItemDelegate(m_cell);
    setBackgroundColor(QColor());
    setZoomValue(0.4);
}

void ImageBrowserView::setIngestingProbe(std::function<bool()> probe)
{
    g_isIngesting = std::move(probe);
}

void ImageBrowserView::setThumbModel(ThumbListModel *model)
{
    m_model = model;
    setModel(model);
    tellPictureSide();
}

void ImageBrowserView::tellPictureSide()
{
    // Pictures are made for the pixels the largest drawn picture covers on this screen; in the
    // one-image pane that is the whole container (inset by 8 points, above the title strip).
    if (!m_model)
        return;
    const QSize cell = m_cell->cellSize();
    const int side = m_fillsView ? qMax(cell.width() - 16, cell.height() - 31)
                                 : BrowserGeometry::pictureSide(cell.width());
    m_model->setPictureSide(int(std::ceil(side * devicePixelRatioF())));
}

void ImageBrowserView::setBackgroundColor(const QColor &color)
{
    // No colour means the browser's grey 0.9.
    const QColor fill = color.isValid() ? color : QColor::fromRgbF(0.9f, 0.9f, 0.9f);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, fill);
    setPalette(pal);
    setAutoFillBackground(true);
}

void ImageBrowserView::setFillsView(bool fills)
{
    m_fillsView = fills;
    setVerticalScrollBarPolicy(fills ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(fills ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
}

void ImageBrowserView::resizeEvent(QResizeEvent *event)
{
    QListView::resizeEvent(event);
    if (!m_fillsView)
        return;
    const QSize cell =
        (viewport()->size() - QSize(2 * spacing(), 2 * spacing())).expandedTo(QSize(64, 64));
    if (cell == m_cell->cellSize())
        return;
    m_cell->setCellSize(cell);
    tellPictureSide();
    if (model())
        doItemsLayout();
}

void ImageBrowserView::setZoomValue(double zoom)
{
    m_zoom = qBound(BrowserGeometry::kSmallestZoom, zoom, BrowserGeometry::kLargestZoom);
    // The one-image pane's cell follows the pane, not the zoom.
    if (m_fillsView)
        return;
    const int side = BrowserGeometry::cellSide(m_zoom);
    m_cell->setCellSize(QSize(side, side));
    tellPictureSide();
    // The delegate's size changed: make the view lay its cells out again.
    if (model())
        doItemsLayout();
}

QList<int> ImageBrowserView::selectedRows() const
{
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex &index : selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void ImageBrowserView::selectRows(const QList<int> &rows, bool extend)
{
    if (!selectionModel() || !model())
        return;
    QItemSelection selection;
    for (int row : rows) {
        const QModelIndex index = model()->index(row, 0);
        if (index.isValid())
            selection.select(index, index);
    }
    selectionModel()->select(selection, extend ? QItemSelectionModel::Select
                                               : QItemSelectionModel::ClearAndSelect);
}

void ImageBrowserView::reloadData()
{
    if (m_model)
        m_model->reload();
    viewport()->update();
}

void ImageBrowserView::sendShowInfo(ThumbItem *item)
{
    NotificationCenter::defaultCenter().post(
        QStringLiteral("ShowInfo"), this,
        {{QStringLiteral("item"), QVariant::fromValue(static_cast<void *>(item))}});
}

void ImageBrowserView::sendShowViewer(ThumbItem *item)
{
    NotificationCenter::defaultCenter().post(
        QStringLiteral("ShowViewer"), this,
        {{QStringLiteral("item"), QVariant::fromValue(static_cast<void *>(item))}});
}

bool ImageBrowserView::handleClick(QMouseEvent *event, int clickCount)
{
    if (!m_model || (g_isIngesting && g_isIngesting()))
        return false;
    const QPointF at = event->position();
    bool tickClick = false;
    bool handled = false;
    const QRect visible = viewport()->rect();
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QRect rect = cellRect(row);
        if (!rect.intersects(visible))
            continue;
        const QRectF cell(rect.topLeft(), QSizeF(m_cell->cellSize()));
        const ThumbItemPtr item = m_model->itemAt(row);
        if (BrowserGeometry::tickZone(cell).contains(at)) {
            SelectionEditor::tickClick(m_model->items(), row, selectedRows());
            m_model->reload();
            viewport()->update();
            tickClick = handled = true;
            break;
        }
        if (BrowserGeometry::infoZone(cell).contains(at)) {
            QPointer<ImageBrowserView> self(this);
            std::weak_ptr<ThumbItem> weak = item;
            QTimer::singleShot(100, this, [self, weak] {
                if (const ThumbItemPtr alive = weak.lock(); alive && self)
                    self->sendShowInfo(alive.get());
            });
            handled = true;
            break;
        }
        if (cell.contains(at) && clickCount == 2) {
            std::weak_ptr<ThumbItem> weak = item;
            QTimer::singleShot(100, this, [this, weak] {
                if (const ThumbItemPtr alive = weak.lock())
                    sendShowViewer(alive.get());
            });
        }
    }
    if (tickClick)
        NotificationCenter::defaultCenter().post(QStringLiteral("StatusDisplayChange"), this);
    return handled;
}

void ImageBrowserView::mousePressEvent(QMouseEvent *event)
{
    if (!handleClick(event, 1))
        QListView::mousePressEvent(event);
}

void ImageBrowserView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (!handleClick(event, 2))
        QListView::mouseDoubleClickEvent(event);
}
