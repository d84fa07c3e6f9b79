#include "ingest/XmpPacket.h"

#include <QSet>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include <utility>
#include <vector>

namespace {

const QString kRdf = QStringLiteral("http://www.w3.org/1999/02/22-rdf-syntax-ns#");
const QString kXml = QStringLiteral("http://www.w3.org/XML/1998/namespace");

// Where an element stands in the RDF structure of a packet.
enum class Place { Outside, RdfRoot, Description, Property };

Place placeOf(const QXmlStreamReader &reader, Place parent)
{
    if (parent == Place::Description || parent == Place::Property)
        return Place::Property;
    if (reader.namespaceUri() == kRdf) {
        if (reader.name() == QLatin1String("RDF"))
            return Place::RdfRoot;
        if (parent == Place::RdfRoot && reader.name() == QLatin1String("Description"))
            return Place::Description;
    }
    return Place::Outside;
}

// Attributes that shape an element rather than give it a value.
bool isStructural(const QXmlStreamAttribute &attribute)
{
    if (attribute.namespaceUri() == kXml)
        return true;
    return attribute.namespaceUri() == kRdf &&
           (attribute.name() == QLatin1String("parseType") ||
            attribute.name() == QLatin1String("about") || attribute.name() == QLatin1String("ID") ||
            attribute.name() == QLatin1String("nodeID"));
}

using PropertyName = std::pair<QString, QString>; // namespace, local name

PropertyName nameOf(const QXmlStreamReader &reader)
{
    return {reader.namespaceUri().toString(), reader.name().toString()};
}

PropertyName nameOf(const QXmlStreamAttribute &attribute)
{
    return {attribute.namespaceUri().toString(), attribute.name().toString()};
}

// A property given as an attribute of rdf:Description (not rdf:about, not xml:lang).
bool isPropertyAttribute(const QXmlStreamAttribute &attribute)
{
    return !attribute.namespaceUri().isEmpty() && attribute.namespaceUri() != kRdf &&
           attribute.namespaceUri() != kXml;
}

struct NamespaceDeclaration
{
    QString prefix;
    QString uri;
};

void writeDeclarations(QXmlStreamWriter &writer, const std::vector<NamespaceDeclaration> &list)
{
    for (const NamespaceDeclaration &ns : list)
        writer.writeAttribute(ns.prefix.isEmpty() ? QStringLiteral("xmlns")
                                                  : QStringLiteral("xmlns:") + ns.prefix,
                              ns.uri);
}

std::vector<NamespaceDeclaration> declarationsOf(const QXmlStreamReader &reader)
{
    std::vector<NamespaceDeclaration> list;
    for (const QXmlStreamNamespaceDeclaration &ns : reader.namespaceDeclarations())
        list.push_back({ns.prefix().toString(), ns.namespaceUri().toString()});
    return list;
}

// Writes the current token as it was read, prefixes and declarations included. A document type
// declaration is refused: an XMP packet has none, and its entities are not ours to expand.
bool copyToken(QXmlStreamReader &reader, QXmlStreamWriter &writer)
{
    switch (reader.tokenType()) {
    case QXmlStreamReader::StartDocument:
        if (!reader.documentVersion().isEmpty())
            writer.writeStartDocument(reader.documentVersion().toString());
        return true;
    case QXmlStreamReader::StartElement:
        writer.writeStartElement(reader.qualifiedName().toString());
        writeDeclarations(writer, declarationsOf(reader));
        for (const QXmlStreamAttribute &attribute : reader.attributes())
            writer.writeAttribute(attribute.qualifiedName().toString(),
                                  attribute.value().toString());
        return true;
    case QXmlStreamReader::EndElement:
        writer.writeEndElement();
        return true;
    case QXmlStreamReader::Characters:
        if (reader.isCDATA())
            writer.writeCDATA(reader.text().toString());
        else
            writer.writeCharacters(reader.text().toString());
        return true;
    case QXmlStreamReader::Comment:
        writer.writeComment(reader.text().toString());
        return true;
    case QXmlStreamReader::ProcessingInstruction:
        writer.writeProcessingInstruction(reader.processingInstructionTarget().toString(),
                                          reader.processingInstructionData().toString());
        return true;
    case QXmlStreamReader::DTD:
    case QXmlStreamReader::EntityReference:
        reader.raiseError(QStringLiteral("a document type declaration is not allowed in XMP"));
        return false;
    default:
        return true;
    }
}

// What a packet of ours sets: the names of its top-level properties.
struct OurProperties
{
    QSet<PropertyName> names;
    QString error;
    bool parsed = false;
};

OurProperties propertiesOf(const QByteArray &packet)
{
    OurProperties result;
    QXmlStreamReader reader(packet);
    std::vector<Place> stack;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const Place place = placeOf(reader, stack.empty() ? Place::Outside : stack.back());
            if (place == Place::Description) {
                for (const QXmlStreamAttribute &attribute : reader.attributes())
                    if (isPropertyAttribute(attribute))
                        result.names.insert(nameOf(attribute));
            } else if (place == Place::Property && stack.back() == Place::Description) {
                result.names.insert(nameOf(reader));
            }
            stack.push_back(place);
        } else if (token == QXmlStreamReader::EndElement) {
            stack.pop_back();
        }
    }
    if (reader.hasError()) {
        result.error = reader.errorString();
        return result;
    }
    result.parsed = true;
    return result;
}

