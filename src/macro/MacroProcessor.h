#pragma once

#include <QString>

class Setup;
class ThumbItem;

// Evaluates macro texts ("{@Name:argument@default}") for one image.
class MacroProcessor
{
public:
    MacroProcessor();
    ~MacroProcessor();

    // The text with every macro replaced by its value for `item` under `setup`.
    QString expand(const QString &text, ThumbItem &item, const Setup &setup);
};
