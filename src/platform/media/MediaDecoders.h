#pragma once

// Puts the HEIF/AVIF, video and raw-preview decoders of this library into the thumbnailer. Called
// once at start by the programs that show pictures, before any preview is made.
namespace MediaDecoders {

void install();

} // namespace MediaDecoders
