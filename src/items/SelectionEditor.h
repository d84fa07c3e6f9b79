#pragma once

#include "items/ThumbItem.h"

#include <QList>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <optional>

// One editable field row as the main window commits it: the field key, the value shown, the
// value typed by the user (when any) and whether the user changed it.
struct MetadataEditRow
{
    QString tag;
    std::optional<QString> val;
    std::optional<QString> valNew;
    bool change = false;
    bool changeable = true;

    // valNew when present, else val (a row without any value reads as the empty text).
    QString valEffective() const { return valNew ? *valNew : val.value_or(QString()); }
};

// The deciding half of the main window between choosing and ingesting: the combined values of
// the selection, the pending caption and keyword edits, the commit of those edits into the
// selected items, the extension and day lists, the status line and the file-type filter. The
// window shows what this class answers and forwards the user's actions to it. Main thread only.
class SelectionEditor
{
public:
    static inline const QString kMixed = QStringLiteral("<mixed>");
    static inline const QString kNil = QStringLiteral("<nil>");
    static inline const QString kCaptionKey = QStringLiteral("IPTC.Caption/Abstract");
    static inline const QString kKeywordsKey = QStringLiteral("IPTC.Keywords");

    // One value per key over the maps in order: equal everywhere shows the value, any
    // difference or absence shows "<mixed>".
    static QMap<QString, QString> combine(const QList<QVariantMap> &maps);
    // The text a stored value compares and shows as.
    static QString valueText(const QVariant &value);

    // Parses a preset's "Inclusions" text into lower-case extensions; blanks separate them.
    static QSet<QString> parseInclusions(const QString &inclusions);
    // "%lu selected     %d checked     %ld total"
    static QString statusText(qsizetype selected, int checked, qsizetype total);
    static int countChecked(const ThumbItemList &items);

    // The distinct upper-case extensions and days ("yyyy-MM-dd") of the items, sorted.
    static QStringList extensionsOf(const ThumbItemList &items);
    static QStringList datesOf(const ThumbItemList &items);
    static QString extensionOf(const QString &title);
    // Positions of the items with that extension / of that day.
    static QList<int> indexesWithExtension(const ThumbItemList &items, const QString &ext);
    static QList<int> indexesOfDate(const ThumbItemList &items, const QString &day);

    // Ticks every item that is not excluded / unticks every item.
    static void checkAll(const ThumbItemList &items);
    static void checkNone(const ThumbItemList &items);
    // A click on a cell's tick badge: flips the item (unless excluded) and, when the cell is
    // selected, gives every selected item that is not excluded the same value. Answers whether
    // anything changed.
    static bool tickClick(const ThumbItemList &items, int row, const QList<int> &selection);

    // The selection has changed to `selection` (ascending positions): fills the combined
    // values from the items' user metadata plus the preset's defaults, and forgets the
    // pending caption and keywords.
    void showMetadata(const ThumbItemList &items, const QList<int> &selection,
                      const QVariantMap &presetMetadata);
    const QMap<QString, QString> &combinedMetadata() const { return m_combined; }
    // The keys whose combined value is the preset's (no selected image has a value of its own).
    const QSet<QString> &presetFilledKeys() const { return m_presetFilled; }
    void setCombinedValue(const QString &key, const QString &value) { m_combined[key] = value; }

    QString captionEffective() const;
    QString keywordsEffective() const;

    // A caption or keywords edit has begun.
    void textDidBeginEditing();
    // The edit has ended with these view texts; an emptied view takes the preset's default.
    // Answers the texts the views should show now. Nothing happens without a begun edit.
    std::pair<QString, QString> textDidEndEditing(const QString &caption, const QString &keywords,
                                                  const QVariantMap &presetMetadata);

    bool captionTicked() const { return m_captionTicked; }
    void setCaptionTicked(bool on) { m_captionTicked = on; }
    void setDirty(bool dirty) { m_dirty = dirty; }
    bool didBeginEditing() const { return m_didBeginEditing; }
    void setWasLaunched(bool launched) { m_wasLaunched = launched; }
    bool wasLaunched() const { return m_wasLaunched; }
    bool isDirty(bool tableChanged) const;

    // The table's rows plus the caption and keywords rows, without the "<mixed>" ones.
    static QList<MetadataEditRow> metadataToArray(const QList<MetadataEditRow> &tableRows,
                                                  const QString &captionText,
                                                  const QString &keywordsText);
    // Commits the pending edits to the items at `selectedImages` (when dirty); clears dirty.
    // Answers whether a commit happened.
    bool updateSelectedImages(const ThumbItemList &items, const QList<MetadataEditRow> &tableRows,
                              const QString &captionText, const QString &keywordsText,
                              const QVariantMap &presetMetadata, bool tableChanged);

    const QList<int> &selectedImages() const { return m_selectedImages; }
    void setSelectedImages(const QList<int> &selection) { m_selectedImages = selection; }

private:
    QMap<QString, QString> m_combined;
    QSet<QString> m_presetFilled;
    std::optional<QString> m_captionNew;
    std::optional<QString> m_keywordsNew;
    QList<int> m_selectedImages;
    bool m_dirty = false;
    bool m_didBeginEditing = false;
    bool m_captionTicked = false;
    bool m_wasLaunched = false;
};
