#pragma once

#include <QDialog>

#include <functional>
#include <optional>

class MacroMenuButton;
class QLabel;
class QPushButton;
class TokenFieldEdit;

// The macro editor: one field's macro text as tokens, with the catalogue pop-up, Set and
// Cancel. Set answers the text, Cancel nothing; the caller decides what the text changes.
class MacroEditorWindow : public QDialog
{
    Q_OBJECT

public:
    explicit MacroEditorWindow(QWidget *parent = nullptr);

    // Shows `text` for the field `tag`, cursor at the end.
    void setup(const QString &tag, const QString &text);
    QString text() const;
    TokenFieldEdit *tokenField() const { return m_tokenField; }

    // Runs the editor modally for one field: the text on Set, nullopt on Cancel.
    static std::optional<QString> edit(QWidget *parent, const QString &tag, const QString &text);

Q_SIGNALS:
    // Typing began in the token field.
    void editingStarted();

public Q_SLOTS:
    void actionSet();
    void actionCancel();

private:
    QLabel *m_label = nullptr;
    TokenFieldEdit *m_tokenField = nullptr;
    MacroMenuButton *m_popupButtonFields = nullptr;
};
