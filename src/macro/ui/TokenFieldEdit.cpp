#include "macro/ui/TokenFieldEdit.h"

#include "macro/MacroProcessor.h"

#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QTextBlock>
#include <QTextObjectInterface>

namespace {

constexpr int kChipType = QTextFormat::UserObject + 17;
constexpr int kMacroProperty = QTextFormat::UserProperty + 17;
constexpr int kChipPadding = 5;
constexpr int kChipMargin = 2; // space between a chip and the text beside it
const QChar kObject = QChar::ObjectReplacementCharacter;

// The chip's label: the macro text without its "{@" and "}".
QString chipLabel(const QString &macro)
{
    QString label = macro;
    if (label.startsWith(QLatin1String("{@")))
        label.remove(0, 2);
    if (label.endsWith(QLatin1Char('}')))
        label.chop(1);
    return label;
}

bool isChip(const QTextCharFormat &format)
{
    return format.objectType() == kChipType;
}

// Draws the macro chips of one token field.
class ChipRenderer : public QObject, public QTextObjectInterface
{
    Q_OBJECT
    Q_INTERFACES(QTextObjectInterface)

public:
    explicit ChipRenderer(QTextEdit *edit) : QObject(edit), m_edit(edit) {}

    QSizeF intrinsicSize(QTextDocument *, int, const QTextFormat &format) override
    {
        const QFontMetrics metrics(m_edit->font());
        const QString label = chipLabel(format.property(kMacroProperty).toString());
        return QSizeF(metrics.horizontalAdvance(label) + 2 * (kChipPadding + kChipMargin),
                      metrics.height());
    }

    void drawObject(QPainter *painter, const QRectF &rect, QTextDocument *, int position,
                    const QTextFormat &format) override
    {
        const QTextCursor cursor = m_edit->textCursor();
        const bool selected = cursor.hasSelection() && position >= cursor.selectionStart() &&
                              position < cursor.selectionEnd();
        const QRectF chip = rect.adjusted(kChipMargin + 0.5, 1.0, -kChipMargin - 0.5, -1.0);
        QPainterPath path;
        path.addRoundedRect(chip, chip.height() / 2.0, chip.height() / 2.0);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QPalette palette = m_edit->palette();
        const QColor fill =
            selected ? palette.color(QPalette::Highlight) : QColor::fromRgb(0xd6, 0xe4, 0xf8);
        painter->fillPath(path, fill);
        painter->setPen(QPen(selected ? fill.darker(130) : QColor::fromRgb(0x7f, 0x9f, 0xd0), 1));
        painter->drawPath(path);
        painter->setPen(selected ? palette.color(QPalette::HighlightedText)
                                 : QColor::fromRgb(0x10, 0x2a, 0x52));
        painter->setFont(m_edit->font());
        painter->drawText(chip, Qt::AlignCenter,
                          chipLabel(format.property(kMacroProperty).toString()));
        painter->restore();
    }

private:
    QPointer<QTextEdit> m_edit;
};

QTextCharFormat chipFormat(const QString &macro)
{
    QTextCharFormat format;
    format.setObjectType(kChipType);
    format.setProperty(kMacroProperty, macro);
    format.setVerticalAlignment(QTextCharFormat::AlignMiddle);
    format.setToolTip(macro);
    return format;
}

// The elements between two document positions.
TokenList elementsBetween(const QTextDocument *document, int from, int to)
{
    TokenList elements;
    QString plain;
    const auto flush = [&] {
        if (!plain.isEmpty())
            elements.append(plain);
        plain.clear();
    };
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        if (block != document->begin() && block.position() > from && block.position() <= to)
            plain += QLatin1Char('\n');
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const int start = fragment.position();
            const QString text = fragment.text();
            for (int i = 0; i < text.size(); ++i) {
                const int position = start + i;
                if (position < from || position >= to)
                    continue;
                if (isChip(fragment.charFormat()) && text[i] == kObject) {
                    flush();
                    elements.append(
                        MyToken(fragment.charFormat().property(kMacroProperty).toString()));
                } else if (text[i] != kObject) {
                    plain += text[i];
                }
            }
        }
    }
    flush();
    return elements;
}

} // namespace

TokenFieldEdit::TokenFieldEdit(QWidget *parent) : QTextEdit(parent)
{
    setAcceptRichText(false);
    setTabChangesFocus(true);
    document()->documentLayout()->registerHandler(kChipType, new ChipRenderer(this));
    document()->setDocumentMargin(3);
    setSingleLine(true);
    // Text typed right after a chip must not inherit the chip's format.
    connect(this, &QTextEdit::currentCharFormatChanged, this, [this](const QTextCharFormat &f) {
        if (isChip(f))
            setCurrentCharFormat(QTextCharFormat());
    });
    connect(this, &QTextEdit::textChanged, this, [this] {
        if (m_quiet)
            return;
        if (!m_started) {
            m_started = true;
            Q_EMIT editingStarted();
        }
        chipifyTypedMacros();
        Q_EMIT textEdited();
    });
}

