#include "presets/PresetEditing.h"

#include "macro/MacroSyntax.h"
#include "metadata/FieldValues.h"
#include "metadata/Metadata.h"
#include "platform/Defaults.h"
#include "platform/Format.h"
#include "platform/PropertyList.h"
#include "presets/Setup.h"
#include "presets/SetupController.h"

#include <QFile>
#include <QFileInfo>

namespace PresetEditing {

namespace {

const QString kMetadata = QStringLiteral("Metadata");

Outcome done(const QString &message)
{
    return {Outcome::Ok, message};
}

Outcome badArgument(const QString &message)
{
    return {Outcome::BadArgument, message};
}

Outcome failed(const QString &message)
{
    return {Outcome::Failed, message};
}

bool isBuiltIn(const QString &name)
{
    return name.compare(SetupController::kDefault, Qt::CaseInsensitive) == 0 ||
           name.compare(SetupController::kUntitled, Qt::CaseInsensitive) == 0;
}

std::optional<bool> parseSwitch(const QString &text)
{
    const QString value = text.trimmed().toLower();
    if (value == QLatin1String("yes") || value == QLatin1String("true") ||
        value == QLatin1String("on") || value == QLatin1String("1"))
        return true;
    if (value == QLatin1String("no") || value == QLatin1String("false") ||
        value == QLatin1String("off") || value == QLatin1String("0"))
        return false;
    return std::nullopt;
}

// A listed preset's file dictionary; the listed spelling goes to `listed`.
std::optional<QVariantMap> readListed(SetupController &store, const QString &name, QString *listed,
                                      Outcome *problem)
{
    const std::optional<QString> found = store.listedName(name);
    if (!found) {
        *problem = failed(formatMessage("no preset named \"%@\"", name));
        return std::nullopt;
    }
    *listed = *found;
    const std::optional<QVariantMap> dict = Setup::readFile(store.presetPath(*found));
    if (!dict) {
        *problem = failed(formatMessage("the preset file %@ is damaged (not a property list "
                                        "dictionary); nothing was changed",
                                        store.presetPath(*found)));
        return std::nullopt;
    }
    return dict;
}

Outcome write(SetupController &store, const QString &name, const QVariantMap &dict)
{
    if (store.presetsFolder().isEmpty())
        return failed(QStringLiteral("there is no presets folder"));
    QString error;
    if (!PropertyList::writeXml(store.presetPath(name), dict, &error))
        return failed(formatMessage("can't write %@: %@", store.presetPath(name), error));
    store.readPresets();
    return done(QString());
}

// Both arrangements of a dictionary parse as macro texts.
std::optional<QString> arrangementProblem(const QVariantMap &dict)
{
    for (const char *key : {SetupKeys::FolderArrangement, SetupKeys::FilenameArrangement}) {
        if (const auto error = MacroSyntax::check(dict.value(QLatin1String(key)).toString()))
            return formatMessage("%@: %@", QLatin1String(key), error->message);
    }
    return std::nullopt;
}

} // namespace

std::optional<ResolvedKey> resolveKey(const QString &key)
{
    for (const SetupKeys::KeyInfo &info : SetupKeys::table()) {
        if (key.compare(QLatin1String(info.key), Qt::CaseInsensitive) == 0)
            return ResolvedKey{QLatin1String(info.key), QString(), info.boolean};
    }
    QString field = key;
    if (field.startsWith(kMetadata + QLatin1Char('.'), Qt::CaseInsensitive))
        field = field.mid(kMetadata.size() + 1);
    if (const std::optional<QString> proper = Metadata::catalogueKeyFor(field))
        return ResolvedKey{kMetadata, *proper, false};
    return std::nullopt;
}

QString keyList()
{
    QStringList keys;
    for (const SetupKeys::KeyInfo &info : SetupKeys::table())
        keys.append(QLatin1String(info.key));
    return keys.join(QStringLiteral(", ")) +
           QStringLiteral(", or a metadata field such as IPTC.City or TimeZone");
}

Outcome setValue(QVariantMap &dict, const QString &key, const QString &value)
{
    const std::optional<ResolvedKey> resolved = resolveKey(key);
    if (!resolved)
        return badArgument(formatMessage("unknown key \"%@\"; the keys are %@", key, keyList()));
    if (resolved->key == kMetadata) {
        if (const auto problem = FieldValues::problemWith(resolved->metadataKey, value))
            return badArgument(formatMessage("%@ %@", problem->title, problem->message));
        QVariantMap metadata = dict.value(kMetadata).toMap();
        const QString stored = FieldValues::storedForm(resolved->metadataKey, value);
        metadata.insert(resolved->metadataKey, stored);
        dict.insert(kMetadata, metadata);
        return done(formatMessage("%@ = %@", resolved->metadataKey, stored));
    }
    QString stored = value;
    if (resolved->boolean) {
        const std::optional<bool> on = parseSwitch(value);
        if (!on)
            return badArgument(
                formatMessage("%@ takes YES or NO, not \"%@\"", resolved->key, value));
        stored = *on ? QStringLiteral("YES") : QStringLiteral("NO");
    } else if (resolved->key == QLatin1String(SetupKeys::FolderArrangement) ||
               resolved->key == QLatin1String(SetupKeys::FilenameArrangement)) {
        if (const auto error = MacroSyntax::check(value))
            return badArgument(formatMessage("%@: %@", resolved->key, error->message));
    } else if (resolved->key == QLatin1String(SetupKeys::Inclusions)) {
        stored = SetupController::normalizedInclusions(value);
    }
    dict.insert(resolved->key, stored);
    return done(formatMessage("%@ = %@", resolved->key, stored));
}

Outcome create(SetupController &store, const QString &name, const std::optional<QString> &from)
{
    if (const std::optional<QString> problem = SetupController::nameProblem(name))
        return badArgument(*problem);
    if (const std::optional<QString> listed = store.listedName(name))
        return failed(formatMessage("a preset named \"%@\" already exists", *listed));
    QVariantMap dict;
    if (!from || from->compare(SetupController::kDefault, Qt::CaseInsensitive) == 0) {
        // Unless a file of that name stands in for it, "Default" is the built-in preset.
        if (from && store.listedName(*from)) {
            QString listed;
            Outcome problem;
            const std::optional<QVariantMap> read = readListed(store, *from, &listed, &problem);
            if (!read)
                return problem;
            dict = *read;
        } else {
            dict = Setup::defaultSetup().dict();
        }
    } else {
        QString listed;
        Outcome problem;
        const std::optional<QVariantMap> read = readListed(store, *from, &listed, &problem);
        if (!read)
            return problem;
        dict = *read;
    }
    const Outcome written = write(store, name, dict);
    if (!written.ok())
        return written;
    return done(from ? formatMessage("made preset \"%@\" from \"%@\"", name, *from)
                     : formatMessage("made preset \"%@\"", name));
}

Outcome set(SetupController &store, const QString &name, const QString &key, const QString &value)
{
    if (isBuiltIn(name) && !store.listedName(name))
        return failed(formatMessage("\"%@\" is built in and can't be changed; make a preset of "
                                    "your own with \"presets new NAME\"",
                                    name));
    QString listed;
    Outcome problem;
    std::optional<QVariantMap> dict = readListed(store, name, &listed, &problem);
    if (!dict)
        return problem;
    const Outcome changed = setValue(*dict, key, value);
    if (!changed.ok())
        return changed;
    const Outcome written = write(store, listed, *dict);
    if (!written.ok())
        return written;
    return done(formatMessage("%@: %@", listed, changed.message));
}

Outcome rename(SetupController &store, const QString &oldName, const QString &newName)
{
    const std::optional<QString> listed = store.listedName(oldName);
    if (!listed) {
        if (isBuiltIn(oldName))
            return failed(formatMessage("\"%@\" is built in and can't be renamed", oldName));
        return failed(formatMessage("no preset named \"%@\"", oldName));
    }
    if (const std::optional<QString> problem = SetupController::nameProblem(newName))
        return badArgument(*problem);
    const std::optional<QString> clash = store.listedName(newName);
    // Changing only the case of a name is a rename, not a clash.
    if (clash && clash->compare(*listed, Qt::CaseInsensitive) != 0)
        return failed(formatMessage("a preset named \"%@\" already exists", *clash));
    if (*listed == newName)
        return done(QString());
    const QString from = store.presetPath(*listed);
    const QString to = store.presetPath(newName);
    // QFile::rename never replaces an existing file; a change of case goes through a
    // temporary name so that it also works where the file system ignores case.
    bool moved = false;
    if (clash) {
        const QString step = to + QStringLiteral(".renaming");
        moved = QFile::rename(from, step) && QFile::rename(step, to);
    } else {
        moved = QFile::rename(from, to);
    }
    if (!moved)
        return failed(formatMessage("can't rename %@ to %@", from, to));
    if (Defaults::string(QLatin1String(SetupController::kPresetDefaultsKey)) == *listed)
        Defaults::set(QLatin1String(SetupController::kPresetDefaultsKey), newName);
    store.readPresets();
    return done(formatMessage("renamed \"%@\" to \"%@\"", *listed, newName));
}

Outcome remove(SetupController &store, const QString &name)
{
    const std::optional<QString> listed = store.listedName(name);
    if (!listed) {
        if (isBuiltIn(name))
            return failed(formatMessage("\"%@\" is built in and can't be deleted", name));
        return failed(formatMessage("no preset named \"%@\"", name));
    }
    if (!QFile::remove(store.presetPath(*listed)))
        return failed(formatMessage("can't remove %@", store.presetPath(*listed)));
    if (Defaults::string(QLatin1String(SetupController::kPresetDefaultsKey)) == *listed)
        Defaults::set(QLatin1String(SetupController::kPresetDefaultsKey),
                      SetupController::kDefault);
    store.readPresets();
    return done(formatMessage("deleted \"%@\"", *listed));
}

Outcome exportTo(SetupController &store, const QString &name, const QString &file, bool force)
{
    QVariantMap dict;
    if (!store.listedName(name) &&
        name.compare(SetupController::kDefault, Qt::CaseInsensitive) == 0) {
        dict = Setup::defaultSetup().dict();
    } else {
        QString listed;
        Outcome problem;
        const std::optional<QVariantMap> read = readListed(store, name, &listed, &problem);
        if (!read)
            return problem;
        dict = *read;
    }
    if (QFileInfo::exists(file) && !force)
        return failed(formatMessage("%@ already exists (--force replaces it)", file));
    if (QFileInfo(file).isDir())
        return failed(formatMessage("%@ is a folder", file));
    QString error;
    if (!PropertyList::writeXml(file, dict, &error))
        return failed(formatMessage("can't write %@: %@", file, error));
    return done(formatMessage("exported \"%@\" to %@", name, file));
}

Outcome importFrom(SetupController &store, const QString &file, const std::optional<QString> &name)
{
    if (!QFileInfo(file).isFile())
        return failed(formatMessage("%@: no such file", file));
    const std::optional<QVariantMap> dict = Setup::readFile(file);
    if (!dict)
        return failed(formatMessage("%@ is not a preset (not a property list dictionary)", file));
    QString target = name.value_or(QFileInfo(file).fileName());
    if (!name && target.endsWith(QLatin1String(".plist"), Qt::CaseInsensitive))
        target.chop(6);
    if (const std::optional<QString> problem = SetupController::nameProblem(target))
        return badArgument(*problem);
    if (const std::optional<QString> listed = store.listedName(target))
        return failed(formatMessage("a preset named \"%@\" already exists (--name gives "
                                    "another name)",
                                    *listed));
    if (const std::optional<QString> problem = arrangementProblem(*dict))
        return failed(formatMessage("%@: %@", file, *problem));
    const Outcome written = write(store, target, *dict);
    if (!written.ok())
        return written;
    return done(formatMessage("imported \"%@\"", target));
}

} // namespace PresetEditing
