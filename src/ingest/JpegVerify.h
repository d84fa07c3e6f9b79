#pragma once

// Full decode checks of JPEG files on libjpeg. Plain byte-level functions: they report through
// standard error (the library's own texts) and answer a boolean.

enum class JpegDecodeScale {
    Full,  // decode every pixel at full size in the file's colours
    Eighth // 1/8 scale, greyscale where the file allows: the entropy decoder, which raises every
           // corruption warning, still runs over the whole file, so the verdict is the same
};

// True only when the whole image decodes, up to its end marker, without a single warning.
// "can't open PATH" goes to standard error when the file cannot be opened.
bool verifyJpegFile(const char *path, JpegDecodeScale scale);
// The check the ingestion uses (the faster 1/8 scale).
bool verifyJpegFile(const char *path);
