#pragma once

#include <QString>

class MacroProcessor;
class Setup;
class ThumbItem;

namespace MacroViewListing {

// The macro view's text for one item: "NAME = VALUE" for every catalogue name in catalogue
// order, then a blank line, "Image Metadata:" and the dump of the item's properties. The item's
// metadata is loaded first; the caller sets its shoot and index beforehand.
QString build(MacroProcessor &processor, ThumbItem &item, const Setup &setup);

} // namespace MacroViewListing
