#include "macro/ui/MacroMenu.h"

#include "macro/MacroProcessor.h"
#include "macro/ui/TokenFieldEdit.h"

#include <QMenu>

MacroMenuButton::MacroMenuButton(TokenFieldEdit *target, QWidget *parent)
    : QToolButton(parent), m_target(target)
{
    setText(QStringLiteral("Insert Macro"));
    setToolTip(QStringLiteral("Insert a macro at the cursor"));
    setPopupMode(QToolButton::InstantPopup);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    auto *menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("macroMenu"));
    setMenu(menu);
    const auto insert = [this](const QString &name) {
        if (m_target)
            m_target->insertMacro(name);
        Q_EMIT macroInserted(name);
    };
    connect(menu, &QMenu::aboutToShow, this, [menu, insert] { fillMenu(menu, insert); });
    // Filled once now as well, so the menu can be looked at before it first opens.
    fillMenu(menu, insert);
}

void MacroMenuButton::fillMenu(QMenu *menu, const std::function<void(const QString &)> &chosen)
{
    menu->clear();
    for (QMenu *sub : menu->findChildren<QMenu *>(Qt::FindDirectChildrenOnly))
        delete sub;
    for (const TokenMenuSection &section : MacroProcessor::tokenMenu()) {
        QMenu *sub = menu->addMenu(section.title);
        sub->setObjectName(QStringLiteral("macroMenu") + section.title);
        for (const QString &name : section.names) {
            QAction *action = sub->addAction(name);
            QObject::connect(action, &QAction::triggered, menu, [chosen, name] { chosen(name); });
        }
    }
}
