#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>

// Property lists over libplist. Reading accepts XML and binary encodings and answers strings,
// integers (qint64), reals, booleans, dates (QDateTime, UTC), data (QByteArray), arrays
// (QVariantList) and dictionaries (QVariantMap). A missing, damaged or non-plist file reads as
// nullopt; nothing here throws or crashes on bad input.
namespace PropertyList {

std::optional<QVariant> read(const QString &path);
std::optional<QVariant> fromData(const QByteArray &data);
QByteArray toXml(const QVariant &value);
// Writes an XML property list through a temporary file and one rename.
bool writeXml(const QString &path, const QVariant &value, QString *error = nullptr);

} // namespace PropertyList
