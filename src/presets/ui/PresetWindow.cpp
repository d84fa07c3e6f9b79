#include "presets/ui/PresetWindow.h"

#include "geo/ui/TimeZoneChooserWindow.h"
#include "macro/ui/MacroMenu.h"
#include "macro/ui/TokenFieldEdit.h"
#include "metadata/Metadata.h"
#include "metadata/Prefs.h"
#include "metadata/ui/ExifTableView.h"
#include "platform/Format.h"
#include "platform/UserInterface.h"
#include "presets/PresetFolderWatcher.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace {

PresetWindow::Panel g_folderPanel;
PresetWindow::Panel g_filePanel;
PresetWindow::LookupsOpener g_lookupsOpener;

QString expandedStart(const QString &path)
{
    if (path.startsWith(QLatin1Char('~')))
        return QDir::homePath() + path.mid(1);
    return path.isEmpty() ? QDir::homePath() : path;
}

QPushButton *chooseButton(const char *name, QWidget *parent)
{
    auto *button = new QPushButton(QStringLiteral("Choose..."), parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

template <typename T> T *named(T *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

PresetWindow::PresetWindow(SetupController &controller, QWidget *parent)
    : QDialog(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("SetupController2"));
    setWindowTitle(QStringLiteral("Presets"));
    build();
    m_watcher = new PresetFolderWatcher(m_controller.presetsFolder(), this);
    connect(m_watcher, &PresetFolderWatcher::changed, this, &PresetWindow::presetFolderChanged);
    setupPanel();
}

PresetWindow::~PresetWindow() = default;

void PresetWindow::setFolderPanel(Panel panel)
{
    g_folderPanel = std::move(panel);
}

void PresetWindow::setFilePanel(Panel panel)
{
    g_filePanel = std::move(panel);
}

void PresetWindow::setLookupsOpener(LookupsOpener opener)
{
    g_lookupsOpener = std::move(opener);
}

bool PresetWindow::run(SetupController &controller, QWidget *parent)
{
    PresetWindow window(controller, parent);
    return window.exec() == 1;
}

void PresetWindow::build()
{
    m_popupPresets = named(new QComboBox(this), "popupPresets");
    m_popupPresets->setMinimumContentsLength(24);
    m_popupPresets->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    auto *presetLabel = new QLabel(QStringLiteral("&Preset:"), this);
    presetLabel->setBuddy(m_popupPresets);
    auto *top = new QHBoxLayout;
    top->addWidget(presetLabel);
    top->addWidget(m_popupPresets, 1);

    // Where the images go.
    auto *folders = new QGroupBox(QStringLiteral("Folders"), this);
    m_textPrimaryRoot = named(new QLineEdit(folders), "textPrimaryRoot");
    auto *buttonPrimary = chooseButton("buttonChoosePrimaryRoot", folders);
    m_checkboxBackup =
        named(new QCheckBox(QStringLiteral("&Backup to:"), folders), "checkboxBackup");
    m_textBackupRoot = named(new QLineEdit(folders), "textBackupRoot");
    m_buttonBackupRoot = chooseButton("buttonChooseBackupRoot", folders);
    m_checkboxBackup2 =
        named(new QCheckBox(QStringLiteral("&Second backup to:"), folders), "checkboxBackup2");
    m_textBackupRoot2 = named(new QLineEdit(folders), "textBackupRoot2");
    m_buttonBackupRoot2 = chooseButton("buttonChooseBackupRoot2", folders);
    auto *primaryLabel = new QLabel(QStringLiteral("P&rimary folder:"), folders);
    primaryLabel->setBuddy(m_textPrimaryRoot);
    auto *folderGrid = new QGridLayout(folders);
    folderGrid->addWidget(primaryLabel, 0, 0);
    folderGrid->addWidget(m_textPrimaryRoot, 0, 1);
    folderGrid->addWidget(buttonPrimary, 0, 2);
    folderGrid->addWidget(m_checkboxBackup, 1, 0);
    folderGrid->addWidget(m_textBackupRoot, 1, 1);
    folderGrid->addWidget(m_buttonBackupRoot, 1, 2);
    folderGrid->addWidget(m_checkboxBackup2, 2, 0);
    folderGrid->addWidget(m_textBackupRoot2, 2, 1);
    folderGrid->addWidget(m_buttonBackupRoot2, 2, 2);
    folderGrid->setColumnStretch(1, 1);

    // How they are named.
    auto *names = new QGroupBox(QStringLiteral("Names"), this);
    m_tokenFieldFolder = named(new TokenFieldEdit(names), "tokenFieldFolder");
    m_tokenFieldFolder->setPlaceholderText(QStringLiteral("no sub-folders"));
    m_tokenFieldFilename = named(new TokenFieldEdit(names), "tokenFieldFilename");
    m_popupFolderMacros =
        named(new MacroMenuButton(m_tokenFieldFolder, names), "popupFolderMacros");
    m_popupFilenameMacros =
        named(new MacroMenuButton(m_tokenFieldFilename, names), "popupFilenameMacros");
    m_checkboxPromptForFolder =
        named(new QCheckBox(QStringLiteral("Prompt for folder"), names), "checkboxPromptForFolder");
    // Kept so that presets that carry it keep it; no ingestion asks for a folder.
    m_checkboxPromptForFolder->setEnabled(false);
    m_checkboxPromptForFolder->setToolTip(
        QStringLiteral("Stored with the preset for other versions; an ingestion never asks."));
    auto *folderLabel = new QLabel(QStringLiteral("&Folder arrangement:"), names);
    folderLabel->setBuddy(m_tokenFieldFolder);
    auto *fileLabel = new QLabel(QStringLiteral("File &name arrangement:"), names);
    fileLabel->setBuddy(m_tokenFieldFilename);
    auto *nameGrid = new QGridLayout(names);
    nameGrid->addWidget(folderLabel, 0, 0);
    nameGrid->addWidget(m_tokenFieldFolder, 0, 1);
    nameGrid->addWidget(m_popupFolderMacros, 0, 2);
    nameGrid->addWidget(fileLabel, 1, 0);
    nameGrid->addWidget(m_tokenFieldFilename, 1, 1);
    nameGrid->addWidget(m_popupFilenameMacros, 1, 2);
    nameGrid->addWidget(m_checkboxPromptForFolder, 2, 1);
    nameGrid->setColumnStretch(1, 1);

    // What happens on the way.
    auto *steps = new QGroupBox(QStringLiteral("Processing"), this);
    m_checkboxDNGConversion =
        named(new QCheckBox(QStringLiteral("Convert raw files to &DNG with:"), steps),
              "checkboxDNGConversion");
    m_textConverter = named(new QLineEdit(steps), "textConverter");
    m_textConverter->setReadOnly(true);
    m_textConverter->setPlaceholderText(QStringLiteral("no converter chosen"));
    m_buttonConverter = chooseButton("buttonChooseConverter", steps);
    m_checkboxVerifyOnly =
        named(new QCheckBox(QStringLiteral("&Verify raw files only (keep no DNG)"), steps),
              "checkboxVerifyOnly");
    m_checkboxVerifyJPEGs =
        named(new QCheckBox(QStringLiteral("Verify &JPEGs"), steps), "checkboxVerifyJPEGs");
    m_checkboxGeotag =
        named(new QCheckBox(QStringLiteral("&Geotag from tracks"), steps), "checkboxGeotag");
    m_textPostApp = named(new QLineEdit(steps), "textPostApp");
    m_textPostApp->setReadOnly(true);
    m_textPostApp->setPlaceholderText(QStringLiteral("none"));
    auto *buttonPostApp = chooseButton("buttonChoosePostApp", steps);
    buttonPostApp->setToolTip(QStringLiteral("Cancelling the chooser sets no application"));
    m_textInclusions = named(new QLineEdit(steps), "textInclusions");
    m_textInclusions->setPlaceholderText(
        QStringLiteral("e.g. JPG CR2 NEF; empty offers every file"));
    auto *postLabel = new QLabel(QStringLiteral("&Open afterwards in:"), steps);
    postLabel->setBuddy(buttonPostApp);
    auto *inclusionsLabel = new QLabel(QStringLiteral("Offer only &these types:"), steps);
    inclusionsLabel->setBuddy(m_textInclusions);
    auto *switches = new QHBoxLayout;
    switches->addWidget(m_checkboxVerifyJPEGs);
    switches->addWidget(m_checkboxGeotag);
    switches->addStretch();
    auto *stepGrid = new QGridLayout(steps);
    stepGrid->addWidget(m_checkboxDNGConversion, 0, 0);
    stepGrid->addWidget(m_textConverter, 0, 1);
    stepGrid->addWidget(m_buttonConverter, 0, 2);
    stepGrid->addWidget(m_checkboxVerifyOnly, 1, 1);
    stepGrid->addLayout(switches, 2, 0, 1, 3);
    stepGrid->addWidget(postLabel, 3, 0);
    stepGrid->addWidget(m_textPostApp, 3, 1);
    stepGrid->addWidget(buttonPostApp, 3, 2);
    stepGrid->addWidget(inclusionsLabel, 4, 0);
    stepGrid->addWidget(m_textInclusions, 4, 1, 1, 2);
    stepGrid->setColumnStretch(1, 1);

    // The preset's metadata.
    m_tableMetadata = named(new ExifTableView(this), "tableMetadata");
    m_tableMetadata->setTimeZoneChooser(
        [](QWidget *parent) { return TimeZoneChooserWindow::choose(parent); });
    m_tableMetadata->exifModel()->setEmptyMeansPreset(false);
    auto *metadataLabel = new QLabel(QStringLiteral("&Metadata written into every image:"), this);
    metadataLabel->setBuddy(m_tableMetadata);

    m_labelNotice = named(new QLabel(this), "labelNotice");
    m_labelNotice->setWordWrap(true);
    m_labelNotice->hide();

    auto *buttons = new QDialogButtonBox(this);
    // The lookup tables' window is offered once the program has one to open.
    if (g_lookupsOpener) {
        m_buttonLookups =
            buttons->addButton(QStringLiteral("&Lookups..."), QDialogButtonBox::ResetRole);
        m_buttonLookups->setObjectName(QStringLiteral("buttonLookups"));
    }
    QPushButton *cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("buttonCancel"));
    QPushButton *ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QStringLiteral("buttonOK"));
    ok->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(folders);
    layout->addWidget(names);
    layout->addWidget(steps);
    layout->addWidget(metadataLabel);
    layout->addWidget(m_tableMetadata, 1);
    layout->addWidget(m_labelNotice);
    layout->addWidget(buttons);
    setMinimumSize(640, 720);
    resize(720, 860);

    // What each control does.
    connect(m_popupPresets, &QComboBox::activated, this,
            [this](int index) { actionPresets(m_popupPresets->itemText(index)); });
    connect(buttonPrimary, &QPushButton::clicked, this, &PresetWindow::actionChoosePrimaryRoot);
    connect(m_buttonBackupRoot, &QPushButton::clicked, this, &PresetWindow::actionChooseBackupRoot);
    connect(m_buttonBackupRoot2, &QPushButton::clicked, this,
            &PresetWindow::actionChooseBackupRoot2);
    connect(m_buttonConverter, &QPushButton::clicked, this, &PresetWindow::actionChooseConverter);
    connect(buttonPostApp, &QPushButton::clicked, this, &PresetWindow::actionChoosePostApp);
    connect(ok, &QPushButton::clicked, this, &PresetWindow::actionOK);
    connect(cancel, &QPushButton::clicked, this, &PresetWindow::actionCancel);
    for (QLineEdit *edit :
         {m_textPrimaryRoot, m_textBackupRoot, m_textBackupRoot2, m_textInclusions})
        connect(edit, &QLineEdit::textEdited, this, &PresetWindow::presetWasChanged);
    for (TokenFieldEdit *field : {m_tokenFieldFolder, m_tokenFieldFilename})
        connect(field, &TokenFieldEdit::textEdited, this, &PresetWindow::presetWasChanged);
    for (QCheckBox *box :
         {m_checkboxBackup, m_checkboxBackup2, m_checkboxPromptForFolder, m_checkboxDNGConversion,
          m_checkboxVerifyOnly, m_checkboxVerifyJPEGs, m_checkboxGeotag}) {
        connect(box, &QCheckBox::toggled, this, [this, box](bool on) {
            if (m_showing)
                return;
            controlsToForm();
            if (box == m_checkboxBackup)
                SetupController::setWantBackup(m_form, on);
            m_controller.presetWasChanged();
            presetToControls();
            refreshPopup();
        });
    }
    ExifTableModel *table = m_tableMetadata->exifModel();
    connect(table, &ExifTableModel::didBeginEditing, this, &PresetWindow::presetWasChanged);
    connect(table, &ExifTableModel::rowEdited, this, &PresetWindow::presetWasChanged);
}