void TokenFieldEdit::setSingleLine(bool singleLine)
{
    m_singleLine = singleLine;
    setLineWrapMode(singleLine ? QTextEdit::NoWrap : QTextEdit::WidgetWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(singleLine ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    if (singleLine)
        setFixedHeight(sizeHint().height());
    else {
        setMinimumHeight(0);
        setMaximumHeight(QWIDGETSIZE_MAX);
    }
    updateGeometry();
}

QSize TokenFieldEdit::sizeHint() const
{
    const QFontMetrics metrics(font());
    const int frame = 2 * frameWidth() + 2 * int(document()->documentMargin());
    if (m_singleLine)
        return QSize(metrics.averageCharWidth() * 30 + frame, metrics.lineSpacing() + frame + 2);
    return QSize(metrics.averageCharWidth() * 40 + frame, metrics.lineSpacing() * 5 + frame);
}

QSize TokenFieldEdit::minimumSizeHint() const
{
    const QFontMetrics metrics(font());
    const int frame = 2 * frameWidth() + 2 * int(document()->documentMargin());
    return QSize(metrics.averageCharWidth() * 10 + frame,
                 metrics.lineSpacing() * (m_singleLine ? 1 : 2) + frame + 2);
}

QString TokenFieldEdit::text() const
{
    return MacroProcessor::tokensToString(objectValue());
}

void TokenFieldEdit::setText(const QString &text)
{
    MacroProcessor::stringToTokens(text, *this);
    m_started = false;
    moveCursor(QTextCursor::End);
}

TokenList TokenFieldEdit::objectValue() const
{
    return elementsBetween(document(), 0, document()->characterCount());
}

void TokenFieldEdit::setObjectValue(const TokenList &value)
{
    m_quiet = true;
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    cursor.setCharFormat(QTextCharFormat());
    insertElements(cursor, value);
    cursor.endEditBlock();
    m_quiet = false;
}

void TokenFieldEdit::insertElements(QTextCursor &cursor, const TokenList &elements)
{
    for (const TokenElement &element : elements) {
        if (const MyToken *token = std::get_if<MyToken>(&element)) {
            cursor.insertText(QString(kObject), chipFormat(token->name));
        } else {
            QString plain = std::get<QString>(element);
            if (m_singleLine)
                plain.replace(QLatin1Char('\n'), QLatin1Char(' '));
            cursor.insertText(plain, QTextCharFormat());
        }
    }
    cursor.setCharFormat(QTextCharFormat());
}

void TokenFieldEdit::insertMacro(const QString &name)
{
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    insertElements(cursor, {MyToken(QStringLiteral("{@%1}").arg(name))});
    cursor.endEditBlock();
    setTextCursor(cursor);
    setFocus();
}

void TokenFieldEdit::chipifyTypedMacros()
{
    // Only the plain runs are looked at, one by one: a chip is never merged with the text
    // around it.
    const TokenList current = objectValue();
    TokenList rebuilt;
    bool changed = false;
    for (const TokenElement &element : current) {
        if (isToken(element)) {
            rebuilt.append(element);
            continue;
        }
        const TokenList pieces = MacroProcessor::tokenize(std::get<QString>(element));
        for (const TokenElement &piece : pieces)
            changed = changed || isToken(piece);
        rebuilt.append(pieces);
    }
    if (!changed)
        return;
    const int offset = textOffsetOf(textCursor().position());
    setObjectValue(rebuilt);
    QTextCursor cursor = textCursor();
    cursor.setPosition(positionOfTextOffset(offset));
    setTextCursor(cursor);
}

int TokenFieldEdit::textOffsetOf(int position) const
{
    return int(MacroProcessor::tokensToString(elementsBetween(document(), 0, position)).size());
}

int TokenFieldEdit::positionOfTextOffset(int offset) const
{
    const int end = document()->characterCount() - 1;
    for (int position = 0; position <= end; ++position) {
        if (textOffsetOf(position) >= offset)
            return position;
    }
    return end;
}

void TokenFieldEdit::keyPressEvent(QKeyEvent *event)
{
    if (m_singleLine && (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)) {
        Q_EMIT returnPressed();
        // Left to the window, whose default button it may press.
        event->ignore();
        return;
    }
    QTextEdit::keyPressEvent(event);
}

QMimeData *TokenFieldEdit::createMimeDataFromSelection() const
{
    const QTextCursor cursor = textCursor();
    auto *mime = new QMimeData;
    mime->setText(MacroProcessor::tokensToString(
        elementsBetween(document(), cursor.selectionStart(), cursor.selectionEnd())));
    return mime;
}

bool TokenFieldEdit::canInsertFromMimeData(const QMimeData *source) const
{
    return source && source->hasText();
}

void TokenFieldEdit::insertFromMimeData(const QMimeData *source)
{
    if (!source || !source->hasText() || source->text().isEmpty())
        return;
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    insertElements(cursor, MacroProcessor::tokenize(source->text()));
    cursor.endEditBlock();
    setTextCursor(cursor);
}

#include "TokenFieldEdit.moc"
