#include "items/SelectionEditor.h"

#include "platform/Format.h"

#include <QSet>

#include <algorithm>

QString SelectionEditor::valueText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    return describeVariant(value);
}

QMap<QString, QString> SelectionEditor::combine(const QList<QVariantMap> &maps)
{
    QSet<QString> keys;
    for (const QVariantMap &map : maps)
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            keys.insert(it.key());

    QMap<QString, QString> combined;
    for (const QString &key : keys) {
        std::optional<QString> c;
        for (const QVariantMap &map : maps) {
            const auto found = map.constFind(key);
            if (found == map.cend()) {
                c = c ? kMixed : kNil;
            } else {
                const QString v = valueText(found.value());
                if (!c)
                    c = v;
                else if (v != *c)
                    c = kMixed;
            }
        }
        if (c)
            combined.insert(key, *c);
    }
    return combined;
}

QSet<QString> SelectionEditor::parseInclusions(const QString &inclusions)
{
    QSet<QString> filter;
    // Split at every single blank, so two blanks in a row give an empty piece, which is dropped.
    for (const QString &piece : inclusions.split(QLatin1Char(' '))) {
        const QString ext = piece.trimmed().toLower();
        if (!ext.isEmpty())
            filter.insert(ext);
    }
    return filter;
}

QString SelectionEditor::statusText(qsizetype selected, int checked, qsizetype total)
{
    return formatMessage("%lu selected     %d checked     %ld total",
                         static_cast<unsigned long>(selected), checked, static_cast<long>(total));
}

int SelectionEditor::countChecked(const ThumbItemList &items)
{
    return static_cast<int>(std::count_if(items.cbegin(), items.cend(),
                                          [](const ThumbItemPtr &i) { return i->checked; }));
}

QString SelectionEditor::extensionOf(const QString &title)
{
    const int dot = title.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : title.mid(dot + 1);
}

