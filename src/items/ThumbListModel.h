#pragma once

#include "items/ThumbItem.h"

#include <QAbstractListModel>
#include <QCache>
#include <QHash>
#include <QSet>
#include <QThreadPool>

#include <atomic>

// The item list as the image browser and the list table see it. Pictures of path items are made
// on worker threads the first time a view asks for them and appear as they arrive, so a card of
// thousands of images shows its first screen at once. They are kept at browser size in a cache
// bounded by memory (an evicted picture is made again when it is next shown); the items' own
// 500-point previews are left to whoever asks an item for its thumbnail. The list itself, the
// items and every signal stay on the main thread; workers only receive a path and hand back an
// image.
class ThumbListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    enum Role {
        ItemRole = Qt::UserRole + 1, // ThumbItem* (not owned)
        CheckedRole,
        ExcludedRole,
        IngestedRole,
        ReadyRole, // the picture is there (cells show badges only then)
        ModTimeRole,
        ExtensionRole,
    };

    explicit ThumbListModel(QObject *parent = nullptr);
    ~ThumbListModel() override;

    const ThumbItemList &items() const { return m_items; }
    void setItems(const ThumbItemList &items);
    ThumbItemPtr itemAt(int row) const;
    int rowOf(const ThumbItem *item) const;

    // Every cell is redrawn (ticks, badges, camera thumbnails that have changed).
    void reload();
    // Starts making the picture of a row unless it is there or under way.
    void requestPicture(int row);
    // Pictures waiting for or under way on a worker.
    int picturesPending() const { return int(m_pending.size()); }
    // The picture a cell shows, null while it is being made.
    QImage picture(int row) const;
    // The longest side of the browser pictures.
    static constexpr int kPictureSize = 256;
    // The longest side of the pictures this model makes (kPictureSize until set). A one-image
    // pane sets its own size, so its picture is made for it rather than blown up; a change
    // makes the pictures again.
    void setPictureSize(int side);
    int pictureSize() const { return m_pictureSize; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

Q_SIGNALS:
    void pictureArrived(int row);

private:
    void deliver(quint64 generation, const QString &path, const QImage &image);

    ThumbItemList m_items;
    QHash<const ThumbItem *, int> m_rows;
    QSet<QString> m_pending;
    mutable QCache<QString, QImage> m_pictures;
    quint64 m_generation = 0;
    int m_pictureSize = kPictureSize;
    std::shared_ptr<std::atomic<quint64>> m_liveGeneration;
    QThreadPool m_pool;
};
