#include "metadata/ui/ExifTableView.h"

#include "geo/TimeZoneChooserController.h"
#include "macro/ui/MacroEditorWindow.h"
#include "metadata/FieldValues.h"

#include <QCalendarWidget>
#include <QCompleter>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolButton>
#include <QWidgetAction>

namespace {

ExifTableView::MacroEditor g_macroEditor;

using Origin = ExifTableModel::Origin;
using Kind = FieldValues::Kind;

// The value column's editors, one kind per field, and the look of values that are not the
// images' own (the preset's, none at all, differing).
class ValueDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &,
                          const QModelIndex &index) const override
    {
        auto *model =
            const_cast<ExifTableModel *>(static_cast<const ExifTableModel *>(index.model()));
        model->beginTyping(index.row());
        const auto kind = Kind(index.data(ExifTableModel::KindRole).toInt());
        if (kind == Kind::MultiLine) {
            auto *editor = new QPlainTextEdit(parent);
            editor->setObjectName(QStringLiteral("valueEditor"));
            editor->setTabChangesFocus(true);
            editor->installEventFilter(const_cast<ValueDelegate *>(this));
            return editor;
        }
        auto *editor = new QLineEdit(parent);
        editor->setObjectName(QStringLiteral("valueEditor"));
        editor->setFrame(false);
        if (kind == Kind::TimeZone) {
            QStringList names = TimeZoneChooserController::knownZoneNames();
            auto *completer = new QCompleter(names, editor);
            completer->setCaseSensitivity(Qt::CaseInsensitive);
            completer->setFilterMode(Qt::MatchContains);
            editor->setCompleter(completer);
            editor->setPlaceholderText(QStringLiteral("Europe/Berlin, optionally followed by DST"));
        } else if (kind == Kind::Date) {
            editor->setPlaceholderText(QStringLiteral("YYYY-MM-DD"));
            QAction *pick =
                editor->addAction(editor->style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                                  QLineEdit::TrailingPosition);
            pick->setToolTip(QStringLiteral("Pick a date"));
            QObject::connect(pick, &QAction::triggered, editor, [editor] {
                auto *menu = new QMenu(editor);
                menu->setAttribute(Qt::WA_DeleteOnClose);
                auto *calendar = new QCalendarWidget(menu);
                const QDate typed = QDate::fromString(editor->text().left(10), Qt::ISODate);
                if (typed.isValid())
                    calendar->setSelectedDate(typed);
                auto *action = new QWidgetAction(menu);
                action->setDefaultWidget(calendar);
                menu->addAction(action);
                QObject::connect(calendar, &QCalendarWidget::activated, menu,
                                 [editor, menu](const QDate &date) {
                                     editor->setText(date.toString(Qt::ISODate));
                                     menu->close();
                                 });
                menu->popup(editor->mapToGlobal(QPoint(editor->width() - 20, editor->height())));
            });
        }
        return editor;
    }

    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        const QString text = index.data(Qt::EditRole).toString();
        if (auto *plain = qobject_cast<QPlainTextEdit *>(editor)) {
            plain->setPlainText(text);
            plain->moveCursor(QTextCursor::End);
        } else if (auto *line = qobject_cast<QLineEdit *>(editor)) {
            line->setText(text);
        }
    }

    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override
    {
        if (auto *plain = qobject_cast<QPlainTextEdit *>(editor))
            model->setData(index, plain->toPlainText(), Qt::EditRole);
        else if (auto *line = qobject_cast<QLineEdit *>(editor))
            model->setData(index, line->text(), Qt::EditRole);
    }

    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &) const override
    {
        editor->setGeometry(option.rect);
    }

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() != ExifTableModel::ColumnValue)
            return;
        const auto origin = Origin(index.data(ExifTableModel::OriginRole).toInt());
        if (origin != Origin::Own) {
            option->font.setItalic(true);
            option->palette.setColor(QPalette::Text,
                                     option->palette.color(QPalette::PlaceholderText));
        }
        if (!index.data(ExifTableModel::WrapsRole).toBool())
            option->features &= ~QStyleOptionViewItem::WrapText;
        // A row of several lines reads from its top, like the text it holds.
        if (index.data(ExifTableModel::LinesRole).toInt() > 1)
            option->displayAlignment = Qt::AlignLeft | Qt::AlignTop;
    }

    bool eventFilter(QObject *object, QEvent *event) override
    {
        // In a multi-line cell Return ends the entry; Shift+Return starts a new line.
        if (auto *plain = qobject_cast<QPlainTextEdit *>(object);
            plain && event->type() == QEvent::KeyPress) {
            auto *key = static_cast<QKeyEvent *>(event);
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                !(key->modifiers() & Qt::ShiftModifier)) {
                Q_EMIT const_cast<ValueDelegate *>(this)->commitData(plain);
                Q_EMIT const_cast<ValueDelegate *>(this)->closeEditor(plain);
                return true;
            }
        }
        return QStyledItemDelegate::eventFilter(object, event);
    }
};

} // namespace

