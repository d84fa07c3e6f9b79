#include "presets/SetupController.h"

#include "macro/MacroSyntax.h"
#include "metadata/ECPrefsController.h"
#include "metadata/LookupsController.h"
#include "platform/AppPaths.h"
#include "platform/Defaults.h"
#include "platform/Format.h"
#include "platform/PropertyList.h"
#include "platform/UserInterface.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

const QString SetupController::kDefault = QStringLiteral("Default");
const QString SetupController::kUntitled = QStringLiteral("Untitled");
const QString SetupController::kSaveAs = QStringLiteral("Save As...");
const QString SetupController::kEdited = QStringLiteral(" (edited)");
const QString SetupController::kDamaged = QStringLiteral(" (damaged)");

namespace {

const QString kUpdatePrefix = QStringLiteral("Update ");
const QString kDeletePrefix = QStringLiteral("Delete ");

bool lessIgnoringCase(const QString &a, const QString &b)
{
    const int order = a.compare(b, Qt::CaseInsensitive);
    return order != 0 ? order < 0 : a < b;
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("YES") : QStringLiteral("NO");
}

// The primary root with a sub-folder name appended, without doubling a trailing "/".
QString joinRoot(const QString &root, const QString &name)
{
    QString base = root;
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    if (base == QLatin1String("/"))
        base.clear();
    return base + QLatin1Char('/') + name;
}

void alert(const QString &text)
{
    UserInterface::instance().alert(text, QString());
}

} // namespace

SetupController::SetupController() : SetupController(AppPaths::supportFolder()) {}

SetupController::~SetupController() = default;

SetupController::SetupController(const QString &presetsFolder) : m_presetsFolder(presetsFolder)
{
    // A folder that cannot be made is not reported: loads then yield the defaults.
    if (!m_presetsFolder.isEmpty())
        AppPaths::ensureFolder(m_presetsFolder);
    m_currentSetupName = Defaults::string(QLatin1String(kPresetDefaultsKey), kDefault);
    readPresets();
    m_lookupsController = std::make_unique<LookupsController>();
    if (!m_presetsFolder.isEmpty())
        m_lookupsController->initializeWithPresetsFolder(m_presetsFolder);
}

void SetupController::readPresets()
{
    QStringList names;
    if (!m_presetsFolder.isEmpty()) {
        const QFileInfoList entries =
            QDir(m_presetsFolder).entryInfoList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QFileInfo &entry : entries) {
            const QString fileName = entry.fileName();
            if (fileName.startsWith(QLatin1Char('.')) ||
                !fileName.endsWith(QLatin1String(".plist")))
                continue;
            names.append(fileName.chopped(6));
        }
    }
    std::sort(names.begin(), names.end(), lessIgnoringCase);
    m_presets.clear();
    for (const QString &name : std::as_const(names))
        addToList(name);
}

std::optional<QString> SetupController::listedName(const QString &name) const
{
    for (const QString &listed : m_presets) {
        if (listed.compare(name, Qt::CaseInsensitive) == 0)
            return listed;
    }
    return std::nullopt;
}

std::optional<QString> SetupController::nameProblem(const QString &name)
{
    if (name.trimmed().isEmpty())
        return QStringLiteral("A preset name can't be empty.");
    if (name.startsWith(QLatin1Char('.')))
        return QStringLiteral("A preset name can't begin with \".\".");
    if (name.contains(QLatin1Char('/')))
        return QStringLiteral("A preset name can't contain \"/\".");
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("A preset name can't contain control characters.");
    }
    if (name.compare(kDefault, Qt::CaseInsensitive) == 0 ||
        name.compare(kUntitled, Qt::CaseInsensitive) == 0)
        return formatMessage("\"%@\" is a name the program keeps for itself.", name);
    if (name.endsWith(kEdited) || name.endsWith(kDamaged))
        return formatMessage("A preset name can't end in \"%@\".",
                             name.endsWith(kEdited) ? kEdited.trimmed() : kDamaged.trimmed());
    return std::nullopt;
}

