#pragma once

#include <QString>

#include <optional>

// Checks a macro text before it is stored: every "{@" needs its "}" and a macro needs a name.
// Evaluation itself accepts anything (an unterminated macro stays literal text), so these checks
// catch typing mistakes where a preset is made, not in the folder names of an ingestion.
namespace MacroSyntax {

struct Error
{
    int position = 0; // 1-based character position of the "{@" at fault
    QString message;  // "unterminated macro at character 7: {@DateImage:YYYY"
};

std::optional<Error> check(const QString &text);

} // namespace MacroSyntax
