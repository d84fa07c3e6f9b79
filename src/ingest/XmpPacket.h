#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Edits of whole XMP packets on the XML level, so everything the program does not understand
// travels through unchanged.

// The packet without the properties that carry no value: a property element (a child of an
// rdf:Description, or anything inside one) with neither text nor a value attribute, and every
// array or structure left with nothing but such elements. Other text is kept character for
// character. A text that does not parse is answered unchanged.
QString dropEmptyProperties(const QString &xmp);

// One packet out of an existing one and ours: every top-level property of `existing` that `ours`
// does not set is kept (element or attribute form, unknown namespaces and all), the properties
// of `ours` replace those of the same name, and ours travel in an rdf:Description of their own
// beside the existing ones. An existing packet without RDF data gives ours; ours without
// properties gives the existing packet unchanged. Nullopt, with the reason in `error`, when
// either does not parse as XML.
std::optional<QByteArray> mergeXmpPackets(const QByteArray &existing, const QByteArray &ours,
                                          QString *error = nullptr);
