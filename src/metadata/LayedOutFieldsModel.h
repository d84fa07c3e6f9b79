#pragma once

#include <QAbstractTableModel>

class ECPrefsController;

// The preferences window's field-layout table over the controller's layout: the field name
// (red when hidden, green when shown), the "shown" tick and the number of lines. Rows move by
// dragging within the table (between rows only) or through the controller's up and down
// operations. Main thread only.
class LayedOutFieldsModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { FieldColumn = 0, ShownColumn = 1, LinesColumn = 2 };
    // The most lines a row offers in its choice list (more stored are still shown).
    static constexpr int kMaxLines = 10;

    explicit LayedOutFieldsModel(ECPrefsController &controller, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    // The tick flips `included`; the lines column takes the choice index (lines - 1).
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;

    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    Qt::DropActions supportedDropActions() const override;
    Qt::DropActions supportedDragActions() const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

    // Moves a row to a drop position (0..rowCount) as a drop does; the row to select, or -1.
    int moveRow(int from, int to);
    // The up and down buttons: the row to select afterwards, or -1 when it cannot move.
    int moveUp(int row) { return row > 0 ? moveRow(row, row - 1) : -1; }
    int moveDown(int row) { return row + 1 < rowCount() ? moveRow(row, row + 2) : -1; }
    // After the controller rebuilt the layout (regroup, custom fields, Cancel).
    void reload();

    // "1 line", "2 lines", ...: the texts of the lines choice list.
    static QString linesText(qint64 lines);

Q_SIGNALS:
    // A drop moved a row; the view selects this one.
    void rowMoved(int selectRow);

private:
    ECPrefsController &m_controller;
};
