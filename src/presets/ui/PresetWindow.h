#pragma once

#include "presets/SetupController.h"

#include <QByteArray>
#include <QDialog>

#include <functional>
#include <optional>

class ExifTableView;
class MacroMenuButton;
class PresetFolderWatcher;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TokenFieldEdit;

// The preset window, the window half of SetupController: every setting of a preset, the
// preset's metadata table and the preset pop-up with Save As, Update and Delete. It shows the
// controller's PresetForm and hands every action to the controller, which decides. It runs
// modally; OK keeps (and saves) the preset, Cancel returns to the one current when it opened.
// A watch on the presets folder keeps the pop-up in step with other programs and asks before
// edits meet a version of the same preset changed on disk.
class PresetWindow : public QDialog
{
    Q_OBJECT

public:
    explicit PresetWindow(SetupController &controller, QWidget *parent = nullptr);
    ~PresetWindow() override;

    // Replace the folder and file choosers (tests): the chosen path, or nullopt for Cancel.
    using Panel =
        std::function<std::optional<QString>(const QString &message, const QString &startPath)>;
    static void setFolderPanel(Panel panel);
    static void setFilePanel(Panel panel);
    // Opens the lookup tables' window; without one the Lookups button is not shown.
    using LookupsOpener = std::function<void(QWidget *parent)>;
    static void setLookupsOpener(LookupsOpener opener);

    // Runs the window for the controller's current preset: true for OK.
    static bool run(SetupController &controller, QWidget *parent);

    const PresetForm &form() const { return m_form; }
    ExifTableView *metadataTable() const { return m_tableMetadata; }

public Q_SLOTS:
    void actionPresets(const QString &title);
    void actionOK();
    void actionCancel();
    void actionChoosePrimaryRoot();
    void actionChooseBackupRoot();
    void actionChooseBackupRoot2();
    void actionChooseConverter();
    void actionChoosePostApp();
    void actionLookups();
    // The presets folder changed on disk.
    void presetFolderChanged();

protected:
    void reject() override;

private:
    void build();
    void setupPanel();
    void presetToControls();
    void controlsToForm();
    void enableControls();
    void refreshPopup();
    void presetWasChanged();
    void chooseRoot(const QString &key);
    void notice(const QString &text);

    SetupController &m_controller;
    PresetForm m_form;
    PresetFolderWatcher *m_watcher = nullptr;
    bool m_showing = false;
    bool m_askingAboutDisk = false;
    // The version on disk the user chose to keep editing over (nullopt: the file was gone).
    bool m_keptOverDisk = false;
    std::optional<QByteArray> m_keptVersion;
    bool m_finished = false;

    QComboBox *m_popupPresets = nullptr;
    QLineEdit *m_textPrimaryRoot = nullptr;
    QCheckBox *m_checkboxBackup = nullptr;
    QLineEdit *m_textBackupRoot = nullptr;
    QPushButton *m_buttonBackupRoot = nullptr;
    QCheckBox *m_checkboxBackup2 = nullptr;
    QLineEdit *m_textBackupRoot2 = nullptr;
    QPushButton *m_buttonBackupRoot2 = nullptr;
    TokenFieldEdit *m_tokenFieldFolder = nullptr;
    TokenFieldEdit *m_tokenFieldFilename = nullptr;
    MacroMenuButton *m_popupFolderMacros = nullptr;
    MacroMenuButton *m_popupFilenameMacros = nullptr;
    QCheckBox *m_checkboxPromptForFolder = nullptr;
    QCheckBox *m_checkboxDNGConversion = nullptr;
    QLineEdit *m_textConverter = nullptr;
    QPushButton *m_buttonConverter = nullptr;
    QCheckBox *m_checkboxVerifyOnly = nullptr;
    QCheckBox *m_checkboxVerifyJPEGs = nullptr;
    QCheckBox *m_checkboxGeotag = nullptr;
    QLineEdit *m_textPostApp = nullptr;
    QLineEdit *m_textInclusions = nullptr;
    ExifTableView *m_tableMetadata = nullptr;
    QPushButton *m_buttonLookups = nullptr;
    QLabel *m_labelNotice = nullptr;
};
