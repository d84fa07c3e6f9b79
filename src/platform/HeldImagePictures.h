#pragma once

// The picture makers of brindlewick_gui (the thumbnailer, a scaled decoder, the file-type
// icon) are installed into the core before main() in every program that links that library
// (its link options pull this file in), so the windows, their tests and the benchmarks all show
// pictures while the command-line tool, which does not link it, never loads Qt Gui.
extern "C" {
// Named in the library's link options; never used otherwise.
extern const int brindlewick_picture_makers_anchor;
}
