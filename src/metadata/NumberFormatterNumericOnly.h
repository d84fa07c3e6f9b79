#pragma once

#include <QValidator>

// Accepts the text of a signed whole number as it is typed: empty, or an optional leading "-"
// followed by digits only (a lone "-" is accepted).
class NumberFormatterNumericOnly : public QValidator
{
    Q_OBJECT
public:
    using QValidator::QValidator;
    static bool isPartialStringValid(const QString &text);
    State validate(QString &input, int &pos) const override;
};
