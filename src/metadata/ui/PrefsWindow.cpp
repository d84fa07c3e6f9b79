#include "metadata/ui/PrefsWindow.h"

#include "metadata/ECPrefsController.h"
#include "metadata/LayedOutFieldsModel.h"
#include "metadata/PrefsValues.h"
#include "platform/UserInterface.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>

namespace {

const QString kIngestionSection = QStringLiteral("Ingestion");

template <typename T> T *named(T *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QLabel *hint(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setWordWrap(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
    return label;
}

// The lines column: a choice list from one line up, as the row's height is chosen.
class LinesDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &index) const override
    {
        auto *choices = new QComboBox(parent);
        choices->setObjectName(QStringLiteral("popupLines"));
        const int stored = index.data(Qt::EditRole).toInt() + 1;
        const int most = std::max(LayedOutFieldsModel::kMaxLines, stored);
        for (int lines = 1; lines <= most; ++lines)
            choices->addItem(LayedOutFieldsModel::linesText(lines));
        return choices;
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        static_cast<QComboBox *>(editor)->setCurrentIndex(index.data(Qt::EditRole).toInt());
    }
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override
    {
        model->setData(index, static_cast<QComboBox *>(editor)->currentIndex(), Qt::EditRole);
    }
};

} // namespace

PrefsWindow::PrefsWindow(ECPrefsController &prefs, QWidget *parent)
    : QDialog(parent), m_prefs(prefs)
{
    setObjectName(QStringLiteral("ECPrefs2"));
    setWindowTitle(QStringLiteral("Preferences"));

    m_tabs = named(new QTabWidget(this), "tabView");
    m_tabs->addTab(buildGeneralTab(), QStringLiteral("&Ingestion"));
    m_tabs->addTab(buildFieldsTab(), QStringLiteral("Metadata &Fields"));
    m_tabs->addTab(buildMoreTab(), QStringLiteral("Cards and &Maps"));

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *ok = named(buttons->addButton(QDialogButtonBox::Ok), "buttonOK");
    QPushButton *cancel = named(buttons->addButton(QDialogButtonBox::Cancel), "buttonCancel");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &PrefsWindow::actionOK);
    connect(cancel, &QPushButton::clicked, this, &PrefsWindow::actionCancel);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs, 1);
    layout->addWidget(buttons);
    setMinimumSize(640, 540);
    resize(760, 600);

    // The window opens regrouped (shown fields first), as the layout is read freshly.
    m_prefs.regroup();
    controlsFromPrefs();
}

QWidget *PrefsWindow::buildGeneralTab()
{
    auto *page = new QWidget(this);

    // A group box's mnemonic moves the focus into it, so its title is its control's label.
    auto *raw = new QGroupBox(QStringLiteral("&Raw File Extensions"), page);
    m_rawExtensions = named(new QPlainTextEdit(raw), "textRawFileExtensions");
    m_rawExtensions->setTabChangesFocus(true);
    m_rawExtensions->setFixedHeight(m_rawExtensions->fontMetrics().lineSpacing() * 3 + 14);
    auto *revert = named(new QPushButton(QStringLiteral("Revert to &Defaults"), raw),
                         "buttonRevertRawExtensions");
    connect(revert, &QPushButton::clicked, this, &PrefsWindow::actionRevertRawExtensions);
    auto *rawLayout = new QGridLayout(raw);
    rawLayout->addWidget(m_rawExtensions, 1, 0, 1, 2);
    rawLayout->addWidget(hint(QStringLiteral("Separated by spaces, without dots, in any case. "
                                             "Files with these extensions are converted to "
                                             "DNG or verified as raw files."),
                              raw),
                         2, 0);
    rawLayout->addWidget(revert, 2, 1, Qt::AlignTop | Qt::AlignRight);
    rawLayout->setColumnStretch(0, 1);

    auto *converter = new QGroupBox(QStringLiteral("DNG Converter"), page);
    m_converter = named(new QLineEdit(converter), "fieldConverterPath");
    m_converter->setPlaceholderText(QStringLiteral("No converter chosen"));
    m_converter->setClearButtonEnabled(true);
    auto *choose =
        named(new QPushButton(QStringLiteral("C&hoose..."), converter), "buttonChooseConverter");
    connect(choose, &QPushButton::clicked, this, &PrefsWindow::actionChooseConverter);
    auto *pathRow = new QHBoxLayout;
    pathRow->addWidget(m_converter, 1);
    pathRow->addWidget(choose);
    m_jpegPreview = named(new QComboBox(converter), "popupJpegPreview");
    for (const PrefsValues::Choice &choice : PrefsValues::jpegPreviewChoices())
        m_jpegPreview->addItem(QStringLiteral("%1 (%2)").arg(choice.label, choice.value),
                               choice.value);
    m_embeddedRaw =
        named(new QCheckBox(QStringLiteral("&Embed the original raw file in each DNG"), converter),
              "checkboxWantEmbeddedRaw");
    auto *form = new QFormLayout(converter);
    auto *converterLabel = new QLabel(QStringLiteral("Con&verter program:"), converter);
    converterLabel->setBuddy(m_converter);
    form->addRow(converterLabel, pathRow);
    auto *previewLabel = new QLabel(QStringLiteral("JPEG &preview in DNG:"), converter);
    previewLabel->setBuddy(m_jpegPreview);
    form->addRow(previewLabel, m_jpegPreview);
    form->addRow(QString(), m_embeddedRaw);
    form->addRow(QString(),
                 hint(QStringLiteral("The program is run as: converter [-e] PREVIEW -d FOLDER "
                                     "RAW-FILE..., and writes one DNG per raw file."),
                      converter));

    auto *layout = new QVBoxLayout(page);
    layout->addWidget(raw);
    layout->addWidget(converter);
    for (QGroupBox *section : buildSections(page, kIngestionSection))
        layout->addWidget(section);
    layout->addStretch();
    return page;
}

