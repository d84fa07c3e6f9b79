#include "macro/MacroViewListing.h"

#include "items/ThumbItem.h"
#include "macro/MacroProcessor.h"
#include "platform/Format.h"

QString MacroViewListing::build(MacroProcessor &processor, ThumbItem &item, const Setup &setup)
{
    item.loadMetadata();
    QString text;
    for (const QString &name : MacroProcessor::macroNames())
        text += formatMessage("%@ = {@%@}\n", name, name);
    QString listing = processor.expand(text, item, setup);
    listing += formatMessage("\n\nImage Metadata:\n%@",
                             describePropertyTree(item.metadata.value_or(QVariantMap())));
    return listing;
}
