#pragma once
// Drives the metadata table as a person does: finds a tag's row, reads what its value cell
// shows, and types into the cell's own editor.
#include "metadata/ui/ExifTableView.h"
#include "support/WindowTestSupport.h"

#include <QLineEdit>
#include <QtTest>

inline int tableRowOf(ExifTableView &table, const QString &tag)
{
    const MetadataList rows = table.exifModel()->rows();
    for (int r = 0; r < rows.size(); ++r) {
        if (rows[r]->tag == tag)
            return r;
    }
    return -1;
}

inline QString tableValue(ExifTableView &table, const QString &tag)
{
    return table.exifModel()
        ->index(tableRowOf(table, tag), ExifTableModel::ColumnValue)
        .data()
        .toString();
}

// Opens the editor of the tag's value cell: a QLineEdit, or a QPlainTextEdit for several lines.
template <typename Editor> Editor *editTableCell(ExifTableView &table, const QString &tag)
{
    settleEditors();
    const QModelIndex cell =
        table.exifModel()->index(tableRowOf(table, tag), ExifTableModel::ColumnValue);
    table.setCurrentIndex(cell);
    table.edit(cell);
    return table.findChild<Editor *>(QStringLiteral("valueEditor"));
}

// Types `text` over a one-line value (an empty one deletes it) and, with `commit`, ends the
// entry with Return; without, the editor stays open.
inline void typeInTableCell(ExifTableView &table, const QString &tag, const QString &text,
                            bool commit = true)
{
    auto *editor = editTableCell<QLineEdit>(table, tag);
    QVERIFY(editor);
    editor->selectAll();
    if (text.isEmpty())
        QTest::keyClick(editor, Qt::Key_Delete);
    else
        QTest::keyClicks(editor, text);
    if (commit) {
        QTest::keyClick(editor, Qt::Key_Return);
        settleEditors();
    }
}