QWidget *PrefsWindow::buildMoreTab()
{
    auto *page = new QWidget(this);
    auto *layout = new QVBoxLayout(page);
    for (QGroupBox *section : buildSections(page, QString()))
        layout->addWidget(section);
    layout->addStretch();
    return page;
}

QList<QGroupBox *> PrefsWindow::buildSections(QWidget *page, const QString &only)
{
    // The plain settings, one group box per section, built from the table of rows: a new
    // setting of these kinds needs no code here.
    QList<QGroupBox *> sections;
    QMap<QString, QFormLayout *> forms;
    for (const ECPrefsController::SettingRow &row : ECPrefsController::settingRows()) {
        // The ingestion switches sit on the first tab, the other sections on a tab of their own.
        if ((row.section == kIngestionSection) != (only == kIngestionSection))
            continue;
        QFormLayout *form = forms.value(row.section);
        if (!form) {
            auto *box = new QGroupBox(row.section, page);
            form = new QFormLayout(box);
            forms.insert(row.section, form);
            sections.append(box);
        }
        QWidget *box = form->parentWidget();
        const QString key = QLatin1String(row.key->name);
        if (row.kind == ECPrefsController::RowKind::Switch) {
            auto *check = new QCheckBox(row.label, box);
            check->setObjectName(QStringLiteral("checkbox") + key);
            form->addRow(check);
            m_switches.insert(key, check);
            continue;
        }
        auto *field = new QLineEdit(box);
        field->setObjectName(QStringLiteral("field") + key);
        m_texts.insert(key, field);
        auto *label = new QLabel(row.label, box);
        label->setBuddy(field);
        if (row.kind == ECPrefsController::RowKind::Text) {
            form->addRow(label, field);
            continue;
        }
        field->setPlaceholderText(
            QStringLiteral("Looked for beside the program, then on the path"));
        auto *choose = new QPushButton(QStringLiteral("Choose..."), box);
        choose->setObjectName(QStringLiteral("buttonChoose") + key);
        const Prefs::Key *program = row.key;
        connect(choose, &QPushButton::clicked, this,
                [this, program] { actionChooseProgram(program); });
        auto *line = new QHBoxLayout;
        line->addWidget(field, 1);
        line->addWidget(choose);
        form->addRow(label, line);
    }

    return sections;
}

