#pragma once

#include <QColor>
#include <QListView>
#include <QStyledItemDelegate>

#include <functional>

class ThumbListModel;
class ThumbItem;

// Draws one browser cell: the picture fitted into its frame, the title in the strip below, and
// once the picture is there the gloss and the badges (tick, excluded, info, ingested).
class ImageBrowserCell : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit ImageBrowserCell(QObject *parent = nullptr);
    void setCellSize(const QSize &size) { m_cellSize = size; }
    QSize cellSize() const { return m_cellSize; }
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    QSize m_cellSize;
};

// The image browser: an icon grid over the item list. Clicks on a cell's tick badge tick the
// item (or the whole selection when the cell is selected), clicks on its info badge and double
// clicks on its picture are announced a tenth of a second later ("ShowInfo", "ShowViewer").
class ImageBrowserView : public QListView
{
    Q_OBJECT

public:
    explicit ImageBrowserView(QWidget *parent = nullptr);

    void setThumbModel(ThumbListModel *model);
    ThumbListModel *thumbModel() const { return m_model; }
    // Cell size follows the zoom: 0.4 is the starting size.
    void setZoomValue(double zoom);
    double zoomValue() const { return m_zoom; }
    void setBackgroundColor(const QColor &color);
    // The one-image pane: its cell fills the view, and the model makes the picture for the
    // view's size (from the file or its largest embedded preview, never a thumbnail blown up).
    void setFillsView(bool fills);

    QList<int> selectedRows() const;
    void selectRows(const QList<int> &rows, bool extend);
    // The cell rectangle of a row in viewport coordinates.
    QRect cellRect(int row) const { return visualRect(model()->index(row, 0)); }
    void reloadData();

    // While this answers true, clicks go straight to the list view (no badge zones).
    static void setIngestingProbe(std::function<bool()> probe);

    void sendShowInfo(ThumbItem *item);
    void sendShowViewer(ThumbItem *item);

protected:
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    // Tells the model the size its pictures are drawn at now.
    void tellPictureSide();
    // Answers whether the click was taken by a badge zone.
    bool handleClick(QMouseEvent *event, int clickCount);

    ThumbListModel *m_model = nullptr;
    ImageBrowserCell *m_cell = nullptr;
    double m_zoom = 0.4;
    bool m_fillsView = false;
};
