#pragma once

#include <QDialog>
#include <QStringList>

#include <optional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListView;
class QPushButton;
class QStringListModel;
class TimeZoneChooserController;

// The window half of TimeZoneChooserController: the zone names of the time-zone database with a
// find field that narrows the list as one types, the daylight-saving box, OK and Cancel. Only a
// listed name can be chosen; a double click on a row acts as OK.
class TimeZoneChooserWindow : public QDialog
{
    Q_OBJECT

public:
    // Runs the chooser modally; the "TimeZone" value on OK ("Europe/Berlin DST"), none on Cancel.
    static std::optional<QString> choose(QWidget *parent = nullptr);

    explicit TimeZoneChooserWindow(TimeZoneChooserController &controller,
                                   QWidget *parent = nullptr);

    // Fills the list and sets the box and the selected row from the remembered choice.
    void go();
    // The zone selected in the list, if any.
    std::optional<QString> selectedZone() const;

public Q_SLOTS:
    void actionOK();
    void actionCancel();
    // Cancel, Escape and the close control: no choice.
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void filterDidChange(const QString &typed);
    void selectZone(const QString &name);
    void showZoneInfo();

    TimeZoneChooserController &m_controller;
    QStringList m_timezones;
    QStringListModel *m_model = nullptr;
    QLineEdit *m_fieldFind = nullptr;
    QListView *m_list = nullptr;
    QCheckBox *m_checkboxDST = nullptr;
    QLabel *m_labelZone = nullptr;
    QPushButton *m_buttonOK = nullptr;
    QPushButton *m_buttonCancel = nullptr;
};