QWidget *PrefsWindow::buildFieldsTab()
{
    auto *page = new QWidget(this);

    auto *custom = new QGroupBox(QStringLiteral("&Custom Fields"), page);
    m_customFields = named(new QListWidget(custom), "tableCustomFields");
    m_customFields->setSelectionMode(QAbstractItemView::SingleSelection);
    auto *add = named(new QPushButton(QStringLiteral("&Add..."), custom), "buttonAddField");
    m_renameField =
        named(new QPushButton(QStringLiteral("Re&name..."), custom), "buttonRenameField");
    m_deleteField = named(new QPushButton(QStringLiteral("Re&move"), custom), "buttonDeleteField");
    connect(add, &QPushButton::clicked, this, &PrefsWindow::actionAddField);
    connect(m_renameField, &QPushButton::clicked, this, &PrefsWindow::actionRenameField);
    connect(m_deleteField, &QPushButton::clicked, this, &PrefsWindow::actionDeleteField);
    connect(m_customFields, &QListWidget::itemDoubleClicked, this, &PrefsWindow::actionRenameField);
    // F2 renames and Delete removes, as in file managers.
    auto *renameKey = new QAction(m_customFields);
    renameKey->setShortcut(QKeySequence(Qt::Key_F2));
    renameKey->setShortcutContext(Qt::WidgetShortcut);
    m_customFields->addAction(renameKey);
    connect(renameKey, &QAction::triggered, this, &PrefsWindow::actionRenameField);
    auto *deleteKey = new QAction(m_customFields);
    deleteKey->setShortcut(QKeySequence::Delete);
    deleteKey->setShortcutContext(Qt::WidgetShortcut);
    m_customFields->addAction(deleteKey);
    connect(deleteKey, &QAction::triggered, this, &PrefsWindow::actionDeleteField);
    connect(m_customFields, &QListWidget::currentRowChanged, this, [this](int row) {
        m_renameField->setEnabled(row >= 0);
        m_deleteField->setEnabled(row >= 0);
    });
    auto *customButtons = new QHBoxLayout;
    customButtons->addWidget(add);
    customButtons->addWidget(m_renameField);
    customButtons->addWidget(m_deleteField);
    auto *customLayout = new QVBoxLayout(custom);
    customLayout->addWidget(m_customFields, 1);
    customLayout->addLayout(customButtons);
    customLayout->addWidget(hint(QStringLiteral("Fields of your own, set per image or preset "
                                                "and used in macros as {@CF.Name}."),
                                 custom));

    auto *layoutBox = new QGroupBox(QStringLiteral("Field &Layout"), page);
    m_layoutModel = new LayedOutFieldsModel(m_prefs, this);
    m_layout = named(new QTableView(layoutBox), "tableLayout");
    m_layout->setModel(m_layoutModel);
    m_layout->setItemDelegateForColumn(LayedOutFieldsModel::LinesColumn,
                                       new LinesDelegate(m_layout));
    m_layout->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_layout->setSelectionMode(QAbstractItemView::SingleSelection);
    m_layout->setEditTriggers(QAbstractItemView::DoubleClicked |
                              QAbstractItemView::SelectedClicked |
                              QAbstractItemView::EditKeyPressed);
    m_layout->setDragEnabled(true);
    m_layout->setAcceptDrops(true);
    m_layout->setDropIndicatorShown(true);
    m_layout->setDragDropMode(QAbstractItemView::InternalMove);
    m_layout->setDragDropOverwriteMode(false);
    m_layout->setDefaultDropAction(Qt::MoveAction);
    m_layout->verticalHeader()->hide();
    m_layout->verticalHeader()->setDefaultSectionSize(m_layout->fontMetrics().height() + 8);
    m_layout->horizontalHeader()->setSectionResizeMode(LayedOutFieldsModel::FieldColumn,
                                                       QHeaderView::Stretch);
    m_layout->horizontalHeader()->setSectionResizeMode(LayedOutFieldsModel::ShownColumn,
                                                       QHeaderView::ResizeToContents);
    m_layout->setColumnWidth(LayedOutFieldsModel::LinesColumn, 90);
    connect(m_layoutModel, &LayedOutFieldsModel::rowMoved, this,
            [this](int row) { refreshLayout(row); });
    connect(m_layout->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        const int row = selectedLayoutRow();
        m_moveUp->setEnabled(row > 0);
        m_moveDown->setEnabled(row >= 0 && row + 1 < m_layoutModel->rowCount());
    });

    m_moveUp = named(new QPushButton(QStringLiteral("Move &Up"), layoutBox), "buttonMoveUp");
    m_moveDown = named(new QPushButton(QStringLiteral("Move Do&wn"), layoutBox), "buttonMoveDown");
    auto *regroup = named(new QPushButton(QStringLiteral("Regr&oup"), layoutBox), "buttonRegroup");
    m_moveUp->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Up));
    m_moveDown->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Down));
    m_moveUp->setToolTip(QStringLiteral("Move the selected field up (Ctrl+Up)"));
    m_moveDown->setToolTip(QStringLiteral("Move the selected field down (Ctrl+Down)"));
    regroup->setToolTip(QStringLiteral("Put the shown fields first, each group in its order"));
    connect(m_moveUp, &QPushButton::clicked, this, &PrefsWindow::actionMoveUp);
    connect(m_moveDown, &QPushButton::clicked, this, &PrefsWindow::actionMoveDown);
    connect(regroup, &QPushButton::clicked, this, &PrefsWindow::actionRegroup);
    auto *layoutButtons = new QHBoxLayout;
    layoutButtons->addWidget(m_moveUp);
    layoutButtons->addWidget(m_moveDown);
    layoutButtons->addStretch();
    layoutButtons->addWidget(regroup);
    auto *layoutLayout = new QVBoxLayout(layoutBox);
    layoutLayout->addWidget(m_layout, 1);
    layoutLayout->addLayout(layoutButtons);
    layoutLayout->addWidget(
        hint(QStringLiteral("Ticked fields are shown in the main window's metadata table, in "
                            "this order and with this many lines. Drag rows to reorder them."),
             layoutBox));

    auto *layout = new QHBoxLayout(page);
    layout->addWidget(custom, 2);
    layout->addWidget(layoutBox, 3);
    return page;
}

