#pragma once

#include "metadata/ExifTableModel.h"

#include <QTableView>

#include <functional>
#include <optional>

// The metadata editing table: a change tick, the field's name, its value and an editor button
// per row, over an ExifTableModel. Values are typed in place (a one-line entry, a multi-line
// one for fields laid out with several lines, a checked date entry, a checked time-zone entry
// until a chooser is provided); the button opens the macro editor, or the time-zone chooser for
// "TimeZone". The row's context menu also offers the preset's value and "no value".
class ExifTableView : public QTableView
{
    Q_OBJECT

public:
    explicit ExifTableView(QWidget *parent = nullptr);

    ExifTableModel *exifModel() const { return m_model; }

    // Rebuilds the rows (see ExifTableModel::showMetadata) and sizes them by the field layout.
    void showMetadata(const QVariantMap &values, const QSet<QString> &tagTable, bool filtered,
                      const QSet<QString> &presetFilled = {});

    // The time-zone chooser the "TimeZone" row opens: the chosen value, or nullopt when
    // cancelled. Without one the zone is typed and checked against the time-zone database.
    using TimeZoneChooser = std::function<std::optional<QString>(QWidget *parent)>;
    void setTimeZoneChooser(TimeZoneChooser chooser);
    bool hasTimeZoneChooser() const { return bool(m_timeZoneChooser); }

    // Replaces the macro editor window (tests): the text on Set, nullopt on Cancel.
    using MacroEditor = std::function<std::optional<QString>(QWidget *parent, const QString &tag,
                                                             const QString &text)>;
    static void setMacroEditor(MacroEditor editor);

    // Edits a row through its window: the time-zone chooser or the macro editor.
    void editRow(int row);
    // The row's context menu (also used by tests to reach its actions).
    QMenu *makeContextMenu(int row);
    // The editor button of a row, when it has one.
    QWidget *editButton(int row) const;

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void layoutRows();
    void fitColumns();

    ExifTableModel *m_model;
    TimeZoneChooser m_timeZoneChooser;
};
