#pragma once

#include "items/ThumbItem.h"

#include <QAbstractListModel>
#include <QCache>
#include <QHash>
#include <QImage>
#include <QThreadPool>

#include <atomic>

// The item list as the image browser and the list table see it. Pictures of path items are made
// on worker threads (as many as the machine has cores) the first time a view asks for them and
// appear as they arrive, so a card of thousands of images shows its first screen at once: first
// the picture the file carries ready-made (for most JPEGs the small EXIF thumbnail, read from
// the head of the file), for every cell asked for, and only then, behind all of those, the
// picture in the size step that covers what the browser draws now (setPictureSide: 96, 192,
// 384 ... pixels on its longest side), so the largest cells are sharp and the smallest cheap.
// After a zoom a shown picture is made again in the new step when it is too small or four times
// too large, and stays on screen until its successor arrives. Pictures are kept in a cache
// bounded by memory (an evicted one is made again when it is next shown); the items' own
// 500-point previews are left to whoever asks an item for its thumbnail. The list, the items and
// every signal stay on the main thread; workers only receive a path and a size and hand back an
// image, and the main thread never decodes.
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
    // Whether the row's picture is the one made for a size step, not a first stand-in.
    bool hasFinalPicture(int row) const;

    // The longest side, in device pixels, at which the views draw a picture now.
    void setPictureSide(int side);
    int pictureSide() const { return m_pictureSide; }
    // The size step a picture is made in for a drawn side: the smallest of 96, 192, 384 ...
    // that covers it, at most kLargestStep.
    static int pictureStep(int side);
    static constexpr int kSmallestStep = 96;
    static constexpr int kLargestStep = 1536;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

Q_SIGNALS:
    void pictureArrived(int row);

private:
    struct Picture
    {
        QImage image;
        int step = 0; // the size step it was made for; 0 for a first stand-in
    };
    // Whether a picture made for one step serves the current one.
    bool suits(const Picture &picture) const;
    // Work for one picture: the file's ready-made picture first, or the one of a size step.
    void startFirst(const QString &path, int step);
    void startStep(const QString &path, int step);
    // A job in the pool: the file's ready-made picture (`quick`) or the picture of the step.
    void startJob(const QString &path, int step, bool quick);
    void deliver(quint64 generation, const QString &path, int step, const QImage &image);
    void deliverFirst(quint64 generation, const QString &path, int step, const QImage &image,
                      bool complete);
    void emitChanged(const QString &path);

    ThumbItemList m_items;
    QHash<const ThumbItem *, int> m_rows;
    QMultiHash<QString, int> m_pathRows; // the rows of each path item
    QHash<QString, int> m_pending;       // path -> the step under way
    mutable QCache<QString, Picture> m_pictures;
    int m_pictureSide = 384;
    quint64 m_generation = 0;
    std::shared_ptr<std::atomic<quint64>> m_liveGeneration;
    QThreadPool m_pool;
};
