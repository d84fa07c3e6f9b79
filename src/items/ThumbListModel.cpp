#include "items/ThumbListModel.h"

#include "items/SelectionEditor.h"
#include "platform/Thumbnailer.h"

#include <QColor>
#include <QMetaObject>
#include <QThread>

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
    for (int i = 0; i < m_items.size(); ++i)
        m_rows.insert(m_items[i].get(), i);
    m_pending.clear();
    m_pictures.clear();
    m_pool.clear();
    m_liveGeneration->store(++m_generation);
    endResetModel();
}

void ThumbListModel::setPictureSize(int side)
{
    side = qMax(16, side);
    if (side == m_pictureSize)
        return;
    m_pictureSize = side;
    // Pictures of the old size, and those under way, are not shown again.
    m_pending.clear();
    m_pictures.clear();
    m_liveGeneration->store(++m_generation);
    reload();
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

void ThumbListModel::requestPicture(int row)
{
    const ThumbItemPtr item = itemAt(row);
    if (!item || item->isCameraItem() || m_pictures.contains(item->path) ||
        m_pending.contains(item->path))
        return;
    const QString path = item->path;
    m_pending.insert(path);
    const quint64 generation = m_generation;
    const auto live = m_liveGeneration;
    const QSize box(m_pictureSize, m_pictureSize);
    m_pool.start([this, path, generation, live, box] {
        // A list replaced meanwhile makes the work pointless.
        if (live->load() != generation)
            return;
        const QImage image = Thumbnailer::preview(path, box);
        if (live->load() != generation)
            return;
        QMetaObject::invokeMethod(
            this, [this, generation, path, image] { deliver(generation, path, image); },
            Qt::QueuedConnection);
    });
}

void ThumbListModel::deliver(quint64 generation, const QString &path, const QImage &image)
{
    if (generation != m_generation)
        return;
    m_pending.remove(path);
    QImage shown = image;
    // A file with no picture at all gets a grey stand-in, so it is not asked for again and again.
    if (shown.isNull()) {
        shown = QImage(64, 48, QImage::Format_RGB32);
        shown.fill(QColor(200, 200, 200));
    }
    m_pictures.insert(path, new QImage(shown), qMax<qsizetype>(1, shown.sizeInBytes() / 1024));
    for (int row = 0; row < m_items.size(); ++row) {
        if (m_items[row]->isCameraItem() || m_items[row]->path != path)
            continue;
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
    if (const QImage *cached = m_pictures.object(item->path))
        return *cached;
    return QImage();
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
        const QImage image = picture(index.row());
        if (image.isNull() || image.size().isEmpty()) {
            const_cast<ThumbListModel *>(this)->requestPicture(index.row());
            return QVariant();
        }
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
