// The token field and the macro editor window, driven through their widgets. How text is cut
// into tokens and which menu holds a macro are the macro catalogue's core tests.

#include "macro/ui/MacroEditorWindow.h"
#include "macro/MacroProcessor.h"
#include "macro/ui/MacroMenu.h"
#include "macro/ui/TokenFieldEdit.h"
#include "metadata/ECPrefsController.h"
#include "support/GrabSupport.h"
#include "support/WindowTestSupport.h"

#include <QClipboard>
#include <QMenu>
#include <QPushButton>
#include <QtTest>

namespace {

QStringList describe(const TokenList &elements)
{
    QStringList out;
    for (const TokenElement &element : elements)
        out << (isToken(element) ? QStringLiteral("token:") : QStringLiteral("text:")) +
                   elementText(element);
    return out;
}

QAction *menuItem(MacroMenuButton *button, const QString &section, const QString &name)
{
    QMenu *sub = button->menu()->findChild<QMenu *>(QStringLiteral("macroMenu") + section);
    if (!sub)
        return nullptr;
    for (QAction *action : sub->actions())
        if (action->text() == name)
            return action;
    return nullptr;
}

} // namespace

class MacroEditorWindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        ECPrefsController::prefs().setCustomFields({QStringLiteral("CF.Shoot")});
        MacroProcessor::resetMacros();
    }

    void tokenFieldTypingMenuAndClipboard()
    {
        TokenFieldEdit field;
        field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&field));
        int started = 0;
        connect(&field, &TokenFieldEdit::editingStarted, this, [&] { ++started; });

        // An unterminated macro shows as text, and setting text is no edit.
        field.setText(QStringLiteral("{@Index:4"));
        QCOMPARE(describe(field.objectValue()), QStringList{"text:{@Index:4"});
        QCOMPARE(started, 0);

        // Typing the closing brace makes the macro a token; what is typed after stays text.
        field.setFocus();
        field.moveCursor(QTextCursor::End);
        QTest::keyClicks(&field, QStringLiteral("}-x"));
        QCOMPARE(describe(field.objectValue()), (QStringList{"token:{@Index:4}", "text:-x"}));
        QCOMPARE(started, 1);
        // A token is removed as a whole.
        field.moveCursor(QTextCursor::Start);
        QTest::keyClick(&field, Qt::Key_Delete);
        QCOMPARE(field.text(), QStringLiteral("-x"));

        // The catalogue menu inserts at the cursor, between the texts.
        field.setText(QStringLiteral("ab"));
        field.moveCursor(QTextCursor::Start);
        field.moveCursor(QTextCursor::Right);
        MacroMenuButton button(&field);
        QCOMPARE(button.menu()->actions().size(), 7); // a submenu per section
        QAction *date =
            menuItem(&button, QStringLiteral("Date"), QStringLiteral("DateImage:YYYY/MM-DD"));
        QVERIFY(date);
        date->trigger();
        QCOMPARE(field.text(), QStringLiteral("a{@DateImage:YYYY/MM-DD}b"));

        // Copy gives macro text; pasting it gives tokens again.
        field.selectAll();
        field.copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("a{@DateImage:YYYY/MM-DD}b"));
        field.setText(QStringLiteral("x"));
        field.moveCursor(QTextCursor::End);
        field.paste();
        QCOMPARE(describe(field.objectValue()),
                 (QStringList{"text:xa", "token:{@DateImage:YYYY/MM-DD}", "text:b"}));
        // A single line: pasted line breaks become blanks, Return is left to the window.
        QGuiApplication::clipboard()->setText(QStringLiteral("one\ntwo"));
        field.setText(QString());
        field.paste();
        QCOMPARE(field.text(), QStringLiteral("one two"));
        QGuiApplication::clipboard()->clear();
        field.paste();
        QCOMPARE(field.text(), QStringLiteral("one two"));

        field.setText(QStringLiteral("{@DateImage:YYYY}/{@DateImage:MM-DD}/{@FileNameOriginal}"));
        field.resize(420, field.height());
        QVERIFY(QFileInfo(grabWindow(&field, QStringLiteral("token-field"))).exists());
    }

    void macroEditorSetAndCancel()
    {
        // The text shows as tokens; typing and the editor's menu add to it and Set returns it.
        whenModal([](QWidget *modal) {
            QCOMPARE(modal->objectName(), QStringLiteral("MacroEditorController"));
            auto *field = modal->findChild<TokenFieldEdit *>(QStringLiteral("tokenField"));
            QCOMPARE(describe(field->objectValue()),
                     (QStringList{"token:{@DateImage:YYYY}", "text:-", "token:{@Index:4}"}));
            QVERIFY(field->hasFocus() || !modal->isActiveWindow());
            QVERIFY(QFileInfo(grabWindow(modal, QStringLiteral("macro-editor"))).exists());
            auto *menu = modal->findChild<MacroMenuButton *>(QStringLiteral("popupButtonFields"));
            field->moveCursor(QTextCursor::End);
            QTest::keyClicks(field, QStringLiteral(" by "));
            menuItem(menu, QStringLiteral("Special"), QStringLiteral("UserName"))->trigger();
            modal->findChild<QPushButton *>(QStringLiteral("buttonSet"))->click();
        });
        QCOMPARE(
            MacroEditorWindow::edit(nullptr, QStringLiteral("IPTC.Headline"),
                                    QStringLiteral("{@DateImage:YYYY}-{@Index:4}")),
            std::optional<QString>(QStringLiteral("{@DateImage:YYYY}-{@Index:4} by {@UserName}")));

        // Cancel answers nothing, whatever was typed.
        whenModal([](QWidget *modal) {
            auto *field = modal->findChild<TokenFieldEdit *>(QStringLiteral("tokenField"));
            QTest::keyClicks(field, QStringLiteral("changed"));
            modal->findChild<QPushButton *>(QStringLiteral("buttonCancel"))->click();
        });
        QCOMPARE(MacroEditorWindow::edit(nullptr, QStringLiteral("IPTC.Credit"),
                                         QStringLiteral("Photo")),
                 std::nullopt);
    }
};

int main(int argc, char **argv)
{
    return runWindowTests<MacroEditorWindowTest>(argc, argv);
}

#include "MacroEditorWindowTest.moc"
