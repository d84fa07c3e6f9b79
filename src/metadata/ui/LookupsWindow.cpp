#include "metadata/ui/LookupsWindow.h"

#include "metadata/LookupTableModel.h"
#include "metadata/LookupsController.h"
#include "platform/UserInterface.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

LookupsWindow::LookupsWindow(LookupsController &controller, QWidget *parent)
    : QDialog(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("Lookups"));
    setWindowTitle(QStringLiteral("Lookup Tables"));

    m_popup = new QComboBox(this);
    m_popup->setObjectName(QStringLiteral("popupLookup"));
    m_popup->addItems(LookupsController::lookupFields());
    auto *popupLabel = new QLabel(QStringLiteral("&Table:"), this);
    popupLabel->setBuddy(m_popup);

    m_model = new LookupTableModel(m_controller, this);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("tableLookup"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked |
                             QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    m_table->horizontalHeader()->setSortIndicatorShown(true);
    m_table->horizontalHeader()->setSectionsClickable(true);
    // Header clicks sort the shown rows; lookups try patterns in their own fixed order.
    connect(m_table->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
            [this](int column, Qt::SortOrder order) {
                endEditing();
                m_model->sort(column, order);
            });

    auto *add = new QPushButton(QStringLiteral("&Add"), this);
    add->setObjectName(QStringLiteral("buttonAdd"));
    add->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    add->setToolTip(QStringLiteral("Add a pattern (Ctrl+N)"));
    m_remove = new QPushButton(QStringLiteral("&Remove"), this);
    m_remove->setObjectName(QStringLiteral("buttonRemove"));
    m_remove->setToolTip(QStringLiteral("Remove the selected pattern (Delete)"));
    auto *removeKey = new QAction(this);
    removeKey->setShortcut(QKeySequence::Delete);
    removeKey->setShortcutContext(Qt::WidgetShortcut);
    m_table->addAction(removeKey);
    connect(removeKey, &QAction::triggered, this, &LookupsWindow::actionRemove);
    connect(add, &QPushButton::clicked, this, &LookupsWindow::actionAdd);
    connect(m_remove, &QPushButton::clicked, this, &LookupsWindow::actionRemove);
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { m_remove->setEnabled(m_table->selectionModel()->hasSelection()); });
    connect(m_popup, &QComboBox::activated, this, &LookupsWindow::actionLookupChoice);
    connect(
        m_model, &LookupTableModel::editRefused, this,
        [](const QString &title, const QString &message) {
            UserInterface::instance().alert(title, message);
        },
        Qt::QueuedConnection);

    auto *help = new QLabel(
        QStringLiteral("A pattern nikon* matches values that begin with nikon, *nikon values "
                       "that end with it, *nikon* values that contain it, and nikon the value "
                       "itself. Case and surrounding blanks are ignored."),
        this);
    help->setWordWrap(true);
    QPalette palette = help->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    help->setPalette(palette);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("buttonOK"));
    QPushButton *cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("buttonCancel"));
    ok->setAutoDefault(false);
    cancel->setAutoDefault(false);
    connect(ok, &QPushButton::clicked, this, &LookupsWindow::actionOK);
    connect(cancel, &QPushButton::clicked, this, &LookupsWindow::actionCancel);

    auto *top = new QHBoxLayout;
    top->addWidget(popupLabel);
    top->addWidget(m_popup, 1);
    auto *rowButtons = new QHBoxLayout;
    rowButtons->addWidget(add);
    rowButtons->addWidget(m_remove);
    rowButtons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_table, 1);
    layout->addLayout(rowButtons);
    layout->addWidget(help);
    layout->addWidget(buttons);
    setMinimumSize(460, 380);
    resize(560, 460);

    // The window opens on the Make table.
    m_controller.setupPanel();
    m_popup->setCurrentText(m_controller.currentLookup());
    m_model->reload();
    m_table->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
    select(-1);
}

void LookupsWindow::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_damageShown)
        return;
    m_damageShown = true;
    const QString damaged = m_controller.damagedMessage();
    if (!damaged.isEmpty()) {
        // Said once the window is up, so the alert has the window to sit on.
        QTimer::singleShot(0, this, [damaged] {
            UserInterface::instance().alert(QStringLiteral("A lookup table could not be read."),
                                            damaged);
        });
    }
}

void LookupsWindow::endEditing()
{
    // Moving the current cell away commits the cell being typed, as leaving it would.
    const QModelIndex current = m_table->currentIndex();
    if (!current.isValid() || !m_table->indexWidget(current))
        return;
    m_table->setCurrentIndex(QModelIndex());
    m_table->setCurrentIndex(current);
}

void LookupsWindow::select(int row)
{
    if (row < 0) {
        m_table->clearSelection();
        m_table->setCurrentIndex(QModelIndex());
    } else {
        m_table->selectRow(row);
        m_table->scrollTo(m_model->index(row, 0));
    }
    m_remove->setEnabled(row >= 0);
}

void LookupsWindow::actionLookupChoice(int index)
{
    endEditing();
    if (!m_model->showTable(m_popup->itemText(index)))
        return;
    m_table->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
    select(-1);
}

void LookupsWindow::actionAdd()
{
    endEditing();
    const QModelIndex cell = m_model->addRow();
    if (!cell.isValid())
        return;
    select(cell.row());
    m_table->setCurrentIndex(cell);
    m_table->edit(cell);
}

void LookupsWindow::actionRemove()
{
    endEditing();
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    select(m_model->removeRow(rows.first().row()));
}

void LookupsWindow::actionOK()
{
    endEditing();
    if (m_controller.actionOK() == 1)
        accept();
}

void LookupsWindow::actionCancel()
{
    endEditing();
    m_controller.actionCancel();
    m_model->reload();
    QDialog::reject();
}

void LookupsWindow::reject()
{
    endEditing();
    if (m_controller.isDirty()) {
        const auto answer = UserInterface::instance().askAboutUnsavedEdits(
            QStringLiteral("Keep the changes to the lookup tables?"));
        if (answer == UserInterface::UnsavedEdits::Keep) {
            actionOK();
            return;
        }
        if (answer == UserInterface::UnsavedEdits::Cancel)
            return;
    }
    actionCancel();
}

bool LookupsWindow::run(LookupsController &controller, QWidget *parent)
{
    LookupsWindow window(controller, parent);
    return window.exec() == QDialog::Accepted;
}