// Copies the rdf:Description elements of our packet, each carrying every namespace declaration
// in scope where it stood (the existing packet may bind the prefixes otherwise) and the
// existing packet's rdf:about, which all descriptions of one packet share.
bool writeOurDescriptions(const QByteArray &ours, const std::optional<QString> &about,
                          QXmlStreamWriter &writer)
{
    QXmlStreamReader reader(ours);
    std::vector<Place> stack;
    std::vector<std::vector<NamespaceDeclaration>> scopes;
    int copying = 0; // depth inside a description being copied
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (copying > 0) {
            if (!copyToken(reader, writer))
                return false;
            if (token == QXmlStreamReader::StartElement)
                ++copying;
            else if (token == QXmlStreamReader::EndElement && --copying == 0)
                stack.pop_back();
            continue;
        }
        if (token == QXmlStreamReader::StartElement) {
            const Place place = placeOf(reader, stack.empty() ? Place::Outside : stack.back());
            stack.push_back(place);
            scopes.push_back(declarationsOf(reader));
            if (place != Place::Description)
                continue;
            scopes.pop_back();
            std::vector<NamespaceDeclaration> inScope;
            for (const auto &scope : scopes)
                inScope.insert(inScope.end(), scope.begin(), scope.end());
            const std::vector<NamespaceDeclaration> own = declarationsOf(reader);
            inScope.insert(inScope.end(), own.begin(), own.end());
            // One declaration per prefix, the innermost winning.
            std::vector<NamespaceDeclaration> unique;
            for (auto it = inScope.rbegin(); it != inScope.rend(); ++it) {
                bool seen = false;
                for (const NamespaceDeclaration &kept : unique)
                    seen = seen || kept.prefix == it->prefix;
                if (!seen)
                    unique.insert(unique.begin(), *it);
            }
            writer.writeCharacters(QStringLiteral("\n  "));
            writer.writeStartElement(reader.qualifiedName().toString());
            writeDeclarations(writer, unique);
            bool wroteAbout = false;
            for (const QXmlStreamAttribute &attribute : reader.attributes()) {
                const bool isAbout =
                    attribute.namespaceUri() == kRdf && attribute.name() == QLatin1String("about");
                writer.writeAttribute(attribute.qualifiedName().toString(),
                                      isAbout && about ? *about : attribute.value().toString());
                wroteAbout = wroteAbout || isAbout;
            }
            if (!wroteAbout && about)
                writer.writeAttribute(reader.prefix().toString() + QStringLiteral(":about"),
                                      *about);
            copying = 1;
        } else if (token == QXmlStreamReader::EndElement) {
            stack.pop_back();
            scopes.pop_back();
        }
    }
    return !reader.hasError();
}

} // namespace

