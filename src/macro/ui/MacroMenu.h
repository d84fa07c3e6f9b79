#pragma once

#include <QToolButton>

class TokenFieldEdit;

// The catalogue pop-up: a button whose menu holds "Macros", "Date", "Exif", "TIFF", "GPS",
// "Maker" and "Special", each listing its macros; choosing one inserts it into the token field
// the button serves. The menu is rebuilt each time it opens, so custom fields added in the
// preferences appear at once.
class MacroMenuButton : public QToolButton
{
    Q_OBJECT

public:
    explicit MacroMenuButton(TokenFieldEdit *target, QWidget *parent = nullptr);

    // Fills `menu` with the catalogue's sub-menus; each item's action calls `chosen`.
    static void fillMenu(QMenu *menu, const std::function<void(const QString &)> &chosen);

Q_SIGNALS:
    // A macro was inserted.
    void macroInserted(const QString &name);

private:
    TokenFieldEdit *m_target;
};
