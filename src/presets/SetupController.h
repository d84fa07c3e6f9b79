#pragma once

#include "metadata/Metadata.h"
#include "presets/Setup.h"

#include <QByteArray>
#include <QSet>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class LookupsController;

// What the preset window shows, as a plain record: the window copies its controls into one of
// these and back, and every rule about the values runs here.
struct PresetForm
{
    QString primaryRootFolder;
    bool wantBackup = false;
    QString backupRootFolder;
    bool wantBackup2 = false;
    QString backupRootFolder2;
    QString folderArrangement;
    QString filenameArrangement;
    bool promptForFolder = false;
    bool wantConversion = false;
    QString converterPath;
    bool wantRawVerify = false;
    bool wantJPEGVerify = false;
    bool geoTag = false;
    QString postApp;
    QString inclusions;
    // The rows of the preset's metadata table.
    MetadataList metadata;
};

// Which controls of the preset window take input, given what is ticked.
struct PresetControlsEnabled
{
    bool folderArrangement = true;
    bool wantBackup = true;
    bool converter = false; // converter label, its Choose button
    bool wantRawVerify = false;
    bool wantBackup2 = false;
    bool backupRoot = false;  // first backup root label and Choose button
    bool backupRoot2 = false; // second backup root label and Choose button
};

// The entries of a preset pop-up, for any widget to show: titles in order (an empty title is a
// separator) and the title to select.
struct PresetMenu
{
    QStringList titles;
    QString selectedTitle;
    // Entries whose file is damaged: shown (titled NAME + " (damaged)") but not to be chosen.
    QStringList damagedTitles;
};

// The preset manager's data half: the saved preset names, the current preset and its name,
// loading, saving and deleting preset files, and every decision of the preset window that is
// not drawing. Main thread only. Alerts, confirmations and the name prompt go through the
// user-interface port.
class SetupController
{
public:
    static const QString kDefault;  // "Default": the built-in defaults, no file of its own
    static const QString kUntitled; // "Untitled": unsaved edits of the defaults
    static const QString kSaveAs;   // "Save As..."
    static const QString kEdited;   // " (edited)"
    static const QString kDamaged;  // " (damaged)"
    // The user default holding the current preset's name.
    static constexpr const char *kPresetDefaultsKey = "Preset";

    // Makes the presets folder (empty: there is none; nothing is then listed or saved), takes
    // the current name from the user default "Preset", reads the list.
    explicit SetupController(const QString &presetsFolder);
    // The presets folder under the application-support folder.
    SetupController();
    ~SetupController();
    SetupController(const SetupController &) = delete;
    SetupController &operator=(const SetupController &) = delete;

    QString presetsFolder() const { return m_presetsFolder; }
    // The lookup-table manager, made with this controller and read from the presets folder's
    // "Lookups" sub-folder (not read when there is no presets folder).
    LookupsController *lookupsController() const { return m_lookupsController.get(); }
    QStringList presets() const { return m_presets; }
    // Rereads the list: ".plist" files directly in the folder, not hidden, sorted ignoring case.
    // Files that do not read as a dictionary stay listed (see presetFileProblem).
    void readPresets();
    // The listed preset's file exists but is not a readable preset.
    bool isDamaged(const QString &name) const { return presetFileProblem(name).has_value(); }
    // Why `name` cannot name a new preset ("/" in it, empty, hidden, a built-in name), or
    // nullopt when it can.
    static std::optional<QString> nameProblem(const QString &name);
    // The listed name equal to `name` ignoring case, or nullopt.
    std::optional<QString> listedName(const QString &name) const;
    // The file of the preset loaded last was changed or removed on disk since it was loaded
    // (or saved) here.
    bool changedOnDisk() const;
    // The name of the preset loaded last.
    QString loadedName() const { return m_loadedName; }

    // The current preset, loading "Default" first when none is held.
    Setup &currentSetup();
    // The built-in defaults fetched at the last load.
    const Setup &defaultSetup() const { return m_defaultSetup; }
    QString currentSetupName() const { return m_currentSetupName; }
    void setCurrentSetupName(const QString &name) { m_currentSetupName = name; }
    QString previousSetupName() const { return m_previousSetupName; }
    void setPreviousSetupName(const QString &name) { m_previousSetupName = name; }
    bool isDirty() const { return m_isDirty; }

