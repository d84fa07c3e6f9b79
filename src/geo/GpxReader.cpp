#include "geo/GpxReader.h"

#include "platform/DateReader.h"

#include <QXmlStreamReader>

#include <charconv>
#include <cmath>

namespace {

enum class Role : std::uint8_t { Other, Trk, Trkpt, Name, Time, Ele };
enum class FirstChild : std::uint8_t { None, Text, Element };

// One open element while streaming.
struct Open
{
    Role role = Role::Other;
    std::uint32_t event = 0;  // Trk: its name; Trkpt: its point
    std::uint32_t record = 0; // Trkpt: its entry in the event list
    // Text collection of "name", "time" and "ele" elements.
    FirstChild first = FirstChild::None;
    bool textOpen = false;     // the first child is text and no element has come since
    bool isFirstChild = false; // this element is the first child of a collecting parent
    bool nameDone = false;     // Trk: a "name" child with content was seen
    bool timeDone = false;     // Trkpt: likewise for "time"
    bool eleDone = false;      // Trkpt: the first "ele" child was seen
    QString text;
    QString time; // Trkpt: the time text
};

bool isCollector(Role role)
{
    return role == Role::Name || role == Role::Time || role == Role::Ele;
}

} // namespace

double GpxReader::parseDecimal(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    char buffer[64];
    std::size_t n = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    bool digits = false;
    auto take = [&](auto accept) {
        while (i < text.size() && n < sizeof buffer - 1 && accept(text[i].unicode())) {
            buffer[n++] = static_cast<char>(text[i].unicode());
            ++i;
        }
    };
    const auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };
    std::size_t before = n;
    take(isDigit);
    digits = n > before;
    if (i < text.size() && text[i] == u'.') {
        buffer[n++] = '.';
        ++i;
        before = n;
        take(isDigit);
        digits = digits || n > before;
    }
    if (!digits)
        return 0;
    if (i < text.size() && (text[i] == u'e' || text[i] == u'E')) {
        const std::size_t mark = n;
        const qsizetype markI = i;
        buffer[n++] = 'e';
        ++i;
        if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
            buffer[n++] = static_cast<char>(text[i++].unicode());
        before = n;
        take(isDigit);
        if (n == before) { // "1e" reads as 1
            n = mark;
            i = markI;
        }
    }
    double value = 0;
    const auto result = std::from_chars(buffer, buffer + n, value);
    if (result.ec != std::errc() || !std::isfinite(value))
        return 0;
    return negative ? -value : value;
}

bool GpxReader::read(QIODevice &device)
{
    m_events.clear();
    m_points.clear();
    m_names.clear();
    m_error.clear();
    m_errorRecord.clear();

    QXmlStreamReader xml(&device);
    // Prefixed names stay as written, so "gpx:trk" is simply not "trk" (and an undeclared
    // prefix is no error).
    xml.setNamespaceProcessing(false);
    std::vector<Open> stack;
    stack.reserve(16);

    auto finishCollector = [&](Open &closing, Open *parent) {
        if (!parent)
            return;
        if (closing.role == Role::Name && parent->role == Role::Trk) {
            if (!parent->nameDone && closing.first != FirstChild::None) {
                parent->nameDone = true;
                m_names[parent->event] = closing.text;
            }
        } else if (closing.role == Role::Time && parent->role == Role::Trkpt) {
            if (!parent->timeDone && closing.first != FirstChild::None) {
                parent->timeDone = true;
                parent->time = closing.text;
            }
        } else if (closing.role == Role::Ele && parent->role == Role::Trkpt) {
            if (!parent->eleDone) {
                parent->eleDone = true;
                m_points[parent->event].ele = parseDecimal(closing.text);
            }
        }
    };

    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement: {
            const QStringView name = xml.qualifiedName();
            Open *parent = stack.empty() ? nullptr : &stack.back();
            Open open;
            if (name == u"trk") {
                open.role = Role::Trk;
                open.event = static_cast<std::uint32_t>(m_names.size());
                m_names.append(QString());
                m_events.push_back({Event::Trk, open.event});
            } else if (name == u"trkseg") {
                m_events.push_back({Event::Trkseg, 0});
            } else if (name == u"trkpt") {
                open.role = Role::Trkpt;
                open.event = static_cast<std::uint32_t>(m_points.size());
                const QXmlStreamAttributes attributes = xml.attributes();
                Trkpt point;
                point.lat = parseDecimal(attributes.value(QLatin1String("lat")));
                point.lon = parseDecimal(attributes.value(QLatin1String("lon")));
                m_points.push_back(point);
                open.record = static_cast<std::uint32_t>(m_events.size());
                m_events.push_back({Event::UntimedTrkpt, open.event});
            } else if (parent && parent->role == Role::Trk && name == u"name") {
                open.role = Role::Name;
            } else if (parent && parent->role == Role::Trkpt && name == u"time") {
                open.role = Role::Time;
            } else if (parent && parent->role == Role::Trkpt && name == u"ele") {
                open.role = Role::Ele;
            }
            if (parent && isCollector(parent->role)) {
                if (parent->first == FirstChild::None) {
                    parent->first = FirstChild::Element;
                    open.isFirstChild = true;
                }
                parent->textOpen = false;
            }
            stack.push_back(std::move(open));
            break;
        }
        case QXmlStreamReader::EndElement: {
            if (stack.empty())
                break;
            Open closing = std::move(stack.back());
            stack.pop_back();
            Open *parent = stack.empty() ? nullptr : &stack.back();
            if (closing.role == Role::Trkpt) {
                // A point counts only with a readable time; its record is settled now that its
                // children have been seen.
                if (closing.timeDone) {
                    if (const auto when = DateReader::read(closing.time)) {
                        m_points[closing.event].time = *when;
                        m_events[closing.record].kind = Event::Trkpt;
                    }
                }
            } else if (isCollector(closing.role)) {
                finishCollector(closing, parent);
            }
            if (parent && isCollector(parent->role))
                parent->textOpen = false;
            // Text gathered below a collecting element is handed up to it: all of it for "ele"
            // (its string value), only the first child element's for "name" and "time".
            if (parent && !isCollector(closing.role) && !closing.text.isEmpty()) {
                if (!isCollector(parent->role))
                    parent->text += closing.text;
                else if (parent->role == Role::Ele || closing.isFirstChild)
                    parent->text += closing.text;
            }
            break;
        }
        case QXmlStreamReader::Characters: {
            if (stack.empty() || xml.isWhitespace())
                break;
            Open &top = stack.back();
            const QStringView text = xml.text();
            if (isCollector(top.role)) {
                if (top.role == Role::Ele) {
                    top.text += text;
                } else if (top.first == FirstChild::None) {
                    top.first = FirstChild::Text;
                    top.textOpen = true;
                    top.text += text;
                } else if (top.first == FirstChild::Text && top.textOpen) {
                    top.text += text;
                }
            } else {
                // Text below a collecting element (the string value of "ele", or the first child
                // element of "name"/"time"): gathered in the nearest open element and handed up
                // when it closes.
                for (auto it = stack.rbegin() + 1; it != stack.rend(); ++it) {
                    if (isCollector(it->role)) {
                        top.text += text;
                        break;
                    }
                }
            }
            break;
        }
        default:
            break;
        }
    }
    if (xml.hasError()) {
        m_error = xml.errorString();
        m_errorRecord = QStringLiteral("line %1, column %2: %3")
                            .arg(xml.lineNumber())
                            .arg(xml.columnNumber())
                            .arg(m_error);
        return false;
    }
    return true;
}
