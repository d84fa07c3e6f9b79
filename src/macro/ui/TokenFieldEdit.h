#pragma once

#include "macro/MyToken.h"

#include <QTextEdit>

// A token field: macro text shown as one rounded chip per macro with the literal text between
// them as plain text. Typed text stays text until it completes a macro ("{@...}"), which then
// becomes a chip; a macro chosen from the catalogue menu is inserted at the cursor; copying
// gives the macro text and pasting macro text gives chips again. Single-line by default (Return
// ends the entry), multi-line on request.
class TokenFieldEdit : public QTextEdit, public TokenField
{
    Q_OBJECT

public:
    explicit TokenFieldEdit(QWidget *parent = nullptr);

    // The whole macro text, and setting it (tokenized as the macro language does).
    QString text() const;
    void setText(const QString &text);
    // Inserts the chip "{@NAME}" at the cursor (replacing a selection).
    void insertMacro(const QString &name);

    void setSingleLine(bool singleLine);
    bool isSingleLine() const { return m_singleLine; }

    // TokenField: the value as macro tokens and plain strings, in order.
    TokenList objectValue() const override;
    void setObjectValue(const TokenList &value) override;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // The user began changing the text (first edit since the text was last set).
    void editingStarted();
    // The user changed the text.
    void textEdited();
    void returnPressed();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    QMimeData *createMimeDataFromSelection() const override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;

private:
    void insertElements(QTextCursor &cursor, const TokenList &elements);
    void chipifyTypedMacros();
    // The text offset (chips counting as their whole macro text) of a document position.
    int textOffsetOf(int position) const;
    int positionOfTextOffset(int offset) const;

    bool m_singleLine = true;
    bool m_quiet = false;
    bool m_started = false;
};
