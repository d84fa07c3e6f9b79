#pragma once

#include <QDialog>

class LookupTableModel;
class LookupsController;
class QComboBox;
class QPushButton;
class QTableView;

// The lookup window: the five tables, one shown at a time, each edited in place as pattern and
// replacement rows. OK writes the five files, Cancel reads them back. The controller decides;
// the window draws and forwards.
class LookupsWindow : public QDialog
{
    Q_OBJECT

public:
    explicit LookupsWindow(LookupsController &controller, QWidget *parent = nullptr);

    // Runs the window modally over a controller; true when closed with OK.
    static bool run(LookupsController &controller, QWidget *parent);

public Q_SLOTS:
    void actionLookupChoice(int index);
    void actionAdd();
    void actionRemove();
    void actionOK();
    void actionCancel();

protected:
    // Escape and the close button: with unsaved edits the user chooses to keep or drop them.
    void reject() override;
    void showEvent(QShowEvent *event) override;

private:
    void endEditing();
    void select(int row);

    LookupsController &m_controller;
    LookupTableModel *m_model = nullptr;
    QComboBox *m_popup = nullptr;
    QTableView *m_table = nullptr;
    QPushButton *m_remove = nullptr;
    bool m_damageShown = false;
};
