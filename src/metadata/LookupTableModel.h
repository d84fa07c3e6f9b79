#pragma once

#include <QAbstractTableModel>

class LookupsController;

// The lookup window's table: the shown table's rows as pattern and replacement, both edited in
// place. Every decision (refusing a pattern, the order, adding and removing) is the
// controller's; this model only presents it. Main thread only.
class LookupTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit LookupTableModel(LookupsController &controller, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // Shows the named table (the pop-up); false for an unknown name.
    bool showTable(const QString &field);
    // Adds the "<new key>" row (once) and answers its pattern cell, to be edited.
    QModelIndex addRow();
    // Removes a row; answers the row to select afterwards, -1 for none.
    int removeRow(int row);
    // After the controller's tables changed underneath (Cancel, a re-read).
    void reload();

Q_SIGNALS:
    // An edit was refused (the controller's refusal() says why). Emitted while the cell's
    // editor is still closing: show the alert afterwards (a queued connection).
    void editRefused(const QString &title, const QString &message);

private:
    LookupsController &m_controller;
};
