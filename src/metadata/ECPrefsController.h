#pragma once

#include "metadata/Prefs.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QValidator>
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

    // Properties the window shows and edits.
    QString rawFileExtensions() const { return m_rawFileExtensions; }
    void setRawFileExtensions(const QString &text) { m_rawFileExtensions = text; }
    QString converterPath() const { return m_converterPath; }
    void setConverterPath(const QString &path) { m_converterPath = path; }
    bool wantEmbeddedGPS() const { return m_wantEmbeddedGPS; }
    void setWantEmbeddedGPS(bool on) { m_wantEmbeddedGPS = on; }
    bool wantEmbeddedRaw() const { return m_wantEmbeddedRaw; }
    void setWantEmbeddedRaw(bool on) { m_wantEmbeddedRaw = on; }
    // Copies are read back and compared with their sources by hash before they are placed.
    bool verifyCopies() const { return m_verifyCopies; }
    void setVerifyCopies(bool on) { m_verifyCopies = on; }
    QString jpegPreview() const { return m_jpegPreview; }
    void setJpegPreview(const QString &title) { m_jpegPreview = title; }
    void setCustomFields(const QStringList &keys) { m_customFields = keys; }
    const QList<LayedOutField> &layedOutFields() const { return m_layedOutFields; }
    void setLayedOutFields(const QList<LayedOutField> &fields) { m_layedOutFields = fields; }

    void readPrefs();
    void writePrefs();
    void readLayedOutFields();
    void writeLayedOutFields();

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
    // Removes the custom field at row; answers the row to select (-1 for none).
    int deleteCustomField(int row);

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

    // The converter chooser confirmed `path`.
    void chooseConverter(const QString &path);
    // The text view gets the default raw list back; nothing is stored until OK.
    void revertRawFileExtensions();
    // OK: store everything. Cancel: reread the stored preferences, dropping unsaved edits.
    void ok();
    void cancel();

private:
    ECPrefsController() = default;

    QString m_rawFileExtensions;
    QString m_converterPath;
    bool m_wantEmbeddedGPS = true;
    bool m_wantEmbeddedRaw = false;
    bool m_verifyCopies = true;
    QString m_jpegPreview;
    QStringList m_customFields;
    QList<LayedOutField> m_layedOutFields;
};

// Accepts the text of a signed whole number as it is typed: empty, or an optional leading "-"
// followed by digits only (a lone "-" is accepted).
class NumberFormatterNumericOnly : public QValidator
{
    Q_OBJECT
public:
    using QValidator::QValidator;
    static bool isPartialStringValid(const QString &text);
    State validate(QString &input, int &pos) const override;
};