void SetupController::rememberLoaded(const QString &name)
{
    m_loadedName = name;
    m_loadedBytes.reset();
    if (m_presetsFolder.isEmpty())
        return;
    QFile file(presetPath(name));
    if (file.open(QIODevice::ReadOnly))
        m_loadedBytes = file.readAll();
}

bool SetupController::changedOnDisk() const
{
    if (m_presetsFolder.isEmpty() || m_loadedName.isEmpty())
        return false;
    QFile file(presetPath(m_loadedName));
    std::optional<QByteArray> now;
    if (file.open(QIODevice::ReadOnly))
        now = file.readAll();
    return now != m_loadedBytes;
}

void SetupController::addToList(const QString &name)
{
    for (const QString &listed : std::as_const(m_presets)) {
        if (listed.compare(name, Qt::CaseInsensitive) == 0)
            return;
    }
    m_presets.append(name);
    std::sort(m_presets.begin(), m_presets.end(), lessIgnoringCase);
}

Setup &SetupController::currentSetup()
{
    if (!m_currentSetupHolder)
        makeCurrent(kDefault);
    return *m_currentSetupHolder;
}

QString SetupController::presetPath(const QString &name) const
{
    return m_presetsFolder + QLatin1Char('/') + name + QStringLiteral(".plist");
}

std::optional<QString> SetupController::presetFileProblem(const QString &name) const
{
    if (m_presetsFolder.isEmpty())
        return std::nullopt;
    const QString path = presetPath(name);
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    if (!info.isFile() || !info.isReadable())
        return formatMessage("The preset \"%@\" can't be used: its file \"%@\" can't be read.",
                             name, path);
    if (!Setup::readFile(path))
        return formatMessage("The preset \"%@\" can't be used: its file \"%@\" is damaged (it is "
                             "not a property list holding a dictionary).",
                             name, path);
    return std::nullopt;
}

bool SetupController::makeCurrent(const QString &name)
{
    std::optional<QVariantMap> dict;
    if (!m_presetsFolder.isEmpty())
        dict = Setup::readFile(presetPath(name));
    // Loading the defaults under a damaged preset's name would send a run to the default
    // folder with the default names, and a later save would overwrite the file.
    const bool damaged = !dict && presetFileProblem(name).has_value();
    if (damaged)
        m_currentSetupName = kDefault;
    Setup loaded;
    if (dict)
        loaded.setDict(*dict);

    m_defaultSetup = Setup::defaultSetup();
    const QString metadataKey = QLatin1String(SetupKeys::Metadata);
    const QVariant defaults = m_defaultSetup.dict().value(metadataKey);
    const QVariant own = loaded.dict().value(metadataKey);
    if (defaults.typeId() == QMetaType::QVariantMap && own.typeId() == QMetaType::QVariantMap) {
        QVariantMap merged = own.toMap();
        const QVariantMap defaultMap = defaults.toMap();
        for (auto it = defaultMap.cbegin(); it != defaultMap.cend(); ++it) {
            if (!merged.contains(it.key()))
                merged.insert(it.key(), QString());
        }
        loaded.setParam(metadataKey, merged);
    }
    removeUndefinedMetadataFromSetup(loaded);

    if (dict)
        m_currentSetupHolder = loaded;
    else
        m_currentSetupHolder = Setup(m_defaultSetup.dict());
    m_isDirty = false;
    rememberLoaded(name);
    return !damaged;
}

void SetupController::removeUndefinedMetadataFromSetup(Setup &setup)
{
    const QString metadataKey = QLatin1String(SetupKeys::Metadata);
    if (setup.dict().value(metadataKey).typeId() != QMetaType::QVariantMap)
        return;
    QVariantMap metadata = setup.paramDict(metadataKey);
    QStringList unknown;
    QStringList misspelt;
    for (auto it = metadata.cbegin(); it != metadata.cend(); ++it) {
        const std::optional<QString> key = Metadata::catalogueKeyFor(it.key());
        if (!key)
            unknown.append(it.key());
        else if (*key != it.key())
            misspelt.append(it.key());
    }
    for (const QString &key : std::as_const(unknown))
        metadata.remove(key);
    // A key spelt in another case names a catalogue field: its text moves to the catalogue's
    // spelling (unless that holds a text of its own), so that no one reads the field twice.
    for (const QString &key : std::as_const(misspelt)) {
        const QString proper = *Metadata::catalogueKeyFor(key);
        const QVariant value = metadata.take(key);
        if (metadata.value(proper).toString().isEmpty() && !value.toString().isEmpty())
            metadata.insert(proper, value);
        else if (!metadata.contains(proper))
            metadata.insert(proper, value);
    }
    setup.setParam(metadataKey, metadata);
}

