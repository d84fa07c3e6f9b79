#include "geo/ui/TimeZoneChooserWindow.h"

#include "geo/TimeZoneChooserController.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QStringListModel>
#include <QVBoxLayout>

std::optional<QString> TimeZoneChooserWindow::choose(QWidget *parent)
{
    TimeZoneChooserController &controller = TimeZoneChooserController::sharedInstance();
    TimeZoneChooserWindow window(controller, parent);
    window.go();
    if (window.exec() != QDialog::Accepted)
        return std::nullopt;
    return controller.choice();
}

TimeZoneChooserWindow::TimeZoneChooserWindow(TimeZoneChooserController &controller, QWidget *parent)
    : QDialog(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("TimeZoneChooser"));
    setWindowTitle(QStringLiteral("Camera Time Zone"));
    setModal(true);

    auto *intro = new QLabel(
        QStringLiteral("The zone the camera's clock was set to when the pictures were taken:"),
        this);
    intro->setWordWrap(true);
    m_fieldFind = new QLineEdit(this);
    m_fieldFind->setObjectName(QStringLiteral("fieldFind"));
    m_fieldFind->setPlaceholderText(QStringLiteral("Type part of a name, e.g. Berlin"));
    m_fieldFind->setClearButtonEnabled(true);
    auto *findLabel = new QLabel(QStringLiteral("&Find:"), this);
    findLabel->setBuddy(m_fieldFind);

    m_model = new QStringListModel(this);
    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("listZones"));
    m_list->setModel(m_model);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setUniformItemSizes(true);
    auto *zonesLabel = new QLabel(QStringLiteral("&Zones:"), this);
    zonesLabel->setBuddy(m_list);

    m_checkboxDST = new QCheckBox(QStringLiteral("&Daylight saving time in force"), this);
    m_checkboxDST->setObjectName(QStringLiteral("checkboxDST"));
    m_labelZone = new QLabel(this);
    m_labelZone->setObjectName(QStringLiteral("labelZone"));

    m_buttonCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_buttonCancel->setObjectName(QStringLiteral("buttonCancel"));
    m_buttonCancel->setAutoDefault(false);
    m_buttonOK = new QPushButton(QStringLiteral("OK"), this);
    m_buttonOK->setObjectName(QStringLiteral("buttonOK"));
    m_buttonOK->setDefault(true);

    auto *find = new QHBoxLayout;
    find->addWidget(findLabel);
    find->addWidget(m_fieldFind, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_buttonCancel);
    buttons->addWidget(m_buttonOK);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(find);
    layout->addWidget(zonesLabel);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_checkboxDST);
    layout->addWidget(m_labelZone);
    layout->addLayout(buttons);
    setTabOrder(m_fieldFind, m_list);
    setTabOrder(m_list, m_checkboxDST);
    setTabOrder(m_checkboxDST, m_buttonCancel);
    setTabOrder(m_buttonCancel, m_buttonOK);
    setMinimumSize(360, 420);
    resize(420, 520);

    connect(m_fieldFind, &QLineEdit::textChanged, this, &TimeZoneChooserWindow::filterDidChange);
    connect(m_list, &QListView::doubleClicked, this, &TimeZoneChooserWindow::actionOK);
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TimeZoneChooserWindow::showZoneInfo);
    connect(m_checkboxDST, &QCheckBox::toggled, this, &TimeZoneChooserWindow::showZoneInfo);
    connect(m_buttonOK, &QPushButton::clicked, this, &TimeZoneChooserWindow::actionOK);
    connect(m_buttonCancel, &QPushButton::clicked, this, &TimeZoneChooserWindow::actionCancel);
    // Up and Down in the find field move through the list.
    m_fieldFind->installEventFilter(this);
}

void TimeZoneChooserWindow::go()
{
    m_timezones = TimeZoneChooserController::knownZoneNames();
    m_fieldFind->clear();
    m_model->setStringList(m_timezones);
    m_checkboxDST->setChecked(TimeZoneChooserController::defaultDST());
    m_list->clearSelection();
    if (const std::optional<QString> saved =
            TimeZoneChooserController::initialSelection(m_timezones))
        selectZone(*saved);
    showZoneInfo();
    m_fieldFind->setFocus();
}

std::optional<QString> TimeZoneChooserWindow::selectedZone() const
{
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    return rows.first().data().toString();
}

void TimeZoneChooserWindow::selectZone(const QString &name)
{
    const int row = int(m_model->stringList().indexOf(name));
    if (row < 0)
        return;
    const QModelIndex index = m_model->index(row);
    m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_list->scrollTo(index, QAbstractItemView::PositionAtCenter);
}

void TimeZoneChooserWindow::filterDidChange(const QString &typed)
{
    const std::optional<QString> before = selectedZone();
    const QStringList shown = TimeZoneChooserController::filterZones(m_timezones, typed);
    m_model->setStringList(shown);
    // The chosen zone stays chosen while it is listed; otherwise the first match is offered, so
    // typing a place and pressing Enter picks it.
    if (before && shown.contains(*before))
        selectZone(*before);
    else if (!typed.trimmed().isEmpty() && !shown.isEmpty())
        selectZone(shown.first());
    showZoneInfo();
}

void TimeZoneChooserWindow::showZoneInfo()
{
    const std::optional<QString> zone = selectedZone();
    m_labelZone->setText(
        zone ? TimeZoneChooserController::offsetText(*zone, m_checkboxDST->isChecked())
             : QStringLiteral("No zone chosen."));
}

void TimeZoneChooserWindow::actionOK()
{
    m_controller.accept(selectedZone(), m_checkboxDST->isChecked());
    accept();
}

void TimeZoneChooserWindow::actionCancel()
{
    reject();
}

void TimeZoneChooserWindow::reject()
{
    m_controller.cancel();
    QDialog::reject();
}

bool TimeZoneChooserWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_fieldFind && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down || key == Qt::Key_PageUp ||
            key == Qt::Key_PageDown) {
            const int rows = m_model->rowCount();
            if (rows == 0)
                return true;
            const int current =
                m_list->currentIndex().isValid() ? m_list->currentIndex().row() : -1;
            const int step = key == Qt::Key_Up       ? -1
                             : key == Qt::Key_Down   ? 1
                             : key == Qt::Key_PageUp ? -10
                                                     : 10;
            selectZone(m_model->stringList().at(qBound(0, current + step, rows - 1)));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}
