#include "macro/MacroSyntax.h"

#include "platform/Format.h"

namespace MacroSyntax {

std::optional<Error> check(const QString &text)
{
    qsizetype from = 0;
    while (true) {
        const qsizetype open = text.indexOf(QLatin1String("{@"), from);
        if (open < 0)
            return std::nullopt;
        const qsizetype close = text.indexOf(QLatin1Char('}'), open + 2);
        const int position = int(open) + 1;
        if (close < 0) {
            QString rest = text.mid(open);
            if (rest.size() > 40)
                rest = rest.left(40) + QStringLiteral("...");
            return Error{position,
                         formatMessage("unterminated macro at character %d: %@", position, rest)};
        }
        const QString body = text.mid(open + 2, close - open - 2);
        const QString name = body.section(QLatin1Char('@'), 0, 0).section(QLatin1Char(':'), 0, 0);
        if (name.trimmed().isEmpty())
            return Error{position, formatMessage("macro without a name at character %d: %@",
                                                 position, text.mid(open, close - open + 1))};
        from = close + 1;
    }
}

} // namespace MacroSyntax