void PresetWindow::setupPanel()
{
    m_controller.setupPanel(m_form);
    presetToControls();
    refreshPopup();
}

void PresetWindow::presetToControls()
{
    m_showing = true;
    m_textPrimaryRoot->setText(m_form.primaryRootFolder);
    m_checkboxBackup->setChecked(m_form.wantBackup);
    m_textBackupRoot->setText(m_form.backupRootFolder);
    m_checkboxBackup2->setChecked(m_form.wantBackup2);
    m_textBackupRoot2->setText(m_form.backupRootFolder2);
    if (m_tokenFieldFolder->text() != m_form.folderArrangement)
        m_tokenFieldFolder->setText(m_form.folderArrangement);
    if (m_tokenFieldFilename->text() != m_form.filenameArrangement)
        m_tokenFieldFilename->setText(m_form.filenameArrangement);
    m_checkboxPromptForFolder->setChecked(m_form.promptForFolder);
    m_checkboxDNGConversion->setChecked(m_form.wantConversion);
    // The converter an ingestion uses is the preferences' one.
    m_textConverter->setText(Prefs::string(Prefs::ConverterPath));
    m_checkboxVerifyOnly->setChecked(m_form.wantRawVerify);
    m_checkboxVerifyJPEGs->setChecked(m_form.wantJPEGVerify);
    m_checkboxGeotag->setChecked(m_form.geoTag);
    m_textPostApp->setText(m_form.postApp);
    m_textInclusions->setText(m_form.inclusions);

    // Every catalogue field is offered, also those a hand-written preset leaves out.
    if (m_tableMetadata->exifModel()->rows() != m_form.metadata) {
        QVariantMap values;
        for (const MetadataPtr &row : std::as_const(m_form.metadata))
            values.insert(row->tag, row->valEffective());
        for (const QString &key : Metadata::iptcKeys()) {
            if (!values.contains(key))
                values.insert(key, QString());
        }
        const QStringList keys = values.keys();
        m_tableMetadata->showMetadata(values, QSet<QString>(keys.cbegin(), keys.cend()), false);
        m_form.metadata = m_tableMetadata->exifModel()->rows();
    }
    m_showing = false;
    enableControls();
}

