#include "macro/MacroProcessor.h"

#include "log/IngestionLogController.h"

namespace {

void logElements(const TokenList &elements)
{
    for (const TokenElement &element : elements) {
        if (isToken(element))
            IngestionLogController::log("token [%@]", elementText(element));
        else
            IngestionLogController::log("string [%@]", elementText(element));
    }
}

} // namespace

TokenList MacroProcessor::tokenize(const QString &text)
{
    TokenList tokens;
    QString buffer;
    bool inside = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inside) {
            buffer.append(c);
            if (c == u'}') {
                tokens.append(MyToken(buffer));
                buffer.clear();
                inside = false;
            }
        } else if (c == u'{' && i + 1 < text.size() && text[i + 1] == u'@') {
            if (!buffer.isEmpty())
                tokens.append(buffer);
            buffer = QStringLiteral("{");
            inside = true;
        } else {
            buffer.append(c);
        }
    }
    // An unterminated macro stays plain text.
    if (!buffer.isEmpty())
        tokens.append(buffer);
    return tokens;
}

QString MacroProcessor::tokensToString(const TokenList &tokens)
{
    QString text;
    for (const TokenElement &element : tokens)
        text += elementText(element);
    return text;
}

void MacroProcessor::stringToTokens(const QString &text, TokenField &field)
{
    const TokenList tokens = tokenize(text);
    field.setObjectValue(tokens);
    const TokenList shown = field.objectValue();
    if (shown.size() == tokens.size())
        return;
    IngestionLogController::log();
    IngestionLogController::log("stringToTokens [%@] counts: %d %d", text,
                                static_cast<long long>(tokens.size()),
                                static_cast<long long>(shown.size()));
    logElements(tokens);
    IngestionLogController::log("------------");
    logElements(shown);
}

void MacroProcessor::insertFieldToken(const std::optional<QString> &menuItemTitle,
                                      TokenField &field)
{
    if (!menuItemTitle)
        return;
    TokenList value = field.objectValue();
    value.append(MyToken(QStringLiteral("{@%1}").arg(*menuItemTitle)));
    field.setObjectValue(value);
}
