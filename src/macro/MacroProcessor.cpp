#include "macro/MacroProcessor.h"

MacroProcessor::MacroProcessor() = default;
MacroProcessor::~MacroProcessor() = default;

QString MacroProcessor::expand(const QString &text, ThumbItem &item, const Setup &setup)
{
    Q_UNUSED(item);
    Q_UNUSED(setup);
    return text; // the macro evaluation takes this over
}
