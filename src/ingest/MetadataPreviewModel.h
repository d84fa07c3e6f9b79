#pragma once

#include "ingest/MetadataPreviewController.h"
#include "items/ThumbListModel.h"

#include <QAbstractTableModel>
#include <QStringList>

// The ingestion preview's table as views see it: one row per ticked item and three columns (the
// thumbnail, the text block, the map link) with the rows, heights, colours and links that
// MetadataPreviewController decides. Thumbnails are made on worker threads the first time a row
// is drawn, so a card of thousands of ticked images opens at once. Rows cannot be selected.
// Main thread only.
class MetadataPreviewModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { ThumbnailColumn, TextColumn, MapColumn, ColumnCount };
    // The role that answers whether a cell is the map link of a row that has a position.
    static constexpr int MapLinkRole = Qt::UserRole + 1;

    explicit MetadataPreviewModel(MetadataPreviewController &controller, QObject *parent = nullptr);

    // The controller has new rows (after its go()): every text block is made again.
    void reload();
    MetadataPreviewController &controller() const { return m_controller; }
    // The words of the link cell.
    static QString mapLinkText() { return QStringLiteral("Show on map"); }
    // Pictures still being made, and whether a row's picture is there (without asking for it).
    int picturesPending() const { return m_pictures.picturesPending(); }
    bool hasPicture(int row) const { return !m_pictures.picture(row).isNull(); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

private:
    MetadataPreviewController &m_controller;
    ThumbListModel m_pictures;
    QStringList m_texts;
};
