#pragma once

#include "metadata/Prefs.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// One entry of the user's field layout: which catalogue field, shown or not, how many lines.
struct LayedOutField
{
    QString name;
    bool included = false;
    qint64 lines = 1;

    bool operator==(const LayedOutField &) const = default;
};

// The preferences: raw extensions, the DNG converter, ingestion switches, custom fields and
// the field layout. One instance for the whole run (main thread only); other parts ask through
// the class-level operations. The window in ui/ binds its controls to the properties here and
// calls the operations; everything it decides that is not drawing lives in this class.
class ECPrefsController
{
public:
    // The drag type of layout rows; a drop moves rows within the layout table only.
    static constexpr const char *kDragDataType = "MyPrivateTableViewDataType";

    // Makes the one instance (once) and reads the preferences into it.
    static ECPrefsController &init();
    // The instance; made (and read) on first use when init was not called.
    static ECPrefsController &prefs();

    // The whole layout, included or not (callers test `included` themselves).
    static QList<LayedOutField> includedFields();
    static QStringList customFields();
    // Field key to rank: catalogue rows 1000, 1001, ... then laid-out fields 1, 2, ... (a
    // laid-out catalogue field takes its layout rank).
    static QMap<QString, int> fieldDict();
    // Whole-word, case-insensitive test of an extension (without its dot) against the raw list.
    static bool isRaw(const QString &extension);

    // One plain setting of the window: a check box (switch), a program path with a chooser, or
    // a line of text, shown under its section's title. A new setting of these kinds needs its
    // key in the key table and a row here; the window and the checks need nothing else.
    enum class RowKind { Switch, Program, Text };
    struct SettingRow
    {
        QString section; // the group box title; rows of one section sit together
        const Prefs::Key *key;
        RowKind kind;
        QString label; // with a mnemonic
        QString name;  // for a program: how alerts name it ("GPSBabel")
    };
    static const QList<SettingRow> &settingRows();

    // Properties the window shows and edits. Plain text and boolean keys are held by key name,
    // so keys added to the key table are read and written without code of their own here.
    QString text(const Prefs::Key &key) const;
    void setText(const Prefs::Key &key, const QString &text);
    bool switchOn(const Prefs::Key &key) const;
    void setSwitch(const Prefs::Key &key, bool on);

    QString rawFileExtensions() const { return text(Prefs::RawFileExtensions); }
    void setRawFileExtensions(const QString &t) { setText(Prefs::RawFileExtensions, t); }
    QString converterPath() const { return text(Prefs::ConverterPath); }
    void setConverterPath(const QString &path) { setText(Prefs::ConverterPath, path); }
    bool wantEmbeddedGPS() const { return switchOn(Prefs::WantEmbeddedGPS); }
    void setWantEmbeddedGPS(bool on) { setSwitch(Prefs::WantEmbeddedGPS, on); }
    bool wantEmbeddedRaw() const { return switchOn(Prefs::WantEmbeddedRaw); }
    void setWantEmbeddedRaw(bool on) { setSwitch(Prefs::WantEmbeddedRaw, on); }
    QString jpegPreview() const { return text(Prefs::JpegPreview); }
    void setJpegPreview(const QString &title) { setText(Prefs::JpegPreview, title); }
    void setCustomFields(const QStringList &keys) { m_customFields = keys; }
    QString gpsBabelPath() const { return text(Prefs::GPSBabelPath); }
    void setGPSBabelPath(const QString &path) { setText(Prefs::GPSBabelPath, path); }
    QString mapTileURL() const { return text(Prefs::MapTileURL); }
    void setMapTileURL(const QString &address) { setText(Prefs::MapTileURL, address); }
    QString mapTileAttribution() const { return text(Prefs::MapTileAttribution); }
    void setMapTileAttribution(const QString &html) { setText(Prefs::MapTileAttribution, html); }
    const QList<LayedOutField> &layedOutFields() const { return m_layedOutFields; }
    void setLayedOutFields(const QList<LayedOutField> &fields) { m_layedOutFields = fields; }