void PresetWindow::controlsToForm()
{
    m_form.primaryRootFolder = m_textPrimaryRoot->text();
    m_form.wantBackup = m_checkboxBackup->isChecked();
    m_form.backupRootFolder = m_textBackupRoot->text();
    m_form.wantBackup2 = m_checkboxBackup2->isChecked();
    m_form.backupRootFolder2 = m_textBackupRoot2->text();
    m_form.folderArrangement = m_tokenFieldFolder->text();
    m_form.filenameArrangement = m_tokenFieldFilename->text();
    m_form.promptForFolder = m_checkboxPromptForFolder->isChecked();
    m_form.wantConversion = m_checkboxDNGConversion->isChecked();
    m_form.wantRawVerify = m_checkboxVerifyOnly->isChecked();
    m_form.wantJPEGVerify = m_checkboxVerifyJPEGs->isChecked();
    m_form.geoTag = m_checkboxGeotag->isChecked();
    m_form.postApp = m_textPostApp->text();
    m_form.inclusions = m_textInclusions->text();
    m_form.metadata = m_tableMetadata->exifModel()->rows();
}

void PresetWindow::enableControls()
{
    const PresetControlsEnabled enabled = SetupController::enableControls(m_form);
    m_tokenFieldFolder->setEnabled(enabled.folderArrangement);
    m_checkboxBackup->setEnabled(enabled.wantBackup);
    m_textConverter->setEnabled(enabled.converter);
    m_buttonConverter->setEnabled(enabled.converter);
    m_checkboxVerifyOnly->setEnabled(enabled.wantRawVerify);
    m_checkboxBackup2->setEnabled(enabled.wantBackup2);
    m_textBackupRoot->setEnabled(enabled.backupRoot);
    m_buttonBackupRoot->setEnabled(enabled.backupRoot);
    m_textBackupRoot2->setEnabled(enabled.backupRoot2);
    m_buttonBackupRoot2->setEnabled(enabled.backupRoot2);
}