static QStringList sortedCaseInsensitive(const QSet<QString> &set)
{
    QStringList list(set.cbegin(), set.cend());
    std::sort(list.begin(), list.end(), [](const QString &a, const QString &b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return list;
}

QStringList SelectionEditor::extensionsOf(const ThumbItemList &items)
{
    QSet<QString> set;
    for (const ThumbItemPtr &item : items)
        set.insert(extensionOf(item->title()).toUpper());
    return sortedCaseInsensitive(set);
}

QStringList SelectionEditor::datesOf(const ThumbItemList &items)
{
    QSet<QString> set;
    for (const ThumbItemPtr &item : items) {
        const QString mod = item->modTime();
        if (mod.size() >= 10)
            set.insert(mod.left(10));
    }
    return sortedCaseInsensitive(set);
}

QList<int> SelectionEditor::indexesWithExtension(const ThumbItemList &items, const QString &ext)
{
    QList<int> rows;
    for (int i = 0; i < items.size(); ++i)
        if (extensionOf(items[i]->title()).toUpper() == ext)
            rows.append(i);
    return rows;
}

QList<int> SelectionEditor::indexesOfDate(const ThumbItemList &items, const QString &day)
{
    QList<int> rows;
    for (int i = 0; i < items.size(); ++i)
        if (items[i]->modTime().startsWith(day))
            rows.append(i);
    return rows;
}

void SelectionEditor::checkAll(const ThumbItemList &items)
{
    for (const ThumbItemPtr &item : items)
        if (!item->excluded)
            item->checked = true;
}

void SelectionEditor::checkNone(const ThumbItemList &items)
{
    for (const ThumbItemPtr &item : items)
        item->checked = false;
}

bool SelectionEditor::tickClick(const ThumbItemList &items, int row, const QList<int> &selection)
{
    if (row < 0 || row >= items.size() || items[row]->excluded)
        return false;
    const bool value = !items[row]->checked;
    items[row]->checked = value;
    if (selection.contains(row)) {
        for (int i : selection)
            if (i >= 0 && i < items.size() && !items[i]->excluded)
                items[i]->checked = value;
    }
    return true;
}

void SelectionEditor::showMetadata(const ThumbItemList &items, const QList<int> &selection,
                                   const QVariantMap &presetMetadata)
{
    QList<QVariantMap> maps;
    for (int i : selection) {
        if (i >= 0 && i < items.size() && items[i]->metadataUser)
            maps.append(*items[i]->metadataUser);
        else
            maps.append(QVariantMap());
    }
    m_combined = combine(maps);
    m_presetFilled.clear();
    if (!selection.isEmpty()) {
        for (auto it = presetMetadata.cbegin(); it != presetMetadata.cend(); ++it) {
            if (m_combined.value(it.key()).isEmpty()) {
                m_combined[it.key()] = valueText(it.value());
                m_presetFilled.insert(it.key());
            }
        }
    }
    m_captionNew.reset();
    m_keywordsNew.reset();
    m_captionTicked = false;
}

QString SelectionEditor::captionEffective() const
{
    if (m_captionNew && !m_captionNew->isEmpty())
        return *m_captionNew;
    return m_combined.value(kCaptionKey);
}

QString SelectionEditor::keywordsEffective() const
{
    if (m_keywordsNew && !m_keywordsNew->isEmpty())
        return *m_keywordsNew;
    return m_combined.value(kKeywordsKey);
}

void SelectionEditor::textDidBeginEditing()
{
    m_didBeginEditing = true;
    m_dirty = true;
}

std::pair<QString, QString> SelectionEditor::textDidEndEditing(const QString &caption,
                                                               const QString &keywords,
                                                               const QVariantMap &presetMetadata)
{
    if (!m_didBeginEditing)
        return {caption, keywords};
    m_captionTicked = true;
    m_captionNew = caption.isEmpty() ? valueText(presetMetadata.value(kCaptionKey)) : caption;
    m_keywordsNew = keywords.isEmpty() ? valueText(presetMetadata.value(kKeywordsKey)) : keywords;
    m_didBeginEditing = false;
    return {*m_captionNew, *m_keywordsNew};
}

bool SelectionEditor::isDirty(bool tableChanged) const
{
    if (!m_wasLaunched)
        return false;
    return m_dirty || tableChanged || m_captionTicked;
}

QList<MetadataEditRow> SelectionEditor::metadataToArray(const QList<MetadataEditRow> &tableRows,
                                                        const QString &captionText,
                                                        const QString &keywordsText)
{
    QList<MetadataEditRow> rows = tableRows;
    rows.append(MetadataEditRow{kCaptionKey, std::nullopt, captionText, true, true});
    rows.append(MetadataEditRow{kKeywordsKey, std::nullopt, keywordsText, true, true});
    QList<MetadataEditRow> result;
    for (const MetadataEditRow &row : rows)
        if (row.valEffective() != kMixed)
            result.append(row);
    return result;
}

bool SelectionEditor::updateSelectedImages(const ThumbItemList &items,
                                           const QList<MetadataEditRow> &tableRows,
                                           const QString &captionText, const QString &keywordsText,
                                           const QVariantMap &presetMetadata, bool tableChanged)
{
    if (!isDirty(tableChanged))
        return false;
    const QList<MetadataEditRow> rows = metadataToArray(tableRows, captionText, keywordsText);
    for (int i : m_selectedImages) {
        if (i < 0 || i >= items.size())
            continue;
        ThumbItem &item = *items[i];
        if (!item.metadataUser)
            item.metadataUser = QVariantMap();
        for (const MetadataEditRow &row : rows) {
            const QString value = row.valEffective();
            // A value equal to the preset's default is no user value at all, and neither is an
            // empty one: an emptied field falls back to the preset, it never blanks the
            // preset's text in silence. No value at all is the explicit marker
            // UserValues::kNoValue.
            if (value.isEmpty() || (presetMetadata.contains(row.tag) &&
                                    value == valueText(presetMetadata.value(row.tag))))
                item.metadataUser->remove(row.tag);
            else
                item.metadataUser->insert(row.tag, value);
        }
    }
    m_dirty = false;
    return true;
}
