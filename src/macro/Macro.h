#pragma once

#include <QString>

#include <optional>

// One entry of the macro catalogue: the name written between "{@" and "}" and the properties
// path that supplies its value (none for the macros that are computed: dates, files, index...).
class Macro
{
public:
    static Macro create(const QString &name, const std::optional<QString> &metadataPath)
    {
        Macro macro;
        macro.name = name;
        macro.metadataPath = metadataPath;
        return macro;
    }

    QString name;
    std::optional<QString> metadataPath;

    friend bool operator==(const Macro &a, const Macro &b)
    {
        return a.name == b.name && a.metadataPath == b.metadataPath;
    }
};
