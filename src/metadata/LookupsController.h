#pragma once

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// The five lookup tables (pattern -> replacement) that turn raw metadata values into the user's
// own texts for the "Lookup." macros, their files in the "Lookups" folder, and the data half of
// the lookup window: the table shown, its rows in display order and the window's edit
// operations. One instance, made by the preset manager, answers the class-level lookups.
// Main thread only.
class LookupsController
{
public:
    using Table = QMap<QString, QString>;

    LookupsController();
    ~LookupsController();
    LookupsController(const LookupsController &) = delete;
    LookupsController &operator=(const LookupsController &) = delete;

    // The most recently created instance, or nullptr.
    static LookupsController *sharedInstance();

    // The replacement for `value` in the table named by `field` ("TIFF.Make", any case), or
    // nullopt when there is no manager, no such table or no matching pattern. Patterns are
    // tried in display order, so the answer never depends on hashing.
    static std::optional<QString> lookupKey(const QString &value, const QString &field);
    // Whether one pattern ("nikon*", "*nikon", "*nikon*", "nikon") matches a value; both sides
    // are compared lower-cased, the value with blanks trimmed. Empty patterns match nothing.
    static bool patternMatches(const QString &pattern, const QString &value);
    // The five field names in the order of the window's pop-up.
    static QStringList lookupFields();
    // "Make.plist" for "TIFF.Make"; empty for an unknown field.
    static QString fileNameForField(const QString &field);
    // Patterns in display order: sorted ignoring case (ties broken by exact text).
    static QStringList sortedPatterns(const Table &table);

    // Sets the folder to folder + "/Lookups", creates it and reads the tables; an empty folder
    // (no application-support folder) leaves the tables empty and unsaved.
    void initializeWithPresetsFolder(const QString &presetsFolder);
    QString folder() const { return m_folder; }
    // Reads all five files; a missing or damaged file gives an empty table (a damaged one is
    // noted in the system log and set aside, not overwritten, by the next write).
    void readLookups();
    // Writes all five tables atomically; false when any could not be written (system log).
    bool writeLookups();

    // Writes one table's file (the command-line tool changes one table at a time).
    bool writeLookup(const QString &field);
    // Why the last write failed, one line per file; empty after a good write.
    const QStringList &writeProblems() const { return m_writeProblems; }
    // The files that existed but could not be read at the last read, and a message naming
    // them for the user (empty when there are none).
    QStringList damagedFiles() const;
    QString damagedMessage() const;
    // Whether a table differs from its file (as last read or written).
    bool isDirty() const;

    // The exact table name for a field named in any case, or empty.
    static QString canonicalField(const QString &field);
    // Why `pattern` can't be stored in the field's table in place of `replacing` (an existing
    // pattern, or empty for a new entry): it is empty, or another pattern equals it ignoring
    // case (the two would match the same values and one would never be used). Empty when fine.
    QString patternProblem(const QString &field, const QString &pattern,
                           const QString &replacing = QString()) const;
    // Sets one entry (a pattern that exists in exactly this spelling gets the new replacement);
    // false, with the reason in `problem`, when the pattern is refused.
    bool setEntry(const QString &field, const QString &pattern, const QString &replacement,
                  QString *problem);
    // Removes a pattern (exact spelling first, else the one equal ignoring case). False when
    // the table has no such pattern.
    bool removeEntry(const QString &field, const QString &pattern);

    // The table of a field (exact name from lookupFields()); nullptr for an unknown field.
    Table *table(const QString &field);
    const Table *table(const QString &field) const;

    // The lookup window's data. setupPanel shows the Make table.
    void setupPanel();
    // Shows a table: its patterns in display order. False (nothing changes) for an unknown one.
    bool setCurrentLookup(const QString &field);
    bool actionLookupChoice(const QString &title) { return setCurrentLookup(title); }
    QString currentLookup() const { return m_currentField; }
    const QStringList &arrayLookup() const { return m_arrayLookup; }
    int numberOfRowsInTableView() const { return static_cast<int>(m_arrayLookup.size()); }
    // Column "1" shows the pattern, any other the replacement ("" when missing).
    QString objectValue(int row, const QString &columnIdentifier) const;
    // Adds "<new key>" -> "<new value>" unless present; answers the row to start editing.
    int actionAdd();
    // Removes the selected row; answers the row to select afterwards, -1 for none.
    int actionRemove(int selectedRow);
    // One finished cell edit: column 0 renames the pattern, column 1 sets the replacement.
    // False (nothing changes) unless the row exists and the column is 0 or 1.
    bool editedRow(int row, int column, const QString &text);
    // What the table view does with a finished edit: the console line, then editedRow. A
    // pattern that is empty or that another row already has (in any case) is refused, the row
    // keeps its pattern, and refusal() holds the alert to show.
    bool cellEdited(int row, int column, const QString &text);
    struct Refusal
    {
        QString title;
        QString message;
    };
    const Refusal &refusal() const { return m_refusal; }
    // Orders the shown rows by pattern (column 0) or replacement (column 1), ignoring case.
    void sortRows(int column, bool descending);
    // OK keeps the edits (writes the files, modal code 1; 0 after an alert when they could
    // not be written, so the window stays open); Cancel re-reads them (code 0).
    int actionOK();
    int actionCancel();

    Table dictLookupLens;
    Table dictLookupSerialnumber;
    Table dictLookupExtension;
    Table dictLookupMake;
    Table dictLookupModel;

private:
    QString filePath(const QString &field) const;
    bool setAsideDamaged(const QString &path);

    QString m_folder;
    QString m_currentField;
    QStringList m_arrayLookup;
    QSet<QString> m_damaged;      // fields whose file existed but could not be read
    QMap<QString, Table> m_saved; // each table as last read or written
    QStringList m_writeProblems;
    Refusal m_refusal;
};