void PresetWindow::refreshPopup()
{
    const PresetMenu menu = m_controller.populatePresetsMenu(true);
    m_popupPresets->blockSignals(true);
    m_popupPresets->clear();
    auto *items = qobject_cast<QStandardItemModel *>(m_popupPresets->model());
    for (const QString &title : menu.titles) {
        if (title.isEmpty()) {
            m_popupPresets->insertSeparator(m_popupPresets->count());
            continue;
        }
        m_popupPresets->addItem(title);
        if (menu.damagedTitles.contains(title) && items) {
            QStandardItem *item = items->item(m_popupPresets->count() - 1);
            item->setEnabled(false);
            item->setToolTip(QStringLiteral("The preset file is damaged and can't be used; "
                                            "Save As over it replaces it."));
        }
    }
    m_popupPresets->setCurrentIndex(m_popupPresets->findText(menu.selectedTitle));
    m_popupPresets->blockSignals(false);
}

void PresetWindow::presetWasChanged()
{
    if (m_showing)
        return;
    m_controller.presetWasChanged();
    refreshPopup();
}

void PresetWindow::notice(const QString &text)
{
    m_labelNotice->setText(text);
    m_labelNotice->setVisible(!text.isEmpty());
}

void PresetWindow::actionPresets(const QString &title)
{
    if (title.isEmpty())
        return;
    controlsToForm();
    m_controller.actionPresets(title, m_form);
    m_keptOverDisk = false;
    notice(QString());
    presetToControls();
    refreshPopup();
}

