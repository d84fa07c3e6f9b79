#pragma once

#include <QByteArray>
#include <QString>

// Writes the XMP text of the file next to a JPEG ("<base>.xmpjpg", else "<base>.xmp") into the
// JPEG as its XMP APP1 segment, placed before the first table or frame marker. An XMP packet
// already in the file is merged with the text (its properties that the text does not set are
// kept); empty APP1 segments are dropped; every other byte is copied unchanged. The finished
// copy, written under a private name made by mkstemp, replaces the JPEG by one rename, keeps its
// modification time and permissions, and the XMP file is deleted. True when merged, when there
// is no XMP file, or when the file is no JPEG; false after an error reported on the console log
// (the JPEG is then untouched).
//
// When the text cannot go into the JPEG (longer than kMaxXmpTextInSegment bytes once merged, or
// the packet already there does not parse) the JPEG stays as it was and the text is kept as a
// sidecar ("<base>.xmp", or "<name>.xmp" when a raw file owns that one) so nothing is lost.
bool mergeXmpIntoJpeg(const char *jpegPath);
bool mergeXmpIntoJpeg(const QString &jpegPath);

// The signature that opens the standard XMP packet's APP1 segment, without its terminator.
inline constexpr char kXmpJpegIdentifier[] = "http://ns.adobe.com/xap/1.0/";
inline constexpr int kXmpJpegIdentifierLength = 28;
// 65535 minus the 2 length bytes, the 28 identifier bytes and its zero byte.
inline constexpr qsizetype kMaxXmpTextInSegment = 65504;
