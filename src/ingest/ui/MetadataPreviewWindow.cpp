#include "ingest/ui/MetadataPreviewWindow.h"

#include "ingest/MetadataPreviewController.h"
#include "ingest/MetadataPreviewModel.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

namespace {

std::function<void(const QUrl &)> g_opener;

// The thumbnail column: the picture fitted into the top of its cell, never enlarged.
class ThumbnailCell : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        const QImage picture = qvariant_cast<QImage>(index.data(Qt::DecorationRole));
        const QRect area = option.rect.adjusted(6, 6, -6, -6);
        if (picture.isNull() || area.isEmpty())
            return;
        QSize shown = picture.size();
        if (shown.width() > area.width() || shown.height() > area.height())
            shown.scale(area.size(), Qt::KeepAspectRatio);
        painter->save();
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
        painter->drawImage(QRect(area.x() + (area.width() - shown.width()) / 2, area.y(),
                                 shown.width(), shown.height()),
                           picture);
        painter->restore();
    }
};

} // namespace

void MetadataPreviewWindow::setUrlOpener(std::function<void(const QUrl &)> opener)
{
    g_opener = std::move(opener);
}

MetadataPreviewWindow::MetadataPreviewWindow(MetadataPreviewController &controller, QWidget *parent)
    : QDialog(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("MetadataPreview"));
    setModal(true);
    setSizeGripEnabled(true);

    m_model = new MetadataPreviewModel(controller, this);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("tablePreview"));
    m_table->setModel(m_model);
    m_table->setSelectionMode(QAbstractItemView::NoSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setWordWrap(true);
    m_table->setShowGrid(true);
    m_table->setAlternatingRowColors(true);
    m_table->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    m_table->setMouseTracking(true);
    m_table->setItemDelegateForColumn(MetadataPreviewModel::ThumbnailColumn,
                                      new ThumbnailCell(m_table));
    m_table->verticalHeader()->hide();
    // Heights come from the controller, row by row; nothing is measured from the contents.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    QHeaderView *columns = m_table->horizontalHeader();
    columns->setSectionResizeMode(MetadataPreviewModel::ThumbnailColumn, QHeaderView::Fixed);
    columns->setSectionResizeMode(MetadataPreviewModel::TextColumn, QHeaderView::Stretch);
    columns->setSectionResizeMode(MetadataPreviewModel::MapColumn, QHeaderView::Fixed);
    columns->resizeSection(MetadataPreviewModel::ThumbnailColumn, 132);
    columns->resizeSection(MetadataPreviewModel::MapColumn, 110);

    m_labelSummary = new QLabel(this);
    m_labelSummary->setObjectName(QStringLiteral("labelSummary"));
    m_buttonOK = new QPushButton(QStringLiteral("OK"), this);
    m_buttonOK->setObjectName(QStringLiteral("buttonOK"));
    m_buttonOK->setDefault(true);

    auto *bottom = new QHBoxLayout;
    bottom->addWidget(m_labelSummary, 1);
    bottom->addWidget(m_buttonOK);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(bottom);
    setMinimumSize(560, 360);
    resize(860, 640);

    connect(m_buttonOK, &QPushButton::clicked, this, &MetadataPreviewWindow::actionOK);
    connect(m_table, &QTableView::clicked, this, [this](const QModelIndex &index) {
        if (index.column() == MetadataPreviewModel::MapColumn)
            doubleclick(index.row());
    });
    // The link looks like one under the mouse.
    connect(m_table, &QTableView::entered, this, [this](const QModelIndex &index) {
        const bool link = index.column() == MetadataPreviewModel::MapColumn &&
                          index.data(MetadataPreviewModel::MapLinkRole).toBool();
        m_table->viewport()->setCursor(link ? Qt::PointingHandCursor : Qt::ArrowCursor);
    });
    m_table->installEventFilter(this);
}

bool MetadataPreviewWindow::go()
{
    const bool any = m_controller.go();
    setWindowTitle(m_controller.windowTitle());
    m_model->reload();
    QHeaderView *rows = m_table->verticalHeader();
    for (int row = 0; row < m_model->rowCount(); ++row)
        rows->resizeSection(row, m_controller.heightOfRow(row));
    const int count = m_model->rowCount();
    m_labelSummary->setText(count == 1 ? QStringLiteral("1 ticked image.")
                                       : QStringLiteral("%1 ticked images.").arg(count));
    m_table->scrollToTop();
    return any;
}

void MetadataPreviewWindow::doubleclick(int row)
{
    if (!m_controller.showsMapLink(row))
        return;
    const QUrl address = m_controller.mapLinkAddress(row);
    if (address.isEmpty())
        return;
    if (g_opener)
        g_opener(address);
    else
        QDesktopServices::openUrl(address);
}

void MetadataPreviewWindow::actionOK()
{
    accept();
}

bool MetadataPreviewWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Enter or Space on a link cell opens it, as a click does.
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        const QModelIndex current = m_table->currentIndex();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
            current.isValid() && current.column() == MetadataPreviewModel::MapColumn &&
            current.data(MetadataPreviewModel::MapLinkRole).toBool()) {
            doubleclick(current.row());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