void PresetWindow::actionOK()
{
    controlsToForm();
    if (m_controller.actionOK(m_form)) {
        m_finished = true;
        done(1);
        return;
    }
    // Stays open: an alert said why, and the rules may have changed the form.
    presetToControls();
    refreshPopup();
}

void PresetWindow::actionCancel()
{
    if (!m_finished) {
        m_finished = true;
        m_controller.actionCancel();
    }
    done(0);
}

void PresetWindow::reject()
{
    // Escape and the window's close button are Cancel.
    actionCancel();
}

void PresetWindow::chooseRoot(const QString &key)
{
    const QString start = expandedStart(SetupController::chooserStart(key));
    const std::optional<QString> path = g_folderPanel
                                            ? g_folderPanel(QStringLiteral("Choose Folder"), start)
                                            : [&]() -> std::optional<QString> {
        const QString chosen = QFileDialog::getExistingDirectory(
            this, QStringLiteral("Choose Folder"), start, QFileDialog::ShowDirsOnly);
        return chosen.isEmpty() ? std::nullopt : std::optional<QString>(chosen);
    }();
    if (!path)
        return;
    controlsToForm();
    m_controller.rootFolderChosen(key, *path, m_form);
    presetToControls();
    refreshPopup();
}

void PresetWindow::actionChoosePrimaryRoot()
{
    chooseRoot(QLatin1String(SetupKeys::PrimaryRootFolder));
}

