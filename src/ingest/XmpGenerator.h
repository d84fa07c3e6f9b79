#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>

class ThumbItem;

// Fills the XMP template with an item's generated metadata and position.

// From placeholder ("{@IPTC.City}") to the generated-metadata key whose value replaces it.
const QHash<QString, QString> &buildSubDict();

// The text with "&", "<", ">", "'" and "\"" replaced by their XML entities, a carriage return
// written as "&#xD;", and the characters XML cannot carry (control characters, NUL, unpaired
// surrogates) left out, so any value gives well-formed character data.
QString addEntities(const QString &text);

// The filled template, or nullopt after reporting that it is not well-formed XML. The item's
// own position enters the text only when `wantEmbeddedGPS` is off (ExifTool writes it otherwise).
std::optional<QString> buildXMP(const ThumbItem &item, const QString &xmpTemplate,
                                bool wantEmbeddedGPS);
// As above, with the user default "WantEmbeddedGPS" (on when never set).
std::optional<QString> buildXMP(const ThumbItem &item, const QString &xmpTemplate);

// As buildXMP with the user default, as UTF-8, answering nullopt without any report when the
// text is not well-formed (the caller then takes the path that reports it).
std::optional<QByteArray> buildXMPQuietly(const ThumbItem &item, const QString &xmpTemplate);

// True when the text parses as an XML document; a failure is reported on the system log, the
// console and the ingestion log.
bool checkXML(const QString &text);

// The user default that sends positions through ExifTool instead of the XMP text.
bool wantEmbeddedGPS();