    void readPrefs();
    // Both answer false when the settings store could not be written (Defaults::lastProblem).
    bool writePrefs();
    void readLayedOutFields();
    bool writeLayedOutFields();

    // Rebuilds the catalogue, writes and re-reads the layout, then puts the included entries
    // first (each group keeps its order).
    void regroup();
    // As regroup's rebuild; a given key that names an entry is included and moved to the top.
    void reinitializeLayedOutFields(const std::optional<QString> &key = std::nullopt);

    // The field key made from a typed name: a leading "cf." (any case) dropped, blanks to
    // "_", "CF." in front. Empty for an empty name.
    static QString customFieldKeyFor(const QString &name);
    // A key as the custom-fields table shows it: without a leading "cf." in any case.
    static QString customFieldTitle(const QString &key);
    // Asks for a name and adds the field; the new key, or nullopt when nothing was added
    // (cancelled, empty, or already defined: then the alert is shown).
    std::optional<QString> addCustomField();
    // Asks for a new name for the custom field at row (the prompt shows the current one) and
    // renames it; its layout entry keeps its place, tick and lines. The new key, or nullopt.
    std::optional<QString> renameCustomField(int row);
    // Removes the custom field at row; answers the row to select (-1 for none).
    int deleteCustomField(int row);
    // Takes a whole new list of custom-field keys (already checked): fields that are new are
    // shown at the top of the layout, as the window's add does.
    void replaceCustomFields(const QStringList &keys);

    // Flips `included` of a layout row; false for a row that does not exist.
    bool toggleIncluded(int row);
    // The lines column shows a choice index: lines - 1; a chosen index stores index + 1.
    static int linesIndex(const LayedOutField &field);
    bool setLinesIndex(int row, int index);
    // Moves the layout row `from` to the drop position `to` (between rows, 0..count); answers
    // the row to select afterwards, or -1 when the move is not possible.
    int moveLayedOutField(int from, int to);
    static QByteArray archiveRows(const QList<int> &rows);
    static QList<int> unarchiveRows(const QByteArray &data);

    // The converter chooser confirmed `path`: it becomes the converter when it can be run;
    // otherwise the alert says why and nothing changes. Either way the next chooser starts there.
    bool chooseConverter(const QString &path);
    // Where the converter chooser opens: the last choice, else the converter, else home.
    QString converterChooserStart() const;
    // The text view gets the default raw list back; nothing is stored until OK.
    void revertRawFileExtensions();
    // OK: checks and normalises the values, then stores everything. False, after an alert,
    // when a value is refused (lastRefusedKey() names it) or the store can't be written.
    bool ok();
    const Prefs::Key *lastRefusedKey() const { return m_lastRefusedKey; }
    // The program a key names, as alerts call it ("DNG Converter").
    static QString programName(const Prefs::Key &key);
    // The converter chooser and the other program choosers: `path` becomes the key's program
    // when it can be run; otherwise the alert says why and nothing changes.
    bool chooseProgram(const Prefs::Key &key, const QString &path);
    // Cancel: reread the stored preferences, dropping unsaved edits.
    void cancel();
    // Whether anything differs from what is stored.
    bool isDirty() const;

private:
    ECPrefsController() = default;
    // The keys held in m_values: plain text and booleans the window edits.
    static bool heldByName(const Prefs::Key &key);
    // Stored text and switch values, custom fields and layout as they would be written.
    QVariantMap snapshot() const;
    bool refuse(const Prefs::Key &key, const QString &title, const QString &message);
    void sortCustomFields();

    QVariantMap m_values;
    QVariantMap m_stored; // snapshot() as last read or written
    const Prefs::Key *m_lastRefusedKey = nullptr;
    QStringList m_customFields;
    QList<LayedOutField> m_layedOutFields;
};