    QString presetPath(const QString &name) const;
    // Why the preset's file cannot be used (it exists but is unreadable, not a property list,
    // or not a dictionary), naming the file; nullopt for a sound file or one that is missing.
    std::optional<QString> presetFileProblem(const QString &name) const;
    // Loads a preset (a missing file: the defaults) and clears the edited flag. A damaged file
    // is never taken for the defaults under its own name: "Default" becomes current instead and
    // the answer is false.
    bool makeCurrent(const QString &name);
    // Saves the current preset under name and takes that name (a listed name that differs
    // only in case keeps its listed spelling). False, with an alert, when the file could not
    // be written: then nothing changes. When the file was changed on disk since it was loaded
    // here, the user is asked first and may keep the other version.
    bool newOrUpdatePreset(const QString &name);
    // Removes the preset's file and list entry; the current name becomes empty.
    void deletePreset(const QString &name);
    // Drops every Metadata key that names no catalogue field (ignoring case).
    static void removeUndefinedMetadataFromSetup(Setup &setup);
    // Stores the current name in the user default "Preset".
    void savePresetName();
    // Makes name current ("Default" when none), stores it, loads it; the form is refilled.
    void updateFromPreset(const std::optional<QString> &name, PresetForm *form = nullptr);
    // An edit happened: dirty, and "Default" becomes "Untitled".
    void presetWasChanged();

    // The pop-up entries; with commands also the separator, "Save As..." and, for a saved
    // preset, "Update NAME" and "Delete NAME".
    PresetMenu populatePresetsMenu(bool wantCommands) const;

    // The window's start: remembers the name to return to on Cancel and shows the preset.
    void setupPanel(PresetForm &form);
    // The controls as the current preset holds them.
    PresetForm presetToControls();
    static PresetControlsEnabled enableControls(const PresetForm &form);
    // Unticking the first backup also unticks the second.
    static void setWantBackup(PresetForm &form, bool on);
    // Takes the form into the current preset, applying the backup-root and converter rules
    // (which may change the form, with their alerts) and normalising the extensions.
    void controlsToPreset(PresetForm &form);
    // "JPG  CR2   NEF" -> "JPG CR2  NEF": trimmed, one pass of double blanks, upper case.
    static QString normalizedInclusions(const QString &text);
    // Both arrangements parse as macro texts; otherwise an alert names the fault: false.
    static bool checkArrangements(const PresetForm &form);

    // A choice in the preset pop-up; the form is taken in first and refilled afterwards.
    void actionPresets(const QString &title, PresetForm &form);
    // Asks for a new name and saves under it; the name saved, or nullopt.
    std::optional<QString> saveAs();
    // "a b/c:d" -> "a_b_c_d".
    static QString sanitizedPresetName(const QString &name);
    // OK: true when the window may close (modal code 1); false keeps it open.
    bool actionOK(PresetForm &form);
    // Cancel: back to the preset current when the window opened, edits discarded.
    void actionCancel();

    // The folder or application a chooser starts at: the user default named by the key
    // ("PrimaryRootFolder", "BackupRootFolder", "BackupRootFolder2", "DNGConverter",
    // "PostApp"), which remembers the last choice.
    static QString chooserStart(const QString &defaultsKey);
    // A root folder was chosen for the control of that key: remembered, shown, an edit.
    void rootFolderChosen(const QString &key, const QString &path, PresetForm &form);
    // The DNG converter chooser confirmed a path.
    void converterChosen(const QString &path, PresetForm &form);
    // The post-processing chooser ended: a path is remembered and shown; a cancelled chooser
    // clears the application (none).
    void postAppChosen(const std::optional<QString> &path, PresetForm &form);
    // The width of the metadata table's middle column that fills the table.
    static int fittedMiddleColumnWidth(int tableWidth, int firstWidth, int thirdWidth,
                                       int scrollerWidth);

private:
    void addToList(const QString &name);
    void rememberLoaded(const QString &name);

    // The last loaded (or saved) preset's name and file content, to notice outside changes.
    QString m_loadedName;
    std::optional<QByteArray> m_loadedBytes;

    QString m_presetsFolder;
    QStringList m_presets;
    std::optional<Setup> m_currentSetupHolder;
    Setup m_defaultSetup;
    QString m_currentSetupName;
    QString m_previousSetupName;
    bool m_isDirty = false;
    std::unique_ptr<LookupsController> m_lookupsController;
};
