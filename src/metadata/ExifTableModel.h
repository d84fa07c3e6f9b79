#pragma once

#include "metadata/ECPrefsController.h"
#include "metadata/Metadata.h"

#include <QAbstractTableModel>
#include <QMap>
#include <QSet>
#include <QVariantMap>

// The data half of the metadata editing table: one Metadata row per field, ordered by the
// field grouping, with the change tick, the field's name, its value and a column for the row's
// editor button. It serves the main window (the combined values of the selected images) and the
// preset window (the preset's "Metadata"). Every rule of the table lives here; the widget in
// ui/ only draws the rows and opens the editors. Main thread only.
class ExifTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { ColumnChange = 0, ColumnName = 1, ColumnValue = 2, ColumnControl = 3 };
    enum Role { TagRole = Qt::UserRole + 1, OriginRole, LinesRole, KindRole, WrapsRole };
    // Where a row's value comes from, so the cell can say so.
    enum class Origin { Own, Preset, NoValue, Mixed };

    explicit ExifTableModel(QObject *parent = nullptr);

    // Rebuilds the rows from `values` (field key to value). Keys of `tagTable` are changeable.
    // With `filtered` only fields the layout includes are shown. `presetFilled` names the keys
    // whose value is the preset's rather than the images' own.
    void showMetadata(const QVariantMap &values, const QSet<QString> &tagTable, bool filtered,
                      const QSet<QString> &presetFilled = {});
    const MetadataList &rows() const { return m_data; }
    // Whether any row has its change tick set.
    bool dirty() const;
    MetadataPtr metadataForTag(const QString &key) const;
    // That row gets the value and the tick; a key without a row changes nothing.
    void updateTag(const QString &key, const QString &value);
    void clearChangeCheckboxes();
    // Flips the row's tick; unticking drops the typed value.
    void clicked(int row);

    // Typing into the value cell.
    bool canBeginTyping(int row) const;
    void beginTyping(int row);
    // Typing ended with `text`. A non-empty text becomes the row's new value. An empty text
    // means the preset's value in the main window and an empty value in the preset window.
    // A value the field cannot take is refused with an alert: false, nothing changes.
    bool endTyping(int row, const QString &text);
    // The row's editor (macro editor or time-zone chooser) answered `value`.
    bool editedInDialog(int row, const QString &value);
    // "No value": for the images of the main window no value at all, the preset's text is not
    // used either; in the preset window an empty text.
    void clearValue(int row);
    // Back to the preset's value (main window).
    void usePresetValue(int row);

    Origin originOf(int row) const;
    qint64 linesFor(const QString &tag) const;
    bool wraps(const QString &tag) const;

    void setSkipCaptionAndKeywords(bool skip) { m_skipCaptionAndKeywords = skip; }
    void setEditable(bool editable) { m_isEditable = editable; }
    bool isEditable() const { return m_isEditable; }
    // Main window: an emptied cell takes the preset's value and "no value" is a marker.
    void setEmptyMeansPreset(bool on) { m_emptyMeansPreset = on; }
    bool emptyMeansPreset() const { return m_emptyMeansPreset; }
    // The current preset's "Metadata", the source of the preset's values.
    void setPresetMetadata(const QVariantMap &metadata) { m_presetMetadata = metadata; }
    // With a chooser the time zone is set through it only, never typed.
    void setTimeZoneTypedAllowed(bool allowed) { m_timeZoneTyped = allowed; }

    // The group a key sorts in (rank + 30000 for ranked fields, fixed groups for the others).
    static int groupNumber(const QString &key, const QMap<QString, int> &fieldDict);
    // The name column's text for a key.
    static QString displayName(const QString &tag);
    // The text a cell shows for a value.
    static QString valueText(const QVariant &value);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // Typing began in a value cell.
    void didBeginEditing();
    // A row was set through its editor window.
    void didEditInTokenField();
    // Any row's value or tick changed.
    void rowEdited(const QString &tag);

private:
    bool validRow(int row) const { return row >= 0 && row < m_data.size(); }
    void rowChanged(int row);
    QString presetValue(const QString &tag) const;

    MetadataList m_data;
    QMap<QString, int> m_fieldDict;
    QList<LayedOutField> m_layout;
    QVariantMap m_presetMetadata;
    QSet<QString> m_presetFilled; // as shown
    QSet<QString> m_presetOrigin; // as edited since
    bool m_skipCaptionAndKeywords = false;
    bool m_isEditable = true;
    bool m_emptyMeansPreset = false;
    bool m_timeZoneTyped = true;
};