QString dropEmptyProperties(const QString &xmp)
{
    struct Frame
    {
        Place place;
        qsizetype start;
        bool hasValue;
    };
    QXmlStreamReader reader(xmp);
    std::vector<Frame> stack;
    std::vector<std::pair<qsizetype, qsizetype>> cuts;
    while (!reader.atEnd()) {
        const qint64 before = reader.characterOffset();
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement: {
            const Place place =
                placeOf(reader, stack.empty() ? Place::Outside : stack.back().place);
            bool hasValue = false;
            for (const QXmlStreamAttribute &attribute : reader.attributes())
                hasValue = hasValue || !isStructural(attribute);
            // The reader may have looked one character past the previous token.
            stack.push_back({place, xmp.lastIndexOf(QLatin1Char('<'), before), hasValue});
            break;
        }
        case QXmlStreamReader::Characters:
            if (!reader.isWhitespace() && !stack.empty())
                stack.back().hasValue = true;
            break;
        case QXmlStreamReader::EndElement: {
            const Frame frame = stack.back();
            stack.pop_back();
            if (frame.place != Place::Property)
                break;
            if (frame.hasValue) {
                stack.back().hasValue = true;
                break;
            }
            while (!cuts.empty() && cuts.back().first >= frame.start)
                cuts.pop_back();
            // The line the element stood on goes with it.
            qsizetype start = frame.start;
            while (start > 0 &&
                   (xmp[start - 1] == QLatin1Char(' ') || xmp[start - 1] == QLatin1Char('\t')))
                --start;
            if (start > 0 && xmp[start - 1] == QLatin1Char('\n'))
                --start;
            else
                start = frame.start;
            cuts.emplace_back(start, reader.characterOffset());
            break;
        }
        default:
            break;
        }
    }
    if (reader.hasError() || cuts.empty())
        return xmp;
    QString out = xmp;
    for (auto it = cuts.rbegin(); it != cuts.rend(); ++it)
        out.remove(it->first, it->second - it->first);
    return out;
}

std::optional<QByteArray> mergeXmpPackets(const QByteArray &existing, const QByteArray &ours,
                                          QString *error)
{
    const auto fail = [error](const QString &why) -> std::optional<QByteArray> {
        if (error)
            *error = why;
        return std::nullopt;
    };
    const OurProperties mine = propertiesOf(ours);
    if (!mine.parsed)
        return fail(QStringLiteral("the new XMP text does not parse: ") + mine.error);

    QXmlStreamReader reader(existing);
    QByteArray merged;
    QXmlStreamWriter writer(&merged);
    std::vector<Place> stack;
    std::optional<QString> about;
    bool sawRdf = false;
    bool inserted = false;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const Place parent = stack.empty() ? Place::Outside : stack.back();
            const Place place = placeOf(reader, parent);
            if (place == Place::Property && parent == Place::Description &&
                mine.names.contains(nameOf(reader))) {
                reader.skipCurrentElement(); // ours replaces it
                continue;
            }
            stack.push_back(place);
            if (place == Place::RdfRoot)
                sawRdf = true;
            if (place == Place::Description) {
                writer.writeStartElement(reader.qualifiedName().toString());
                writeDeclarations(writer, declarationsOf(reader));
                for (const QXmlStreamAttribute &attribute : reader.attributes()) {
                    if (attribute.namespaceUri() == kRdf &&
                        attribute.name() == QLatin1String("about") && !about)
                        about = attribute.value().toString();
                    if (!isPropertyAttribute(attribute) || !mine.names.contains(nameOf(attribute)))
                        writer.writeAttribute(attribute.qualifiedName().toString(),
                                              attribute.value().toString());
                }
                continue;
            }
        } else if (token == QXmlStreamReader::EndElement) {
            const Place place = stack.back();
            stack.pop_back();
            if (place == Place::RdfRoot && !inserted) {
                if (!writeOurDescriptions(ours, about, writer))
                    return fail(QStringLiteral("the new XMP text could not be copied"));
                writer.writeCharacters(QStringLiteral("\n "));
                inserted = true;
            }
        }
        if (!copyToken(reader, writer))
            break;
    }
    if (reader.hasError())
        return fail(QStringLiteral("the XMP already there does not parse: ") +
                    reader.errorString());
    if (!sawRdf)
        return ours;
    if (mine.names.isEmpty())
        return existing;
    writer.writeEndDocument();
    return merged;
}
