#pragma once

#include "metadata/Prefs.h"

#include <QDialog>
#include <QMap>

#include <optional>

class ECPrefsController;
class LayedOutFieldsModel;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QTableView;

// The preferences window over the one ECPrefsController: raw extensions, the DNG converter,
// the ingestion switches, custom fields and the field layout. It draws the controller's values
// and forwards every action to it; OK keeps (after the controller's checks), Cancel rereads.
class PrefsWindow : public QDialog
{
    Q_OBJECT

public:
    explicit PrefsWindow(ECPrefsController &prefs, QWidget *parent = nullptr);

    // Runs the window modally over the preferences instance; true when closed with OK.
    static bool run(QWidget *parent);

    QTabWidget *tabs() const { return m_tabs; }

public Q_SLOTS:
    void actionOK();
    void actionCancel();
    void actionChooseConverter();
    void actionChooseProgram(const Prefs::Key *key);
    void actionRevertRawExtensions();
    void actionAddField();
    void actionRenameField();
    void actionDeleteField();
    void actionRegroup();
    void actionMoveUp();
    void actionMoveDown();

protected:
    // Escape and the close button: with unsaved edits the user chooses to keep or drop them.
    void reject() override;

private:
    QWidget *buildGeneralTab();
    QWidget *buildFieldsTab();
    void controlsFromPrefs();
    void controlsToPrefs();
    void refreshCustomFields(int select);
    void refreshLayout(int select);
    int selectedLayoutRow() const;
    void focusRefused();
    std::optional<QString> askForProgram(const QString &title, const QString &start);

    ECPrefsController &m_prefs;
    LayedOutFieldsModel *m_layoutModel = nullptr;
    QTabWidget *m_tabs = nullptr;
    QPlainTextEdit *m_rawExtensions = nullptr;
    QLineEdit *m_converter = nullptr;
    QComboBox *m_jpegPreview = nullptr;
    QCheckBox *m_embeddedRaw = nullptr;
    QMap<QString, QCheckBox *> m_switches; // key name -> check box
    QMap<QString, QLineEdit *> m_texts;    // key name -> program or text field
    QListWidget *m_customFields = nullptr;
    QPushButton *m_renameField = nullptr;
    QPushButton *m_deleteField = nullptr;
    QTableView *m_layout = nullptr;
    QPushButton *m_moveUp = nullptr;
    QPushButton *m_moveDown = nullptr;
};