bool SetupController::newOrUpdatePreset(const QString &requested)
{
    // On a file system that tells case apart, a second spelling of a listed name would leave
    // two files behind one list entry: the listed spelling is updated instead.
    QString name = requested;
    for (const QString &listed : std::as_const(m_presets)) {
        if (listed.compare(requested, Qt::CaseInsensitive) == 0)
            name = listed;
    }
    if (!m_presetsFolder.isEmpty()) {
        if (name == m_loadedName && changedOnDisk()) {
            const bool gone = !QFileInfo::exists(presetPath(name));
            const int answer = UserInterface::instance().confirm(
                formatMessage(gone ? "Preset \"%@\" was removed on disk."
                                   : "Preset \"%@\" was changed on disk.",
                              name),
                QStringLiteral("Another program changed it since it was opened here. Saving "
                               "replaces that version with these settings."),
                {QStringLiteral("Don't Save"), QStringLiteral("Save")});
            if (answer != 1)
                return false;
        }
        const QVariantMap dict =
            m_currentSetupHolder ? m_currentSetupHolder->dict() : QVariantMap();
        QString error;
        if (!PropertyList::writeXml(presetPath(name), dict, &error)) {
            UserInterface::instance().alert(QStringLiteral("Can't save preset."),
                                            formatMessage("%@: %@", presetPath(name), error));
            return false;
        }
    }
    m_currentSetupName = name;
    m_isDirty = false;
    addToList(name);
    rememberLoaded(name);
    return true;
}

void SetupController::deletePreset(const QString &name)
{
    if (!m_presetsFolder.isEmpty())
        QFile::remove(presetPath(name));
    m_currentSetupName.clear();
    m_presets.removeAll(name);
}

void SetupController::savePresetName()
{
    Defaults::set(QLatin1String(kPresetDefaultsKey), m_currentSetupName);
}

void SetupController::updateFromPreset(const std::optional<QString> &name, PresetForm *form)
{
    m_currentSetupName = name && !name->isEmpty() ? *name : kDefault;
    makeCurrent(m_currentSetupName); // a damaged preset leaves "Default" current
    savePresetName();
    if (form)
        *form = presetToControls();
}

void SetupController::presetWasChanged()
{
    m_isDirty = true;
    if (m_currentSetupName == kDefault)
        m_currentSetupName = kUntitled;
}

PresetMenu SetupController::populatePresetsMenu(bool wantCommands) const
{
    PresetMenu menu;
    menu.selectedTitle = m_currentSetupName;
    QStringList entries = m_presets;
    if (m_currentSetupName == kUntitled && !entries.contains(kUntitled))
        entries.append(kUntitled);
    if (!entries.contains(kDefault))
        entries.append(kDefault);
    for (const QString &entry : std::as_const(entries)) {
        // "Default" stays a choice: its built-in settings remain when its own file is damaged.
        if (entry != kUntitled && entry != kDefault && presetFileProblem(entry)) {
            menu.titles.append(entry + kDamaged);
            menu.damagedTitles.append(entry + kDamaged);
        } else if (entry == m_currentSetupName && m_isDirty) {
            menu.titles.append(entry + kEdited);
            menu.selectedTitle = entry + kEdited;
        } else {
            menu.titles.append(entry);
        }
    }
    if (wantCommands) {
        menu.titles.append(QString());
        menu.titles.append(kSaveAs);
        if (!m_currentSetupName.isEmpty() && m_currentSetupName != kDefault &&
            m_currentSetupName != kUntitled && !presetFileProblem(m_currentSetupName)) {
            menu.titles.append(kUpdatePrefix + m_currentSetupName);
            menu.titles.append(kDeletePrefix + m_currentSetupName);
        }
    }
    return menu;
}

