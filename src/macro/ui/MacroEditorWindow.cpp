#include "macro/ui/MacroEditorWindow.h"

#include "macro/ui/MacroMenu.h"
#include "macro/ui/TokenFieldEdit.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

MacroEditorWindow::MacroEditorWindow(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("MacroEditorController"));
    setWindowTitle(QStringLiteral("Macro Editor"));
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("labelField"));
    m_tokenField = new TokenFieldEdit(this);
    m_tokenField->setObjectName(QStringLiteral("tokenField"));
    m_tokenField->setSingleLine(false);
    m_label->setBuddy(m_tokenField);
    m_popupButtonFields = new MacroMenuButton(m_tokenField, this);
    m_popupButtonFields->setObjectName(QStringLiteral("popupButtonFields"));
    m_popupButtonFields->setText(QStringLiteral("&Insert Macro"));
    connect(m_tokenField, &TokenFieldEdit::editingStarted, this,
            &MacroEditorWindow::editingStarted);

    auto *buttons = new QDialogButtonBox(this);
    QPushButton *set = buttons->addButton(QStringLiteral("&Set"), QDialogButtonBox::AcceptRole);
    set->setObjectName(QStringLiteral("buttonSet"));
    set->setDefault(true);
    QPushButton *cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("buttonCancel"));
    connect(set, &QPushButton::clicked, this, &MacroEditorWindow::actionSet);
    connect(cancel, &QPushButton::clicked, this, &MacroEditorWindow::actionCancel);

    auto *hint = new QLabel(QStringLiteral("Type text; macros come from the menu or as "
                                           "{@Name} and show as tokens."),
                            this);
    hint->setWordWrap(true);
    hint->setForegroundRole(QPalette::PlaceholderText);

    auto *top = new QHBoxLayout;
    top->addWidget(m_label, 1);
    top->addWidget(m_popupButtonFields);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_tokenField, 1);
    layout->addWidget(hint);
    layout->addWidget(buttons);
    setMinimumSize(460, 220);
    resize(520, 240);
}

void MacroEditorWindow::setup(const QString &tag, const QString &text)
{
    m_label->setText(QStringLiteral("&Value of %1:").arg(tag));
    m_tokenField->setText(text);
    m_tokenField->moveCursor(QTextCursor::End);
    m_tokenField->setFocus();
}

QString MacroEditorWindow::text() const
{
    return m_tokenField->text();
}

void MacroEditorWindow::actionSet()
{
    done(1);
}

void MacroEditorWindow::actionCancel()
{
    done(0);
}

std::optional<QString> MacroEditorWindow::edit(QWidget *parent, const QString &tag,
                                               const QString &text)
{
    MacroEditorWindow window(parent);
    window.setup(tag, text);
    if (window.exec() != 1)
        return std::nullopt;
    return window.text();
}
