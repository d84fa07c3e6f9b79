#include "ingest/JpegHeadRewrite.h"

#include "ingest/JpegXmpMerger.h"
#include "ingest/XmpPacket.h"

#include <optional>
#include <vector>

namespace {

constexpr unsigned char kMarker = 0xFF;
constexpr int kSOI = 0xD8;
constexpr int kSOS = 0xDA;
constexpr int kAPP1 = 0xE1;

// Frame and table markers (and EOI): the XMP segment goes in front of the first of them.
bool isStopCode(int code)
{
    return (code >= 0xC0 && code <= 0xC7) || (code >= 0xC9 && code <= 0xCB) ||
           (code >= 0xCD && code <= 0xCF) || code == 0xDB || code == 0xD9;
}

using Status = JpegHeadRewrite::Status;

// Walks the head; every read past the bytes given ends the walk as "need more" (or, on a whole
// file, as a premature end).
class Walk
{
public:
    Walk(QByteArrayView source, bool complete) : m_source(source), m_complete(complete) {}

    Status shortOfBytes() const { return m_complete ? Status::PrematureEnd : Status::NeedMore; }
    bool has(qsizetype count) const { return m_source.size() - m_position >= count; }
    int byte() { return static_cast<unsigned char>(m_source[m_position++]); }
    unsigned two()
    {
        const unsigned hi = unsigned(byte());
        return (hi << 8) | unsigned(byte());
    }
    QByteArrayView take(qsizetype count)
    {
        const QByteArrayView bytes = m_source.sliced(m_position, count);
        m_position += count;
        return bytes;
    }
    qsizetype position() const { return m_position; }

private:
    QByteArrayView m_source;
    bool m_complete;
    qsizetype m_position = 0;
};

void appendMarker(QByteArray &out, int code)
{
    out.append(char(kMarker)).append(char(code));
}

void appendTwo(QByteArray &out, unsigned value)
{
    out.append(char((value >> 8) & 0xFF)).append(char(value & 0xFF));
}

} // namespace

JpegHeadRewrite rewriteJpegHead(QByteArrayView source, const QByteArray &xmpText, bool complete)
{
    JpegHeadRewrite result;
    Walk walk(source, complete);
    const auto stop = [&result](Status status) {
        result.status = status;
        result.head.clear();
        return result;
    };
    if (!walk.has(2))
        return stop(walk.shortOfBytes());
    if (walk.byte() != kMarker || walk.byte() != kSOI)
        return stop(Status::NotJpeg);

    QByteArray &out = result.head;
    appendMarker(out, kSOI);
    std::vector<QByteArray> packets; // the XMP packets already in the file, in their order
    int stopCode = 0;
    for (;;) {
        if (!walk.has(1))
            return stop(walk.shortOfBytes());
        int c = walk.byte();
        bool skipped = false;
        while (c != kMarker) {
            skipped = true;
            if (!walk.has(1))
                return stop(walk.shortOfBytes());
            c = walk.byte();
        }
        while (c == kMarker) {
            if (!walk.has(1))
                return stop(walk.shortOfBytes());
            c = walk.byte();
        }
        if (skipped)
            return stop(Status::Garbage);
        const int code = c;
        if (code == kSOS)
            return stop(Status::SosWithoutSof);
        if (isStopCode(code)) {
            stopCode = code;
            break;
        }
        if (!walk.has(2))
            return stop(walk.shortOfBytes());
        const unsigned length = walk.two();
        if (length < 2)
            return stop(Status::BadLength);
        const qsizetype payload = qsizetype(length) - 2;
        if (!walk.has(payload))
            return stop(walk.shortOfBytes());
        const QByteArrayView bytes = walk.take(payload);
        if (code == kAPP1) {
            if (payload == 0)
                continue; // empty APP1: dropped
            // An APP1 whose payload opens with the whole identifier is a packet to merge.
            if (bytes.startsWith(QByteArrayView(kXmpJpegIdentifier, kXmpJpegIdentifierLength))) {
                QByteArray packet = bytes.sliced(kXmpJpegIdentifierLength).toByteArray();
                if (packet.startsWith('\0'))
                    packet.remove(0, 1);
                const qsizetype end = packet.indexOf('\0'); // padding some writers leave
                if (end >= 0)
                    packet.truncate(end);
                packets.push_back(packet);
                continue;
            }
        }
        appendMarker(out, code);
        appendTwo(out, length);
        out.append(bytes);
    }

    std::vector<QByteArray> segments;
    if (xmpText.isEmpty() || packets.empty()) {
        segments = packets;
        if (!xmpText.isEmpty())
            segments.push_back(xmpText);
    } else {
        std::optional<QByteArray> merged = packets.front();
        for (size_t i = 1; merged && i < packets.size(); ++i)
            merged = mergeXmpPackets(*merged, packets[i], &result.why);
        if (merged)
            merged = mergeXmpPackets(*merged, xmpText, &result.why);
        if (!merged)
            return stop(Status::MergeFailed);
        segments.push_back(*merged);
    }
    for (const QByteArray &segment : segments) {
        if (segment.size() > kMaxXmpTextInSegment) {
            result.tooLongSize = segment.size();
            return stop(Status::TooLong);
        }
        appendMarker(out, kAPP1);
        appendTwo(out, unsigned(segment.size()) + 31);
        out.append(kXmpJpegIdentifier, kXmpJpegIdentifierLength).append('\0').append(segment);
    }
    appendMarker(out, stopCode);
    result.replaced = walk.position();
    result.status = Status::Done;
    return result;
}

HeadRewrite jpegHeadWithXmp(const QByteArray &head, const QByteArray &xmpText, bool complete)
{
    HeadRewrite answer;
    JpegHeadRewrite rewrite = rewriteJpegHead(head, xmpText, complete);
    if (rewrite.status == JpegHeadRewrite::Status::NeedMore) {
        answer.status = HeadRewrite::Status::NeedMore;
    } else if (rewrite.done()) {
        answer.status = HeadRewrite::Status::Done;
        answer.head = std::move(rewrite.head);
        answer.replaced = rewrite.replaced;
    }
    return answer;
}