void SetupController::setupPanel(PresetForm &form)
{
    m_previousSetupName = m_currentSetupName;
    updateFromPreset(m_currentSetupName, &form);
}

PresetForm SetupController::presetToControls()
{
    using namespace SetupKeys;
    const Setup &setup = currentSetup();
    PresetForm form;
    form.primaryRootFolder = setup.paramString(PrimaryRootFolder);
    form.wantBackup = setup.paramBool(WantBackup);
    form.backupRootFolder = setup.paramString(BackupRootFolder);
    form.wantBackup2 = setup.paramBool(WantBackup2);
    form.backupRootFolder2 = setup.paramString(BackupRootFolder2);
    form.folderArrangement = setup.paramString(FolderArrangement);
    form.filenameArrangement = setup.paramString(FilenameArrangement);
    form.promptForFolder = setup.paramBool(PromptForFolder);
    form.wantConversion = setup.paramBool(WantConversion);
    form.converterPath = setup.paramString(ConverterPath);
    form.wantRawVerify = setup.paramBool(WantRawVerify);
    form.wantJPEGVerify = setup.paramBool(WantJPEGVerify);
    form.geoTag = setup.paramBool(GeoTag);
    form.postApp = setup.paramString(PostApp);
    form.inclusions = setup.paramString(Inclusions);

    // Catalogue fields in catalogue order, then any other key the preset holds.
    QVariantMap metadata = setup.paramDict(QLatin1String(SetupKeys::Metadata));
    for (const QString &key : ::Metadata::iptcKeys()) {
        if (!metadata.contains(key))
            continue;
        auto row = std::make_shared<::Metadata>(key);
        row->val = metadata.take(key).toString();
        form.metadata.append(row);
    }
    for (auto it = metadata.cbegin(); it != metadata.cend(); ++it) {
        auto row = std::make_shared<::Metadata>(it.key());
        row->val = it.value().toString();
        form.metadata.append(row);
    }
    return form;
}

PresetControlsEnabled SetupController::enableControls(const PresetForm &form)
{
    PresetControlsEnabled enabled;
    enabled.converter = form.wantConversion;
    enabled.wantRawVerify = form.wantConversion;
    enabled.wantBackup2 = form.wantBackup;
    enabled.backupRoot = form.wantBackup;
    enabled.backupRoot2 = form.wantBackup2;
    return enabled;
}

void SetupController::setWantBackup(PresetForm &form, bool on)
{
    form.wantBackup = on;
    if (!on)
        form.wantBackup2 = false;
}

bool SetupController::checkArrangements(const PresetForm &form)
{
    const std::pair<const char *, QString> arrangements[] = {
        {"Invalid folder arrangement.", form.folderArrangement},
        {"Invalid file name arrangement.", form.filenameArrangement},
    };
    for (const auto &[title, text] : arrangements) {
        if (const auto error = MacroSyntax::check(text)) {
            UserInterface::instance().alert(
                QString::fromUtf8(title),
                formatMessage("The preset was not saved: %@.", error->message));
            return false;
        }
    }
    return true;
}

QString SetupController::normalizedInclusions(const QString &text)
{
    QString result = text.trimmed();
    result.replace(QStringLiteral("  "), QStringLiteral(" "));
    return result.toUpper();
}

