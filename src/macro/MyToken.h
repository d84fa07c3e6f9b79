#pragma once

#include <QList>
#include <QString>

#include <variant>

// One macro in a token field: the complete macro text, "{@" and "}" included.
class MyToken
{
public:
    MyToken() = default;
    explicit MyToken(const QString &text) : name(text) {}

    QString name;

    friend bool operator==(const MyToken &a, const MyToken &b) { return a.name == b.name; }
};

// An element of a token field's value: a macro token or a plain literal run, in text order.
using TokenElement = std::variant<MyToken, QString>;
using TokenList = QList<TokenElement>;

inline bool isToken(const TokenElement &element)
{
    return std::holds_alternative<MyToken>(element);
}

// The text an element stands for: a token's name or the plain string itself.
inline QString elementText(const TokenElement &element)
{
    if (const MyToken *token = std::get_if<MyToken>(&element))
        return token->name;
    return std::get<QString>(element);
}

// What the macro language needs of a token field; the editor widget implements it, tests use a
// plain list. A field may re-arrange what it is given (that is what the count check watches).
class TokenField
{
public:
    virtual ~TokenField() = default;
    virtual TokenList objectValue() const = 0;
    virtual void setObjectValue(const TokenList &value) = 0;
};
