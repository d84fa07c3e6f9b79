#pragma once

#include <QString>
#include <QVariantMap>

#include <optional>

class SetupController;

// Presets made and changed without the preset window, for scripts and servers: the same store,
// names and rules as the window. Every change is written atomically; a refused change leaves
// every file as it was.
namespace PresetEditing {

struct Outcome
{
    enum Status {
        Ok,
        BadArgument, // what the caller typed is wrong: a name, a key, a value
        Failed       // the store refused: no such preset, a clash, a damaged or unwritable file
    };
    Status status = Ok;
    QString message; // what was done, or why nothing was

    bool ok() const { return status == Ok; }
};

// The setup key spelled as the record spells it ("wantbackup" -> "WantBackup"), "Metadata.X"
// or a catalogue field ("iptc.city" -> "Metadata" and "IPTC.City"). Nullopt for an unknown key.
struct ResolvedKey
{
    QString key;          // a setup key, or "Metadata"
    QString metadataKey;  // the field for "Metadata"
    bool boolean = false; // a switch that reads "YES" or "NO"
};
std::optional<ResolvedKey> resolveKey(const QString &key);
// The keys `set` takes, for messages.
QString keyList();

// Stores `value` under `key` in `dict`, checking it: switches take yes/no, true/false, on/off or
// 1/0; arrangements must parse as macro texts (the message gives the character position of the
// fault); a time zone must be known; the extensions are normalised as the window stores them.
Outcome setValue(QVariantMap &dict, const QString &key, const QString &value);

// NAME from the built-in defaults, or as a copy of OTHER ("Default" is the built-in one).
Outcome create(SetupController &store, const QString &name, const std::optional<QString> &from);
Outcome set(SetupController &store, const QString &name, const QString &key, const QString &value);
Outcome rename(SetupController &store, const QString &oldName, const QString &newName);
Outcome remove(SetupController &store, const QString &name);
// Writes NAME's settings to `file` (an XML property list); an existing file only with `force`.
Outcome exportTo(SetupController &store, const QString &name, const QString &file, bool force);
// Adds the preset in `file` under its base name or `name`.
Outcome importFrom(SetupController &store, const QString &file, const std::optional<QString> &name);

} // namespace PresetEditing