ExifTableView::ExifTableView(QWidget *parent)
    : QTableView(parent), m_model(new ExifTableModel(this))
{
    setObjectName(QStringLiteral("exifTable"));
    setModel(m_model);
    setItemDelegateForColumn(ExifTableModel::ColumnValue, new ValueDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    setWordWrap(true);
    setAlternatingRowColors(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(ExifTableModel::ColumnChange, QHeaderView::Fixed);
    horizontalHeader()->setSectionResizeMode(ExifTableModel::ColumnName, QHeaderView::Interactive);
    horizontalHeader()->setSectionResizeMode(ExifTableModel::ColumnValue, QHeaderView::Stretch);
    horizontalHeader()->setSectionResizeMode(ExifTableModel::ColumnControl, QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    setColumnWidth(ExifTableModel::ColumnChange, 34);
    setColumnWidth(ExifTableModel::ColumnControl, 30);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTabKeyNavigation(false);
    connect(m_model, &QAbstractItemModel::modelReset, this, &ExifTableView::layoutRows);
}

void ExifTableView::setMacroEditor(MacroEditor editor)
{
    g_macroEditor = std::move(editor);
}

void ExifTableView::setTimeZoneChooser(TimeZoneChooser chooser)
{
    m_timeZoneChooser = std::move(chooser);
    m_model->setTimeZoneTypedAllowed(!m_timeZoneChooser);
}

void ExifTableView::showMetadata(const QVariantMap &values, const QSet<QString> &tagTable,
                                 bool filtered, const QSet<QString> &presetFilled)
{
    m_model->showMetadata(values, tagTable, filtered, presetFilled);
}

void ExifTableView::layoutRows()
{
    const int line = fontMetrics().lineSpacing();
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const qint64 lines = m_model->linesFor(m_model->rows()[row]->tag);
        setRowHeight(row, int(lines) * line + 8);
        const QModelIndex control = m_model->index(row, ExifTableModel::ColumnControl);
        if (!(m_model->flags(control) & Qt::ItemIsEnabled))
            continue;
        auto *button = new QToolButton(this);
        const QString tag = m_model->rows()[row]->tag;
        button->setObjectName(QStringLiteral("editButton:") + tag);
        button->setText(QStringLiteral("…"));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolTip(tag == FieldValues::kTimeZoneKey && m_timeZoneChooser
                               ? QStringLiteral("Choose a time zone")
                               : QStringLiteral("Edit with macros"));
        connect(button, &QToolButton::clicked, this, [this, tag] {
            for (int r = 0; r < m_model->rowCount(); ++r) {
                if (m_model->rows()[r]->tag == tag) {
                    selectRow(r);
                    editRow(r);
                    return;
                }
            }
        });
        setIndexWidget(control, button);
    }
    fitColumns();
}

void ExifTableView::fitColumns()
{
    resizeColumnToContents(ExifTableModel::ColumnName);
    const int available = viewport()->width() - columnWidth(ExifTableModel::ColumnChange) -
                          columnWidth(ExifTableModel::ColumnControl);
    // The name column never takes more than half of the table.
    if (columnWidth(ExifTableModel::ColumnName) > available / 2)
        setColumnWidth(ExifTableModel::ColumnName, std::max(80, available / 2));
}

void ExifTableView::resizeEvent(QResizeEvent *event)
{
    QTableView::resizeEvent(event);
    fitColumns();
}

QWidget *ExifTableView::editButton(int row) const
{
    return indexWidget(m_model->index(row, ExifTableModel::ColumnControl));
}

void ExifTableView::editRow(int row)
{
    if (row < 0 || row >= m_model->rowCount() || !m_model->isEditable())
        return;
    const QString tag = m_model->rows()[row]->tag;
    if (tag == FieldValues::kTimeZoneKey) {
        if (!m_timeZoneChooser) {
            edit(m_model->index(row, ExifTableModel::ColumnValue));
            return;
        }
        const std::optional<QString> zone = m_timeZoneChooser(window());
        if (zone && !zone->isEmpty())
            m_model->editedInDialog(row, *zone);
        return;
    }
    const QString text = ExifTableModel::valueText(m_model->rows()[row]->valEffective());
    const std::optional<QString> edited = g_macroEditor
                                              ? g_macroEditor(window(), tag, text)
                                              : MacroEditorWindow::edit(window(), tag, text);
    if (edited)
        m_model->editedInDialog(row, *edited);
}

QMenu *ExifTableView::makeContextMenu(int row)
{
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("exifTableMenu"));
    if (row < 0 || row >= m_model->rowCount() || !m_model->isEditable())
        return menu;
    const MetadataPtr field = m_model->rows()[row];
    const bool zone = field->tag == FieldValues::kTimeZoneKey;
    QAction *edit =
        menu->addAction(zone && m_timeZoneChooser ? QStringLiteral("Choose Time Zone...")
                        : zone                    ? QStringLiteral("Type Time Zone")
                                                  : QStringLiteral("Edit with Macros..."));
    edit->setObjectName(QStringLiteral("actionEditRow"));
    connect(edit, &QAction::triggered, this, [this, row] { editRow(row); });
    if (m_model->emptyMeansPreset()) {
        QAction *preset = menu->addAction(QStringLiteral("Use the Preset's Value"));
        preset->setObjectName(QStringLiteral("actionUsePresetValue"));
        connect(preset, &QAction::triggered, this, [this, row] { m_model->usePresetValue(row); });
        QAction *none = menu->addAction(QStringLiteral("No Value for These Images"));
        none->setObjectName(QStringLiteral("actionNoValue"));
        connect(none, &QAction::triggered, this, [this, row] { m_model->clearValue(row); });
    } else {
        QAction *clear = menu->addAction(QStringLiteral("Clear"));
        clear->setObjectName(QStringLiteral("actionNoValue"));
        connect(clear, &QAction::triggered, this, [this, row] { m_model->clearValue(row); });
    }
    if (field->change && field->changeable) {
        menu->addSeparator();
        QAction *discard = menu->addAction(QStringLiteral("Discard Change"));
        discard->setObjectName(QStringLiteral("actionDiscardChange"));
        connect(discard, &QAction::triggered, this, [this, row] { m_model->clicked(row); });
    }
    return menu;
}

void ExifTableView::contextMenuEvent(QContextMenuEvent *event)
{
    const QModelIndex index = indexAt(event->pos());
    if (!index.isValid())
        return;
    selectRow(index.row());
    QMenu *menu = makeContextMenu(index.row());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}
