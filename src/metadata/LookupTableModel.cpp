#include "metadata/LookupTableModel.h"

#include "metadata/LookupsController.h"

LookupTableModel::LookupTableModel(LookupsController &controller, QObject *parent)
    : QAbstractTableModel(parent), m_controller(controller)
{}

int LookupTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_controller.numberOfRowsInTableView();
}

int LookupTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant LookupTableModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    // The pattern column has the identifier "1", the replacement any other.
    return m_controller.objectValue(index.row(), index.column() == 0 ? QStringLiteral("1")
                                                                     : QStringLiteral("2"));
}

QVariant LookupTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return section == 0 ? QStringLiteral("Pattern") : QStringLiteral("Replacement");
}

Qt::ItemFlags LookupTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable;
}

bool LookupTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return false;
    const QString text = value.toString();
    if (data(index, Qt::EditRole).toString() == text)
        return false; // an edit that changed nothing is no edit
    if (!m_controller.cellEdited(index.row(), index.column(), text)) {
        Q_EMIT editRefused(m_controller.refusal().title, m_controller.refusal().message);
        return false;
    }
    Q_EMIT dataChanged(this->index(index.row(), 0), this->index(index.row(), 1));
    return true;
}

void LookupTableModel::sort(int column, Qt::SortOrder order)
{
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    QStringList patterns;
    for (const QModelIndex &index : before)
        patterns.append(m_controller.arrayLookup().value(index.row()));
    m_controller.sortRows(column, order == Qt::DescendingOrder);
    QModelIndexList after;
    for (qsizetype i = 0; i < before.size(); ++i) {
        const int row = int(m_controller.arrayLookup().indexOf(patterns[i]));
        after.append(row < 0 ? QModelIndex() : index(row, before[i].column()));
    }
    changePersistentIndexList(before, after);
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool LookupTableModel::showTable(const QString &field)
{
    beginResetModel();
    const bool shown = m_controller.actionLookupChoice(field);
    endResetModel();
    return shown;
}

QModelIndex LookupTableModel::addRow()
{
    // Adding twice without editing keeps the one "<new key>" row and goes back to it.
    const qsizetype existing = m_controller.arrayLookup().indexOf(QStringLiteral("<new key>"));
    if (existing >= 0)
        return index(int(existing), 0);
    if (m_controller.currentLookup().isEmpty())
        return QModelIndex();
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    const int added = m_controller.actionAdd();
    endInsertRows();
    return added < 0 ? QModelIndex() : index(added, 0);
}

int LookupTableModel::removeRow(int row)
{
    if (row < 0 || row >= rowCount())
        return -1;
    beginRemoveRows(QModelIndex(), row, row);
    const int select = m_controller.actionRemove(row);
    endRemoveRows();
    return select;
}

void LookupTableModel::reload()
{
    beginResetModel();
    endResetModel();
}
