#pragma once

#include "geo/Track.h"

#include <QIODevice>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// Streams a GPX document once and records, in document order (each element at its start tag,
// as a depth-first walk visits it), the three elements the track store acts on. Nothing but
// these records is kept, so a large file costs little more memory than its points. The track
// store applies the records only when the whole document parsed, so a damaged file changes
// nothing.
class GpxReader
{
public:
    struct Event
    {
        enum Kind : std::uint8_t { Trk, Trkseg, Trkpt, UntimedTrkpt };
        Kind kind;
        // Trk: index into names(); Trkpt: index into points().
        std::uint32_t index;
    };

    // Reads the whole device; false with errorString() set when the XML is not well formed.
    bool read(QIODevice &device);

    const std::vector<Event> &events() const { return m_events; }
    const std::vector<Trkpt> &points() const { return m_points; }
    // Per "trk" element: its name, or a null string when it has none.
    const QStringList &names() const { return m_names; }

    // The parser's description of what went wrong, and where ("line 3, column 7: ...").
    QString errorString() const { return m_error; }
    QString errorRecord() const { return m_errorRecord; }

    // Reads a decimal number the lenient way GPX attributes need: leading blanks, an optional
    // sign, digits with an optional fraction and exponent; trailing text is ignored. Anything
    // else (empty, letters, infinities) gives 0.
    static double parseDecimal(QStringView text);

private:
    std::vector<Event> m_events;
    std::vector<Trkpt> m_points;
    QStringList m_names;
    QString m_error;
    QString m_errorRecord;
};
