#include "metadata/NumberFormatterNumericOnly.h"

bool NumberFormatterNumericOnly::isPartialStringValid(const QString &text)
{
    qsizetype start = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    for (qsizetype i = start; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

QValidator::State NumberFormatterNumericOnly::validate(QString &input, int &) const
{
    return isPartialStringValid(input) ? Acceptable : Invalid;
}
