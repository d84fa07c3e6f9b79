#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

struct Metadata;
using MetadataPtr = std::shared_ptr<Metadata>;
using MetadataList = QList<MetadataPtr>;

// One metadata field as the editing tables carry it, and the element of the editable field
// catalogue. A plain record: the members keep their design names.
struct Metadata
{
    QString tag;                   // the field key, e.g. "IPTC.City"
    QVariant val;                  // the value found in the image(s): text or number
    std::optional<QString> valNew; // what the user entered; nullopt while not edited
    bool changeable = false;
    bool change = false;

    Metadata() = default;
    explicit Metadata(const QString &fieldTag) : tag(fieldTag) {}

    // valNew when the user entered something, otherwise val.
    QVariant valEffective() const;

    // The editable field catalogue: every custom field in the preferences' order, then the
    // fixed fields. Built on first use from the preferences and kept until resetIptcMetadata.
    // Main thread only; the rows are shared, callers needing their own values make new rows.
    static MetadataList iptcMedata();
    // The catalogue's field keys, in catalogue order.
    static QStringList iptcKeys();
    // The catalogue key equal to `key` ignoring case, or nullopt.
    static std::optional<QString> catalogueKeyFor(const QString &key);
    // The fixed part of the catalogue ("TimeZone" and the IPTC fields), in order.
    static const QStringList &fixedFieldKeys();
    // Drops the cached catalogue and ranks; the next request rebuilds them.
    static void resetIptcMetadata();
    // Where the catalogue takes its custom fields from. The preferences install theirs, so that
    // fields added but not yet stored show at once; without a source the stored list is read.
    static void setCustomFieldSource(std::function<QStringList()> source);

    // An exposure time below one second as "1/N"; anything else unchanged.
    static QVariant fractionFor(const QVariant &value);
};