void SetupController::controlsToPreset(PresetForm &form)
{
    using namespace SetupKeys;
    if (form.wantConversion && !(form.wantBackup && !form.backupRootFolder.isEmpty())) {
        form.wantBackup = true;
        if (form.backupRootFolder.isEmpty())
            form.backupRootFolder = joinRoot(form.primaryRootFolder, QStringLiteral("Backup"));
        alert(QStringLiteral("DNG Conversion requires a Backup Root Folder."));
    }
    if (form.wantBackup && form.backupRootFolder.isEmpty()) {
        form.backupRootFolder = joinRoot(form.primaryRootFolder, QStringLiteral("Backup"));
        alert(QStringLiteral("Backup Root has been provided."));
    }
    if (form.wantBackup2 && form.backupRootFolder2.isEmpty()) {
        form.backupRootFolder2 = joinRoot(form.primaryRootFolder, QStringLiteral("Backup2"));
        alert(QStringLiteral("2nd Backup Root has been provided."));
    }
    if (form.wantConversion && Prefs::string(Prefs::ConverterPath).isEmpty()) {
        alert(QStringLiteral("You must setup the DNG Converter in the Preferences if you want "
                             "DNG Conversion."));
        form.wantConversion = false;
    }

    Setup &setup = currentSetup();
    setup.setParam(PrimaryRootFolder, form.primaryRootFolder);
    setup.setParam(BackupRootFolder, form.backupRootFolder);
    setup.setParam(WantBackup, yesNo(form.wantBackup));
    setup.setParam(BackupRootFolder2, form.backupRootFolder2);
    setup.setParam(WantBackup2, yesNo(form.wantBackup2));
    setup.setParam(FolderArrangement, form.folderArrangement);
    setup.setParam(FilenameArrangement, form.filenameArrangement);
    setup.setParam(PromptForFolder, yesNo(form.promptForFolder));
    setup.setParam(WantConversion, yesNo(form.wantConversion));
    setup.setParam(WantRawVerify, yesNo(form.wantRawVerify));
    setup.setParam(WantJPEGVerify, yesNo(form.wantJPEGVerify));
    setup.setParam(ConverterPath, form.converterPath);
    setup.setParam(PostApp, form.postApp);
    setup.setParam(GeoTag, yesNo(form.geoTag));
    setup.setParam(Inclusions, normalizedInclusions(form.inclusions));

    const QString metadataKey = QLatin1String(SetupKeys::Metadata);
    const bool hadMetadata = setup.dict().contains(metadataKey);
    QVariantMap metadata = setup.paramDict(metadataKey);
    for (const MetadataPtr &row : std::as_const(form.metadata)) {
        const QVariant value = row ? row->valEffective() : QVariant();
        if (!row || row->tag.isEmpty() || !value.isValid() || value.isNull())
            continue;
        metadata.insert(row->tag, value.toString());
    }
    if (hadMetadata || !metadata.isEmpty())
        setup.setParam(metadataKey, metadata);
}

std::optional<QString> SetupController::saveAs()
{
    const std::optional<QString> answer = UserInterface::instance().promptText(
        QStringLiteral("New preset name"), QString(), QStringLiteral("Save"));
    if (!answer)
        return std::nullopt;
    const QString name = sanitizedPresetName(*answer);
    // An empty name would be written to ".plist", and a leading dot hides the file from the
    // list: either way the preset could never be chosen again.
    if (const std::optional<QString> problem = nameProblem(name)) {
        UserInterface::instance().alert(QStringLiteral("Invalid preset name."), *problem);
        return std::nullopt;
    }
    if (const std::optional<QString> listed = listedName(name)) {
        const int replace = UserInterface::instance().confirm(
            formatMessage("A preset named \"%@\" already exists.", *listed),
            QStringLiteral("Replace it with these settings?"),
            {QStringLiteral("Cancel"), QStringLiteral("Replace")});
        if (replace != 1)
            return std::nullopt;
    }
    // A listed file is replaced on purpose: no second question about its state on disk.
    const QString loadedName = m_loadedName;
    const std::optional<QByteArray> loadedBytes = m_loadedBytes;
    if (listedName(name))
        rememberLoaded(*listedName(name));
    if (!newOrUpdatePreset(name)) {
        m_loadedName = loadedName;
        m_loadedBytes = loadedBytes;
        return std::nullopt;
    }
    return m_currentSetupName;
}

QString SetupController::sanitizedPresetName(const QString &name)
{
    QString result = name;
    for (QChar &c : result) {
        if (c == QLatin1Char(' ') || c == QLatin1Char('/') || c == QLatin1Char(':'))
            c = QLatin1Char('_');
    }
    return result;
}

