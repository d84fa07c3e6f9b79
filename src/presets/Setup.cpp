#include "presets/Setup.h"

#include "log/ConsoleLog.h"
#include "metadata/Metadata.h"
#include "platform/PropertyList.h"

#include <memory>

namespace SetupKeys {

const QList<KeyInfo> &table()
{
    static const QList<KeyInfo> keys{
        {PrimaryRootFolder, "~/Pictures/Brindlewick", false},
        {BackupRootFolder, "", false},
        {WantBackup, "NO", true},
        {BackupRootFolder2, nullptr, false},
        {WantBackup2, nullptr, true},
        {FolderArrangement, "", false},
        {FilenameArrangement, "{@FileNameOriginal}", false},
        {PromptForFolder, nullptr, true},
        {WantConversion, "NO", true},
        {WantRawVerify, nullptr, true},
        {WantJPEGVerify, nullptr, true},
        {ConverterPath, "", false},
        {PostApp, "", false},
        {GeoTag, "NO", true},
        {AutoIngest, nullptr, true},
        {Inclusions, "", false},
    };
    return keys;
}

} // namespace SetupKeys

namespace {

std::unique_ptr<Setup> s_defaultSetup;

QString yesNo(bool value)
{
    return value ? QStringLiteral("Yes") : QStringLiteral("No");
}

} // namespace

QString Setup::paramString(const QString &key) const
{
    if (key.isEmpty())
        return QString();
    return m_dict.value(key).toString();
}

bool Setup::paramBool(const QString &key) const
{
    const QString value = paramString(key);
    return !value.isEmpty() && value != QLatin1String("NO");
}

QVariantMap Setup::paramDict(const QString &key) const
{
    if (key.isEmpty())
        return QVariantMap();
    return m_dict.value(key).toMap();
}

void Setup::setParam(const QString &key, const QVariant &value)
{
    if (key.isEmpty() || !value.isValid())
        return;
    m_dict.insert(key, value);
}

void Setup::putlog() const
{
    using namespace SetupKeys;
    logPrint("Primary Root: %@\n", paramString(PrimaryRootFolder));
    logPrint("Want Backup: %@\n", yesNo(paramBool(WantBackup)));
    if (paramBool(WantBackup))
        logPrint("Backup Root: %@\n", paramString(BackupRootFolder));
    logPrint("Want 2nd Backup: %@\n", yesNo(paramBool(WantBackup2)));
    if (paramBool(WantBackup2))
        logPrint("2nd Backup Root: %@\n", paramString(BackupRootFolder2));
    logPrint("Folder Arrangement: %@\n", paramString(FolderArrangement));
    logPrint("Filename Arrangement: %@\n", paramString(FilenameArrangement));
    logPrint("Want DNG Conversion: %@", yesNo(paramBool(WantConversion)));
    logPrint("     Verify Only: %@\n", yesNo(paramBool(WantRawVerify)));
    logPrint("Verify JPEGs: %@", yesNo(paramBool(WantJPEGVerify)));
    logPrint("     Want Geotagging: %@\n", yesNo(paramBool(GeoTag)));
    logPrint("Post-Processing App: %@\n", paramString(PostApp));
    const QString inclusions = paramString(Inclusions);
    logPrint("Included Extensions: %@\n",
             inclusions.isEmpty() ? QStringLiteral("[all]") : inclusions);
    // Only for the preset that has it, so every other listing stays as it always was.
    if (paramBool(AutoIngest))
        logPrint("Automatic Card Ingest: Yes\n");
}

QString Setup::defaultPrimaryRootFolder()
{
    return QStringLiteral("~/Pictures/Brindlewick");
}

QVariantMap Setup::getDefaultMetadata()
{
    QVariantMap metadata;
    for (const QString &key : Metadata::iptcKeys())
        metadata.insert(key, QString());
    metadata.insert(QStringLiteral("IPTC.CopyrightStatus"), QStringLiteral("True"));
    metadata.insert(QStringLiteral("IPTC.CopyrightNotice"),
                    QStringLiteral("©{@DateNow:YYYY} {@UserName}. All rights reserved."));
    metadata.insert(QStringLiteral("IPTC.Byline"), QStringLiteral("{@UserName}"));
    return metadata;
}

Setup &Setup::defaultSetup()
{
    if (!s_defaultSetup)
        s_defaultSetup = std::make_unique<Setup>();
    QVariantMap dict;
    for (const SetupKeys::KeyInfo &info : SetupKeys::table()) {
        if (info.defaultValue)
            dict.insert(QLatin1String(info.key), QString::fromUtf8(info.defaultValue));
    }
    dict.insert(QLatin1String(SetupKeys::PrimaryRootFolder), defaultPrimaryRootFolder());
    dict.insert(QLatin1String(SetupKeys::Metadata), getDefaultMetadata());
    s_defaultSetup->setDict(dict);
    return *s_defaultSetup;
}

void Setup::resetDefaultSetup()
{
    s_defaultSetup.reset();
}

std::optional<QVariantMap> Setup::readFile(const QString &path)
{
    const std::optional<QVariant> root = PropertyList::read(path);
    if (!root || root->typeId() != QMetaType::QVariantMap)
        return std::nullopt;
    return root->toMap();
}

bool Setup::writeFile(const QString &path, const QVariantMap &dict)
{
    return PropertyList::writeXml(path, dict);
}
