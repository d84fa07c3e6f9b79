#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

// The preference keys, declared once: name, type and default. A default that is not valid
// means "unset" (the key has no built-in value).
namespace Prefs {

enum class Type { String, Boolean, StringList, DictionaryList };

struct Key
{
    const char *name;
    Type type;
    QVariant defaultValue;
};

extern const Key RawFileExtensions;
extern const Key ConverterPath;
extern const Key DNGConverter;
extern const Key CustomFields;
extern const Key WantEmbeddedGPS;
extern const Key WantEmbeddedRaw;
extern const Key JpegPreview;
extern const Key LayedOutFields;
// Maps and GPS devices.
extern const Key GPSBabelPath;       // the gpsbabel program; empty: looked for on PATH
extern const Key MapTileURL;         // tile address with {z}, {x}, {y} (and optionally {s})
extern const Key MapTileAttribution; // the credit the tile provider asks for, as HTML
// Memory cards put in while the program runs (the Preferences window and the Card menu).
extern const Key OfferCards;              // offer a card (a volume with a DCIM folder) at all
extern const Key OfferAnyRemovableVolume; // offer every removable volume, DCIM folder or not
extern const Key AutoIngestCards;         // ingest with the preset marked for it, no question
extern const Key EjectAfterIngest;        // eject a card after a run over it went well
// Every copy is read back from the disk and compared with its source by hash before it is placed.
extern const Key VerifyCopies;

// Every key above, in the order of the table.
QList<const Key *> all();

bool isSet(const Key &key);
// Typed reads: the stored value, or the key's default when unset.
QString string(const Key &key);
bool boolean(const Key &key);
QStringList stringList(const Key &key);
QVariantList list(const Key &key);
// Stores a value; false when the settings store could not be written (Defaults::lastProblem).
bool set(const Key &key, const QVariant &value);
// Forgets the stored value, so the default applies again.
bool reset(const Key &key);
// The key of that stored name, or nullptr.
const Key *find(const QString &name);
// The stored value, or the default when unset (an invalid value for a key without one).
QVariant value(const Key &key);

} // namespace Prefs