void PrefsWindow::controlsFromPrefs()
{
    m_rawExtensions->setPlainText(m_prefs.rawFileExtensions());
    m_converter->setText(m_prefs.converterPath());
    const QString preview = m_prefs.jpegPreview();
    int index = m_jpegPreview->findData(preview);
    if (index < 0) {
        // A value written by hand is kept and offered, not silently replaced.
        m_jpegPreview->addItem(preview, preview);
        index = m_jpegPreview->count() - 1;
    }
    m_jpegPreview->setCurrentIndex(index);
    m_embeddedRaw->setChecked(m_prefs.wantEmbeddedRaw());
    for (const ECPrefsController::SettingRow &row : ECPrefsController::settingRows()) {
        const QString key = QLatin1String(row.key->name);
        if (QCheckBox *check = m_switches.value(key))
            check->setChecked(m_prefs.switchOn(*row.key));
        if (QLineEdit *field = m_texts.value(key)) {
            field->setText(m_prefs.text(*row.key));
            field->setCursorPosition(0); // long addresses show their beginning
        }
    }
    refreshCustomFields(ECPrefsController::customFields().isEmpty() ? -1 : 0);
    refreshLayout(-1);
}

void PrefsWindow::controlsToPrefs()
{
    m_prefs.setRawFileExtensions(m_rawExtensions->toPlainText());
    m_prefs.setConverterPath(m_converter->text().trimmed());
    m_prefs.setJpegPreview(m_jpegPreview->currentData().toString());
    m_prefs.setWantEmbeddedRaw(m_embeddedRaw->isChecked());
    for (const ECPrefsController::SettingRow &row : ECPrefsController::settingRows()) {
        const QString key = QLatin1String(row.key->name);
        if (QCheckBox *check = m_switches.value(key))
            m_prefs.setSwitch(*row.key, check->isChecked());
        if (QLineEdit *field = m_texts.value(key))
            m_prefs.setText(*row.key, row.kind == ECPrefsController::RowKind::Program
                                          ? field->text().trimmed()
                                          : field->text());
    }
}

void PrefsWindow::refreshCustomFields(int select)
{
    m_customFields->clear();
    for (const QString &key : ECPrefsController::customFields())
        m_customFields->addItem(ECPrefsController::customFieldTitle(key));
    m_customFields->setCurrentRow(select);
    m_renameField->setEnabled(select >= 0);
    m_deleteField->setEnabled(select >= 0);
}

void PrefsWindow::refreshLayout(int select)
{
    m_layoutModel->reload();
    m_layout->clearSelection();
    if (select >= 0) {
        m_layout->setCurrentIndex(m_layoutModel->index(select, 0));
        m_layout->selectRow(select);
        m_layout->scrollTo(m_layoutModel->index(select, 0));
    } else {
        m_layout->setCurrentIndex(QModelIndex());
    }
    m_moveUp->setEnabled(select > 0);
    m_moveDown->setEnabled(select >= 0 && select + 1 < m_layoutModel->rowCount());
}

