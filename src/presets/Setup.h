#pragma once

#include <QList>
#include <QString>
#include <QVariantMap>

#include <optional>

// The keys of a preset, declared once. A default of nullptr means the key is absent from the
// built-in defaults (it then reads as "" or false).
namespace SetupKeys {

inline constexpr char PrimaryRootFolder[] = "PrimaryRootFolder";
inline constexpr char BackupRootFolder[] = "BackupRootFolder";
inline constexpr char WantBackup[] = "WantBackup";
inline constexpr char BackupRootFolder2[] = "BackupRootFolder2";
inline constexpr char WantBackup2[] = "WantBackup2";
inline constexpr char FolderArrangement[] = "FolderArrangement";
inline constexpr char FilenameArrangement[] = "FilenameArrangement";
inline constexpr char PromptForFolder[] = "PromptForFolder";
inline constexpr char WantConversion[] = "WantConversion";
inline constexpr char WantRawVerify[] = "WantRawVerify";
inline constexpr char WantJPEGVerify[] = "WantJPEGVerify";
inline constexpr char ConverterPath[] = "ConverterPath";
inline constexpr char PostApp[] = "PostApp";
inline constexpr char GeoTag[] = "GeoTag";
inline constexpr char AutoIngest[] = "AutoIngest"; // a card put in is ingested with this preset
inline constexpr char Inclusions[] = "Inclusions";
inline constexpr char Metadata[] = "Metadata";

struct KeyInfo
{
    const char *key;
    const char *defaultValue; // nullptr: absent from the defaults
    bool boolean;
};

// Every key except Metadata, in the order the preset window writes them (Inclusions last).
const QList<KeyInfo> &table();

} // namespace SetupKeys

// One preset: a string-keyed record whose values are strings, except "Metadata", a dictionary
// of field key to macro text. Booleans are the strings "YES" and "NO".
class Setup
{
public:
    Setup() = default;
    explicit Setup(const QVariantMap &dict) : m_dict(dict) {}

    const QVariantMap &dict() const { return m_dict; }
    void setDict(const QVariantMap &dict) { m_dict = dict; }

    // "" when the key is empty or absent.
    QString paramString(const QString &key) const;
    // True when paramString is non-empty and not exactly "NO".
    bool paramBool(const QString &key) const;
    // The stored dictionary, or a new empty one (not stored) when absent.
    QVariantMap paramDict(const QString &key) const;
    // Stores a string (or the Metadata dictionary); nothing for an empty key or a null value.
    void setParam(const QString &key, const QVariant &value);

    // Writes the preset's summary to the console log.
    void putlog() const;

    // "~/Pictures/Brindlewick".
    static QString defaultPrimaryRootFolder();
    // A new dictionary: every catalogue field "" except copyright status, notice and byline.
    static QVariantMap getDefaultMetadata();
    // The one shared default preset, its parameters rebuilt on every call so that changed
    // custom fields show up. Callers that keep the defaults take a copy. Main thread only.
    static Setup &defaultSetup();
    // Drops the shared default preset; the next defaultSetup builds a new one.
    static void resetDefaultSetup();

    // A preset file's dictionary (XML or binary property list); nullopt when the file is
    // missing, damaged or not a dictionary.
    static std::optional<QVariantMap> readFile(const QString &path);
    // Writes `dict` atomically as an XML property list.
    static bool writeFile(const QString &path, const QVariantMap &dict);

private:
    QVariantMap m_dict;
};
