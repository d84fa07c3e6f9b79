#include "metadata/LayedOutFieldsModel.h"

#include "metadata/ECPrefsController.h"

#include <QColor>
#include <QMimeData>

LayedOutFieldsModel::LayedOutFieldsModel(ECPrefsController &controller, QObject *parent)
    : QAbstractTableModel(parent), m_controller(controller)
{}

int LayedOutFieldsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_controller.layedOutFields().size());
}

int LayedOutFieldsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

QString LayedOutFieldsModel::linesText(qint64 lines)
{
    return lines == 1 ? QStringLiteral("1 line") : QStringLiteral("%1 lines").arg(lines);
}

QVariant LayedOutFieldsModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return QVariant();
    const LayedOutField &field = m_controller.layedOutFields().at(index.row());
    switch (index.column()) {
    case FieldColumn:
        if (role == Qt::DisplayRole)
            return field.name;
        if (role == Qt::BackgroundRole)
            return field.included ? QColor::fromRgbF(0.4f, 1.0f, 0.0f, 0.4f)
                                  : QColor::fromRgbF(1.0f, 0.85f, 0.85f, 1.0f);
        if (role == Qt::ToolTipRole)
            return field.included ? QStringLiteral("Shown in the main window")
                                  : QStringLiteral("Not shown in the main window");
        break;
    case ShownColumn:
        if (role == Qt::CheckStateRole)
            return field.included ? Qt::Checked : Qt::Unchecked;
        break;
    case LinesColumn:
        if (role == Qt::DisplayRole)
            return linesText(field.lines);
        if (role == Qt::EditRole)
            return ECPrefsController::linesIndex(field);
        break;
    default:
        break;
    }
    return QVariant();
}

QVariant LayedOutFieldsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case FieldColumn:
        return QStringLiteral("Field");
    case ShownColumn:
        return QStringLiteral("Shown");
    case LinesColumn:
        return QStringLiteral("Lines");
    default:
        return QVariant();
    }
}

Qt::ItemFlags LayedOutFieldsModel::flags(const QModelIndex &index) const
{
    // Drops land between rows only: the table itself accepts them, no row does.
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled;
    if (index.column() == ShownColumn)
        flags |= Qt::ItemIsUserCheckable;
    if (index.column() == LinesColumn)
        flags |= Qt::ItemIsEditable;
    return flags;
}

bool LayedOutFieldsModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return false;
    const int row = index.row();
    bool changed = false;
    if (index.column() == ShownColumn && role == Qt::CheckStateRole) {
        const bool wanted = value.toInt() == Qt::Checked;
        changed = wanted != m_controller.layedOutFields().at(row).included &&
                  m_controller.toggleIncluded(row);
    } else if (index.column() == LinesColumn && role == Qt::EditRole) {
        bool ok = false;
        const int choice = value.toInt(&ok);
        changed = ok && m_controller.setLinesIndex(row, choice);
    }
    if (changed)
        Q_EMIT dataChanged(this->index(row, 0), this->index(row, columnCount() - 1));
    return changed;
}

QStringList LayedOutFieldsModel::mimeTypes() const
{
    return {QString::fromLatin1(ECPrefsController::kDragDataType)};
}

QMimeData *LayedOutFieldsModel::mimeData(const QModelIndexList &indexes) const
{
    QList<int> rows;
    for (const QModelIndex &index : indexes) {
        if (index.isValid() && !rows.contains(index.row()))
            rows.append(index.row());
    }
    std::sort(rows.begin(), rows.end());
    auto *data = new QMimeData;
    data->setData(QString::fromLatin1(ECPrefsController::kDragDataType),
                  ECPrefsController::archiveRows(rows));
    return data;
}

Qt::DropActions LayedOutFieldsModel::supportedDropActions() const
{
    return Qt::MoveAction;
}

Qt::DropActions LayedOutFieldsModel::supportedDragActions() const
{
    return Qt::MoveAction;
}

bool LayedOutFieldsModel::canDropMimeData(const QMimeData *data, Qt::DropAction action, int, int,
                                          const QModelIndex &parent) const
{
    return data && action == Qt::MoveAction && !parent.isValid() &&
           data->hasFormat(QString::fromLatin1(ECPrefsController::kDragDataType));
}

bool LayedOutFieldsModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row,
                                       int column, const QModelIndex &parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    const QList<int> rows = ECPrefsController::unarchiveRows(
        data->data(QString::fromLatin1(ECPrefsController::kDragDataType)));
    if (rows.isEmpty())
        return false;
    // Dropped below the last row (or on empty space): the end.
    const int to = row < 0 ? rowCount() : row;
    const int select = moveRow(rows.first(), to);
    if (select < 0)
        return false;
    Q_EMIT rowMoved(select);
    // The move is done here; the view must not remove the dragged rows afterwards, which it
    // would not anyway: this model removes no rows.
    return true;
}

int LayedOutFieldsModel::moveRow(int from, int to)
{
    const int count = rowCount();
    if (from < 0 || from >= count || to < 0 || to > count)
        return -1;
    const bool moves = to != from && to != from + 1;
    if (moves)
        beginMoveRows(QModelIndex(), from, from, QModelIndex(), to);
    const int select = m_controller.moveLayedOutField(from, to);
    if (moves)
        endMoveRows();
    return select;
}

void LayedOutFieldsModel::reload()
{
    beginResetModel();
    endResetModel();
}