void PresetWindow::actionChooseBackupRoot()
{
    chooseRoot(QLatin1String(SetupKeys::BackupRootFolder));
}

void PresetWindow::actionChooseBackupRoot2()
{
    chooseRoot(QLatin1String(SetupKeys::BackupRootFolder2));
}

static std::optional<QString> chooseFile(QWidget *parent, const QString &message,
                                         const QString &start)
{
    if (g_filePanel)
        return g_filePanel(message, start);
    QFileDialog panel(parent, message, start);
    panel.setFileMode(QFileDialog::ExistingFile);
    panel.setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty())
        return std::nullopt;
    return panel.selectedFiles().first();
}

void PresetWindow::actionChooseConverter()
{
    const std::optional<QString> path =
        chooseFile(this, QStringLiteral("Choose DNG Converter application."),
                   expandedStart(SetupController::chooserStart(QStringLiteral("DNGConverter"))));
    if (!path)
        return;
    controlsToForm();
    m_controller.converterChosen(*path, m_form);
    presetToControls();
    refreshPopup();
}

void PresetWindow::actionChoosePostApp()
{
    const std::optional<QString> path =
        chooseFile(this, QStringLiteral("Choose post-processing application."),
                   expandedStart(SetupController::chooserStart(QStringLiteral("PostApp"))));
    controlsToForm();
    m_controller.postAppChosen(path, m_form);
    presetToControls();
    refreshPopup();
}

void PresetWindow::actionLookups()
{
    if (g_lookupsOpener)
        g_lookupsOpener(this);
}

void PresetWindow::presetFolderChanged()
{
    if (m_askingAboutDisk || m_finished)
        return;
    m_controller.readPresets();
    refreshPopup();
    if (!m_controller.changedOnDisk())
        return;

    const QString name = m_controller.loadedName();
    const QString path = m_controller.presetPath(name);
    std::optional<QByteArray> onDisk;
    if (QFile file(path); file.open(QIODevice::ReadOnly))
        onDisk = file.readAll();
    if (m_keptOverDisk && onDisk == m_keptVersion)
        return; // the user already chose to keep editing over this version
    const bool gone = !onDisk;
    const QString reloadName = gone ? SetupController::kDefault : name;

    if (m_controller.isDirty()) {
        m_askingAboutDisk = true;
        const int answer = UserInterface::instance().confirm(
            formatMessage(gone ? "Preset \"%@\" was removed on disk."
                               : "Preset \"%@\" was changed on disk.",
                          name),
            QStringLiteral("Another program changed it while you were editing it here. Keep "
                           "your edits (saving them then asks before replacing the other "
                           "version), or reload and lose them?"),
            {QStringLiteral("Keep My Edits"), QStringLiteral("Reload")});
        m_askingAboutDisk = false;
        if (answer != 1) {
            m_keptOverDisk = true;
            m_keptVersion = onDisk;
            return;
        }
    }
    m_keptOverDisk = false;
    m_controller.updateFromPreset(reloadName, &m_form);
    presetToControls();
    refreshPopup();
    notice(gone ? formatMessage("Preset \"%@\" was removed by another program; showing %@.", name,
                                reloadName)
                : formatMessage("Preset \"%@\" was changed by another program and has been "
                                "reloaded.",
                                name));
}
