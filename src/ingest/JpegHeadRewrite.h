#pragma once

#include "ingest/SafeCopy.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The new head of a JPEG that is to carry an XMP text: SOI, every segment that stood before the
// first frame or table marker (APP0, the Exif APP1, APP2 and so on, in their order) except XMP
// packets and empty APP1 segments, then the XMP packet(s), then that first marker. Packets the
// camera or an earlier program wrote are merged with the text, so properties it does not set
// are kept. Pure: it works on bytes in memory, so the merger of a placed file and a copy that
// writes the new head while it streams the rest of its source share it.
struct JpegHeadRewrite
{
    enum class Status {
        Done,          // `head` replaces the first `replaced` bytes of the source
        NeedMore,      // the head goes on past the bytes given
        NotJpeg,       // no SOI: the file is left alone
        PrematureEnd,  // the file ends inside its head
        Garbage,       // bytes between two segments
        SosWithoutSof, // a scan before any frame
        BadLength,     // a segment length below 2
        MergeFailed,   // the packet already there does not merge (`why`)
        TooLong,       // a packet is longer than one segment holds (`tooLongSize`)
    };

    Status status = Status::NeedMore;
    QByteArray head;
    qsizetype replaced = 0;
    QString why;
    qsizetype tooLongSize = 0;

    bool done() const { return status == Status::Done; }
};

// `source` holds the first bytes of the file (all of it when `complete`); `xmpText` is the text
// to embed (empty: the packets already there stay, nothing is added).
JpegHeadRewrite rewriteJpegHead(QByteArrayView source, const QByteArray &xmpText, bool complete);

// The same as a copy's head rewrite: anything but a finished head declines, and the copy is then
// made plain for the merger to handle (and report) as before.
HeadRewrite jpegHeadWithXmp(const QByteArray &head, const QByteArray &xmpText, bool complete);
