#include "items/ThumbListModel.h"

#include "items/SelectionEditor.h"
#include "platform/Thumbnailer.h"

#include <QColor>
#include <QMetaObject>
#include <QThread>

#include <algorithm>

ThumbListModel::ThumbListModel(QObject *parent)
    : QAbstractListModel(parent), m_liveGeneration(std::make_shared<std::atomic<quint64>>(0))
{
    m_pool.setMaxThreadCount(qMax(1, QThread::idealThreadCount()));
    // Costs are in kilobytes: about 160 MB of pictures, a few thousand cells.
    m_pictures.setMaxCost(160 * 1024);
}

ThumbListModel::~ThumbListModel()
{
    // Workers still running finish against a stale generation; nothing is delivered after this.
    m_liveGeneration->store(~quint64(0));
    m_pool.clear();
    m_pool.waitForDone();
}

void ThumbListModel::setItems(const ThumbItemList &items)
{
    beginResetModel();
    m_items = items;
    m_rows.clear();
    m_pathRows.clear();
    for (int i = 0; i < m_items.size(); ++i) {
        m_rows.insert(m_items[i].get(), i);
        if (!m_items[i]->isCameraItem())
            m_pathRows.insert(m_items[i]->path, i);
    }
    m_pending.clear();
    m_pictures.clear();
    m_pool.clear();
    m_liveGeneration->store(++m_generation);
    endResetModel();
}

ThumbItemPtr ThumbListModel::itemAt(int row) const
{
    return row >= 0 && row < m_items.size() ? m_items[row] : nullptr;
}

int ThumbListModel::rowOf(const ThumbItem *item) const
{
    return m_rows.value(item, -1);
}

void ThumbListModel::reload()
{
    if (!m_items.isEmpty())
        Q_EMIT dataChanged(index(0), index(int(m_items.size()) - 1));
}

int ThumbListModel::pictureStep(int side)
{
    int step = kSmallestStep;
    while (step < side && step < kLargestStep)
        step *= 2;
    return step;
}

void ThumbListModel::setPictureSide(int side)
{
    m_pictureSide = qMax(1, side);
}

bool ThumbListModel::suits(const Picture &picture) const
{
    const int wanted = pictureStep(m_pictureSide);
    const int longest = qMax(picture.image.width(), picture.image.height());
    // Made for this step or a larger one: drawn smaller, only a far larger picture is a waste.
    if (picture.step >= wanted)
        return longest < 4 * wanted;
    // Made for a smaller step: it still serves when the file had no more to give (the picture
    // came out smaller than its step, so it was never shrunk).
    return longest < picture.step;
}

// Queued work runs by priority: every first picture before any picture of a size step.
namespace {
constexpr int kFirstPriority = 1;
constexpr int kStepPriority = 0;
} // namespace

void ThumbListModel::requestPicture(int row)
{
    const ThumbItemPtr item = itemAt(row);
    if (!item || item->isCameraItem() || m_pending.contains(item->path))
        return;
    const Picture *cached = m_pictures.object(item->path);
    if (cached && suits(*cached))
        return;
    const int step = pictureStep(m_pictureSide);
    if (cached)
        startStep(item->path, step);
    else
        startFirst(item->path, step);
}

void ThumbListModel::startFirst(const QString &path, int step)
{
    startJob(path, step, true);
}

void ThumbListModel::startStep(const QString &path, int step)
{
    startJob(path, step, false);
}

void ThumbListModel::startJob(const QString &path, int step, bool quick)
{
    m_pending.insert(path, step);
    const quint64 generation = m_generation;
    const auto live = m_liveGeneration;
    m_pool.start(
        [this, path, step, generation, live, quick] {
            // A list replaced meanwhile makes the work pointless.
            if (live->load() != generation)
                return;
            bool complete = true;
            const QSize box(step, step);
            const QImage image = quick ? Thumbnailer::quickPicture(path, box, &complete)
                                       : Thumbnailer::preview(path, box);
            if (live->load() != generation)
                return;
            QMetaObject::invokeMethod(
                this,
                [this, generation, path, step, image, complete, quick] {
                    if (quick)
                        deliverFirst(generation, path, step, image, complete);
                    else
                        deliver(generation, path, step, image);
                },
                Qt::QueuedConnection);
        },
        quick ? kFirstPriority : kStepPriority);
}

void ThumbListModel::deliverFirst(quint64 generation, const QString &path, int step,
                                  const QImage &image, bool complete)
{
    if (generation != m_generation)
        return;
    if (complete) {
        deliver(generation, path, step, image);
        return;
    }
    // The stand-in shows until the picture of the step, queued behind every first picture,
    // replaces it; the file stays pending meanwhile.
    m_pending.remove(path);
    startStep(path, step);
    if (image.isNull())
        return;
    auto *picture = new Picture{image, 0};
    m_pictures.insert(path, picture, qMax<qsizetype>(1, image.sizeInBytes() / 1024));
    emitChanged(path);
}

void ThumbListModel::deliver(quint64 generation, const QString &path, int step, const QImage &image)
{
    if (generation != m_generation)
        return;
    m_pending.remove(path);
    auto *picture = new Picture{image, step};
    // A file with no picture at all gets a grey stand-in, so it is not asked for again and again.
    if (picture->image.isNull()) {
        picture->image = QImage(64, 48, QImage::Format_RGB32);
        picture->image.fill(QColor(200, 200, 200));
    }
    const qsizetype cost = qMax<qsizetype>(1, picture->image.sizeInBytes() / 1024);
    m_pictures.insert(path, picture, cost);
    emitChanged(path);
}

void ThumbListModel::emitChanged(const QString &path)
{
    QList<int> rows = m_pathRows.values(path);
    std::sort(rows.begin(), rows.end());
    for (int row : rows) {
        const QModelIndex at = index(row);
        Q_EMIT dataChanged(at, at);
        Q_EMIT pictureArrived(row);
    }
}

QImage ThumbListModel::picture(int row) const
{
    const ThumbItemPtr item = itemAt(row);
    if (!item)
        return QImage();
    if (item->isCameraItem())
        return item->image;
    if (const Picture *cached = m_pictures.object(item->path))
        return cached->image;
    return QImage();
}

bool ThumbListModel::hasFinalPicture(int row) const
{
    const ThumbItemPtr item = itemAt(row);
    if (!item)
        return false;
    if (item->isCameraItem())
        return !item->image.isNull();
    const Picture *cached = m_pictures.object(item->path);
    return cached && cached->step > 0;
}

int ThumbListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_items.size());
}

QVariant ThumbListModel::data(const QModelIndex &index, int role) const
{
    const ThumbItemPtr item = itemAt(index.row());
    if (!index.isValid() || !item)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return item->title();
    case Qt::DecorationRole: {
        // Asked for by a cell being drawn: make the picture, or a better one for the current
        // size, while the one there (if any) is shown.
        const_cast<ThumbListModel *>(this)->requestPicture(index.row());
        const QImage image = picture(index.row());
        if (image.isNull() || image.size().isEmpty())
            return QVariant();
        return image;
    }
    case ItemRole:
        return QVariant::fromValue(static_cast<void *>(item.get()));
    case CheckedRole:
        return item->checked;
    case ExcludedRole:
        return item->excluded;
    case IngestedRole:
        return item->ingested;
    case ReadyRole: {
        const QImage image = picture(index.row());
        return !image.isNull() && !image.size().isEmpty();
    }
    case ModTimeRole:
        return item->modTime();
    case ExtensionRole:
        return SelectionEditor::extensionOf(item->title());
    default:
        return QVariant();
    }
}

Qt::ItemFlags ThumbListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}