int PrefsWindow::selectedLayoutRow() const
{
    const QModelIndexList rows = m_layout->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void PrefsWindow::focusRefused()
{
    const Prefs::Key *key = m_prefs.lastRefusedKey();
    QWidget *control = key == &Prefs::RawFileExtensions ? static_cast<QWidget *>(m_rawExtensions)
                       : key == &Prefs::ConverterPath   ? m_converter
                       : key                            ? m_texts.value(QLatin1String(key->name))
                                                        : nullptr;
    if (!control)
        return;
    m_tabs->setCurrentIndex(0);
    control->setFocus();
}

void PrefsWindow::actionOK()
{
    controlsToPrefs();
    if (!m_prefs.ok()) {
        // The raw list may have been refused after others were normalised: show what is held.
        focusRefused();
        return;
    }
    m_rawExtensions->setPlainText(m_prefs.rawFileExtensions());
    accept();
}

void PrefsWindow::actionCancel()
{
    m_prefs.cancel();
    QDialog::reject();
}

void PrefsWindow::reject()
{
    controlsToPrefs();
    if (m_prefs.isDirty()) {
        const auto answer = UserInterface::instance().askAboutUnsavedEdits(
            QStringLiteral("Keep the changes to the preferences?"));
        if (answer == UserInterface::UnsavedEdits::Keep) {
            actionOK();
            return;
        }
        if (answer == UserInterface::UnsavedEdits::Cancel)
            return; // back to editing
    }
    actionCancel();
}

std::optional<QString> PrefsWindow::askForProgram(const QString &title, const QString &start)
{
    QFileDialog chooser(this, title);
    chooser.setObjectName(QStringLiteral("programChooser"));
    chooser.setOption(QFileDialog::DontUseNativeDialog, true);
    chooser.setFileMode(QFileDialog::ExistingFile);
    chooser.setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    if (!start.isEmpty()) {
        const QFileInfo info(start);
        chooser.setDirectory(info.isDir() ? start : info.absolutePath());
        if (info.isFile())
            chooser.selectFile(info.fileName());
    }
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return std::nullopt;
    return chooser.selectedFiles().first();
}

void PrefsWindow::actionChooseConverter()
{
    const std::optional<QString> path = askForProgram(
        QStringLiteral("Choose DNG Converter application."), m_prefs.converterChooserStart());
    if (path && m_prefs.chooseConverter(*path))
        m_converter->setText(m_prefs.converterPath());
}

void PrefsWindow::actionChooseProgram(const Prefs::Key *key)
{
    QLineEdit *field = m_texts.value(QLatin1String(key->name));
    const std::optional<QString> path =
        askForProgram(QStringLiteral("Choose %1.").arg(ECPrefsController::programName(*key)),
                      field->text().trimmed());
    if (path && m_prefs.chooseProgram(*key, *path))
        field->setText(m_prefs.text(*key));
}

void PrefsWindow::actionRevertRawExtensions()
{
    m_prefs.revertRawFileExtensions();
    m_rawExtensions->setPlainText(m_prefs.rawFileExtensions());
}

void PrefsWindow::actionAddField()
{
    const std::optional<QString> added = m_prefs.addCustomField();
    if (!added)
        return;
    // The new field is shown, at the top of the layout.
    refreshCustomFields(int(ECPrefsController::customFields().indexOf(*added)));
    refreshLayout(0);
}

void PrefsWindow::actionRenameField()
{
    const int row = m_customFields->currentRow();
    const std::optional<QString> renamed = m_prefs.renameCustomField(row);
    if (!renamed)
        return;
    refreshCustomFields(int(ECPrefsController::customFields().indexOf(*renamed)));
    int layoutRow = -1;
    for (int i = 0; i < m_prefs.layedOutFields().size(); ++i) {
        if (m_prefs.layedOutFields().at(i).name == *renamed)
            layoutRow = i;
    }
    refreshLayout(layoutRow);
}

void PrefsWindow::actionDeleteField()
{
    const int row = m_customFields->currentRow();
    if (row < 0)
        return;
    const int select = m_prefs.deleteCustomField(row);
    refreshCustomFields(select);
    refreshLayout(-1);
}

void PrefsWindow::actionRegroup()
{
    m_prefs.regroup();
    refreshLayout(-1);
}

void PrefsWindow::actionMoveUp()
{
    const int select = m_layoutModel->moveUp(selectedLayoutRow());
    if (select >= 0)
        refreshLayout(select);
}

void PrefsWindow::actionMoveDown()
{
    const int select = m_layoutModel->moveDown(selectedLayoutRow());
    if (select >= 0)
        refreshLayout(select);
}

bool PrefsWindow::run(QWidget *parent)
{
    // Read afresh: the Card menu and the command-line tool change preferences too, and OK
    // must not store back what the window saw the last time.
    PrefsWindow window(ECPrefsController::init(), parent);
    return window.exec() == QDialog::Accepted;
}