void SetupController::actionPresets(const QString &title, PresetForm &form)
{
    controlsToPreset(form);

    // A damaged preset's entry is not a choice: the edits stay as they are.
    if (title.endsWith(kDamaged)) {
        if (const auto problem = presetFileProblem(title.chopped(kDamaged.size()))) {
            UserInterface::instance().alert(QStringLiteral("Can't use preset."), *problem);
            return;
        }
    }

    // A saved preset may itself be called "Update ..." or "Delete ...": the title is then a
    // command only when it names the current preset.
    auto command = [&](const QString &prefix) -> std::optional<QString> {
        if (!title.startsWith(prefix))
            return std::nullopt;
        const QString name = title.mid(prefix.size());
        if (m_presets.contains(title) && name != m_currentSetupName)
            return std::nullopt;
        return name;
    };

    if (title == kSaveAs) {
        if (!checkArrangements(form))
            return;
        if (const std::optional<QString> name = saveAs())
            updateFromPreset(*name, &form);
        return;
    }
    if (const std::optional<QString> name = command(kUpdatePrefix)) {
        if (*name == kDefault || *name == kUntitled) {
            alert(QStringLiteral("Can't update preset."));
        } else if (!checkArrangements(form) || !newOrUpdatePreset(*name)) {
            // Nothing was saved: the edits stay on screen to be mended.
            return;
        }
        updateFromPreset(*name, &form);
        return;
    }
    if (const std::optional<QString> name = command(kDeletePrefix)) {
        if (*name == kDefault || *name == kUntitled) {
            alert(QStringLiteral("Can't delete preset."));
            updateFromPreset(*name, &form);
            return;
        }
        const int answer = UserInterface::instance().confirm(
            formatMessage("Delete preset \"%@\"?", *name), QStringLiteral("(Cannot be undone.)"),
            {QStringLiteral("Delete"), QStringLiteral("Keep")});
        if (answer == 0) {
            deletePreset(*name);
            if (m_previousSetupName.isEmpty() || m_previousSetupName == *name)
                m_previousSetupName = kDefault;
            updateFromPreset(kDefault, &form);
        } else {
            updateFromPreset(*name, &form);
        }
        return;
    }
    // The entry of the preset being edited: stay on it and keep the edits just taken in.
    if (m_isDirty && title == m_currentSetupName + kEdited) {
        form = presetToControls();
        return;
    }
    updateFromPreset(title, &form);
}

bool SetupController::actionOK(PresetForm &form)
{
    controlsToPreset(form);
    if (!checkArrangements(form))
        return false;
    if (m_currentSetupName == kUntitled) {
        if (!saveAs())
            return false;
    } else if (m_currentSetupName != kDefault && !m_currentSetupName.isEmpty()) {
        if (!newOrUpdatePreset(m_currentSetupName))
            return false;
    }
    savePresetName();
    return true;
}

void SetupController::actionCancel()
{
    QString name = m_previousSetupName;
    if (name.isEmpty() || name == kUntitled)
        name = kDefault;
    m_currentSetupName = name;
    makeCurrent(name);
}

QString SetupController::chooserStart(const QString &defaultsKey)
{
    return Defaults::string(defaultsKey);
}

void SetupController::rootFolderChosen(const QString &key, const QString &path, PresetForm &form)
{
    using namespace SetupKeys;
    if (key == QLatin1String(PrimaryRootFolder))
        form.primaryRootFolder = path;
    else if (key == QLatin1String(BackupRootFolder))
        form.backupRootFolder = path;
    else if (key == QLatin1String(BackupRootFolder2))
        form.backupRootFolder2 = path;
    else
        return;
    Defaults::set(key, path);
    presetWasChanged();
}

void SetupController::converterChosen(const QString &path, PresetForm &form)
{
    Defaults::set(QLatin1String(Prefs::DNGConverter.name), path);
    // The ingestion runs the preferences' converter: the one chosen here is that one.
    Prefs::set(Prefs::ConverterPath, path);
    form.converterPath = path;
    presetWasChanged();
}

void SetupController::postAppChosen(const std::optional<QString> &path, PresetForm &form)
{
    if (path) {
        Defaults::set(QLatin1String(SetupKeys::PostApp), *path);
        form.postApp = *path;
    } else {
        form.postApp.clear();
    }
    presetWasChanged();
}

int SetupController::fittedMiddleColumnWidth(int tableWidth, int firstWidth, int thirdWidth,
                                             int scrollerWidth)
{
    return std::max(0, tableWidth - firstWidth - thirdWidth - scrollerWidth);
}
