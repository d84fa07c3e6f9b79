#include "ingest/MetadataPreviewModel.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QSize>

MetadataPreviewModel::MetadataPreviewModel(MetadataPreviewController &controller, QObject *parent)
    : QAbstractTableModel(parent), m_controller(controller)
{
    connect(&m_pictures, &ThumbListModel::pictureArrived, this, [this](int row) {
        const QModelIndex at = index(row, ThumbnailColumn);
        Q_EMIT dataChanged(at, at, {Qt::DecorationRole});
    });
}

void MetadataPreviewModel::reload()
{
    beginResetModel();
    m_pictures.setItems(m_controller.itemsChecked);
    // Made once per refresh: this also records each image's own position for its map link.
    m_texts.clear();
    m_texts.reserve(m_controller.numberOfRows());
    for (int row = 0; row < m_controller.numberOfRows(); ++row)
        m_texts << m_controller.cellValue(QStringLiteral("2"), row).toString();
    endResetModel();
}

int MetadataPreviewModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_texts.size());
}

int MetadataPreviewModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant MetadataPreviewModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_texts.size())
        return QVariant();
    const int row = index.row();
    switch (index.column()) {
    case ThumbnailColumn:
        if (role == Qt::DecorationRole)
            return m_pictures.data(m_pictures.index(row), Qt::DecorationRole);
        if (role == Qt::ToolTipRole)
            return m_pictures.data(m_pictures.index(row), Qt::DisplayRole);
        break;
    case TextColumn:
        if (role == Qt::DisplayRole)
            return m_texts.at(row);
        if (role == Qt::ForegroundRole)
            return QBrush(m_controller.isRed(row) ? QColor(Qt::red) : QColor(Qt::black));
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignLeft | Qt::AlignTop);
        break;
    case MapColumn: {
        const bool link = m_controller.showsMapLink(row);
        if (role == MapLinkRole)
            return link;
        if (!link)
            break;
        if (role == Qt::DisplayRole)
            return mapLinkText();
        if (role == Qt::ToolTipRole)
            return m_controller.mapLinkAddress(row).toString();
        if (role == Qt::ForegroundRole)
            return QBrush(QColor(0, 90, 200));
        if (role == Qt::FontRole) {
            QFont font;
            font.setUnderline(true);
            return font;
        }
        if (role == Qt::TextAlignmentRole)
            return int(Qt::AlignHCenter | Qt::AlignTop);
        break;
    }
    default:
        break;
    }
    if (role == Qt::SizeHintRole)
        return QSize(-1, m_controller.heightOfRow(row));
    return QVariant();
}

QVariant MetadataPreviewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case ThumbnailColumn:
        return QStringLiteral("Image");
    case TextColumn:
        return QStringLiteral("What will be written");
    case MapColumn:
        return QStringLiteral("Map");
    default:
        return QVariant();
    }
}

Qt::ItemFlags MetadataPreviewModel::flags(const QModelIndex &index) const
{
    // Rows cannot be selected; the link cell still takes clicks.
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}
