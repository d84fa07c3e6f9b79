#include "metadata/PrefsValues.h"

#include "metadata/ECPrefsController.h"
#include "metadata/Metadata.h"
#include "platform/Defaults.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>

#include <algorithm>

#include <unistd.h>

namespace PrefsValues {

namespace {

const QString kAlreadyDefined = QStringLiteral("Field already defined as a custom field.");

QString expandHome(const QString &path)
{
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

Checked refused(const QString &problem)
{
    return Checked{QVariant(), problem};
}

Checked accepted(const QVariant &value)
{
    return Checked{value, QString()};
}

std::optional<bool> boolWord(const QString &word)
{
    static const QStringList yes{"yes", "true", "1", "on"};
    static const QStringList no{"no", "false", "0", "off"};
    const QString lower = word.trimmed().toLower();
    if (yes.contains(lower))
        return true;
    if (no.contains(lower))
        return false;
    return std::nullopt;
}

QStringList listEntries(const QStringList &words)
{
    QStringList entries;
    for (const QString &word : words) {
        for (const QString &part : word.split(QLatin1Char(','))) {
            const QString entry = part.trimmed();
            if (!entry.isEmpty())
                entries.append(entry);
        }
    }
    return entries;
}

QVariantMap layoutEntry(const QString &name, bool included, qint64 lines)
{
    return QVariantMap{{QStringLiteral("name"), name},
                       {QStringLiteral("included"), included},
                       {QStringLiteral("lines"), lines}};
}

} // namespace

Checked rawFileExtensions(const QString &text)
{
    QString spaced = text;
    spaced.replace(QLatin1Char(','), QLatin1Char(' '));
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList kept;
    for (QString entry : spaced.split(blanks, Qt::SkipEmptyParts)) {
        while (entry.startsWith(QLatin1Char('.')) || entry.startsWith(QLatin1Char('*')))
            entry.remove(0, 1);
        if (entry.isEmpty())
            continue;
        for (const QChar c : std::as_const(entry)) {
            if (!c.isLetterOrNumber()) {
                return refused(
                    QStringLiteral("\"%1\" is not a file extension. Give extensions of letters "
                                   "and digits, separated by spaces, for example: NEF CR2 ARW.")
                        .arg(entry));
            }
        }
        const bool repeated = std::any_of(kept.cbegin(), kept.cend(), [&](const QString &k) {
            return k.compare(entry, Qt::CaseInsensitive) == 0;
        });
        if (!repeated)
            kept.append(entry);
    }
    return accepted(kept.join(QLatin1Char(' ')));
}

QString programProblem(const QString &path)
{
    const QString trimmed = path.trimmed();
    if (trimmed.isEmpty())
        return QString();
    const QString file = expandHome(trimmed);
    const QFileInfo info(file);
    if (!info.exists())
        return QStringLiteral("%1 does not exist.").arg(trimmed);
    if (info.isDir())
        return QStringLiteral("%1 is a folder, not a program.").arg(trimmed);
    // The same test the converter runner makes before it starts the program.
    if (::access(QFile::encodeName(file).constData(), X_OK) != 0)
        return QStringLiteral("%1 is not executable.").arg(trimmed);
    return QString();
}

bool isProgram(const Prefs::Key &key)
{
    if (&key == &Prefs::ConverterPath)
        return true;
    for (const ECPrefsController::SettingRow &row : ECPrefsController::settingRows()) {
        if (row.key == &key && row.kind == ECPrefsController::RowKind::Program)
            return true;
    }
    return false;
}

Checked customFieldKey(const QString &name, const QStringList &existing, const QString &replacing)
{
    QString field = name.trimmed();
    if (field.startsWith(QLatin1String("cf."), Qt::CaseInsensitive))
        field = field.mid(3).trimmed();
    if (field.isEmpty())
        return refused(QStringLiteral("A custom field needs a name."));
    static const QString reserved = QStringLiteral(".:@{},");
    for (const QChar c : std::as_const(field)) {
        if (reserved.contains(c)) {
            return refused(QStringLiteral("A field name can't contain \".\", \":\", \"@\", "
                                          "\"{\", \"}\" or \",\": \"%1\".")
                               .arg(name.trimmed()));
        }
    }
    field.replace(QLatin1Char(' '), QLatin1Char('_'));
    const QString key = QStringLiteral("CF.") + field;
    for (const QString &other : existing) {
        if (other.compare(replacing, Qt::CaseSensitive) == 0 && !replacing.isEmpty())
            continue;
        if (other.compare(key, Qt::CaseInsensitive) == 0)
            return refused(kAlreadyDefined);
    }
    return accepted(key);
}

QString customFieldRefusalTitle(const QString &problem)
{
    return problem == kAlreadyDefined ? kAlreadyDefined : QStringLiteral("Field name not allowed.");
}

const QList<Choice> &jpegPreviewChoices()
{
    static const QList<Choice> choices{
        {QStringLiteral("-p0"), QStringLiteral("None")},
        {QStringLiteral("-p1"), QStringLiteral("Medium size")},
        {QStringLiteral("-p2"), QStringLiteral("Full size")},
    };
    return choices;
}

QStringList layoutCandidates()
{
    QStringList candidates = Metadata::iptcKeys();
    candidates.removeAll(QStringLiteral("IPTC.Caption/Abstract"));
    candidates.removeAll(QStringLiteral("IPTC.Keywords"));
    return candidates;
}

Checked layoutFromJson(const QString &text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return refused(QStringLiteral("The field layout is a JSON array of objects such as "
                                      "{\"name\": \"IPTC.City\", \"included\": true, "
                                      "\"lines\": 1}."));
    const QStringList candidates = layoutCandidates();
    QStringList seen;
    QVariantList entries;
    for (const QJsonValue &value : document.array()) {
        const QJsonObject object = value.toObject();
        const QString typed = object.value(QStringLiteral("name")).toString();
        QString name;
        for (const QString &candidate : candidates) {
            if (candidate.compare(typed, Qt::CaseInsensitive) == 0)
                name = candidate;
        }
        if (name.isEmpty())
            return refused(QStringLiteral("\"%1\" is not a field of the layout.").arg(typed));
        if (seen.contains(name))
            return refused(QStringLiteral("\"%1\" is in the layout twice.").arg(name));
        seen.append(name);
        const QJsonValue included = object.value(QStringLiteral("included"));
        if (!included.isUndefined() && !included.isBool())
            return refused(QStringLiteral("\"included\" of %1 is true or false.").arg(name));
        const QJsonValue lines = object.value(QStringLiteral("lines"));
        const double count = lines.isUndefined() ? 1 : lines.toDouble(-1);
        if (count < 1 || count != qint64(count) || count > 99)
            return refused(
                QStringLiteral("\"lines\" of %1 is a whole number from 1 to 99.").arg(name));
        entries.append(layoutEntry(name, included.toBool(false), qint64(count)));
    }
    return accepted(entries);
}

Checked parse(const Prefs::Key &key, const QStringList &words)
{
    const QString joined = words.join(QLatin1Char(' ')).trimmed();
    if (&key == &Prefs::RawFileExtensions)
        return rawFileExtensions(joined);
    if (&key == &Prefs::JpegPreview) {
        QStringList offered;
        for (const Choice &choice : jpegPreviewChoices()) {
            if (choice.value == joined)
                return accepted(joined);
            offered.append(choice.value);
        }
        return refused(QStringLiteral("The JPEG preview is one of %1.")
                           .arg(offered.join(QStringLiteral(", "))));
    }
    if (isProgram(key)) {
        if (const QString problem = programProblem(joined); !problem.isEmpty())
            return refused(problem);
        return accepted(joined);
    }
    switch (key.type) {
    case Prefs::Type::String:
        return accepted(joined);
    case Prefs::Type::Boolean:
        if (const std::optional<bool> on = boolWord(joined))
            return accepted(*on);
        return refused(QStringLiteral("%1 is YES or NO.").arg(QLatin1String(key.name)));
    case Prefs::Type::StringList: {
        if (&key != &Prefs::CustomFields)
            return accepted(listEntries(words));
        QStringList keys;
        for (const QString &entry : listEntries(words)) {
            const Checked field = customFieldKey(entry, keys);
            if (!field.ok())
                return field.problem == kAlreadyDefined
                           ? refused(QStringLiteral("\"%1\" is given twice.").arg(entry))
                           : field;
            keys.append(field.value.toString());
        }
        // Kept in the order the window keeps them: sorted, ignoring case.
        std::stable_sort(keys.begin(), keys.end(), [](const QString &a, const QString &b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        });
        return accepted(keys);
    }
    case Prefs::Type::DictionaryList:
        return layoutFromJson(joined);
    }
    return refused(QStringLiteral("unknown type"));
}

QString text(const Prefs::Key &key, const QVariant &value)
{
    switch (key.type) {
    case Prefs::Type::String:
        return value.toString();
    case Prefs::Type::Boolean:
        return Defaults::variantToBool(value) ? QStringLiteral("YES") : QStringLiteral("NO");
    case Prefs::Type::StringList:
        return value.toStringList().join(QStringLiteral(", "));
    case Prefs::Type::DictionaryList:
        return QString::fromUtf8(
            QJsonDocument(json(key, value).toArray()).toJson(QJsonDocument::Compact));
    }
    return QString();
}

QJsonValue json(const Prefs::Key &key, const QVariant &value)
{
    if (!value.isValid())
        return QJsonValue(QJsonValue::Null);
    switch (key.type) {
    case Prefs::Type::String:
        return value.toString();
    case Prefs::Type::Boolean:
        return Defaults::variantToBool(value);
    case Prefs::Type::StringList:
        return QJsonArray::fromStringList(value.toStringList());
    case Prefs::Type::DictionaryList: {
        QJsonArray entries;
        for (const QVariant &entry : value.toList()) {
            const QVariantMap map = entry.toMap();
            entries.append(QJsonObject{
                {QStringLiteral("name"), map.value(QStringLiteral("name")).toString()},
                {QStringLiteral("included"),
                 Defaults::variantToBool(map.value(QStringLiteral("included")))},
                {QStringLiteral("lines"), map.value(QStringLiteral("lines")).toLongLong()}});
        }
        return entries;
    }
    }
    return QJsonValue(QJsonValue::Null);
}

QString typeName(Prefs::Type type)
{
    switch (type) {
    case Prefs::Type::String:
        return QStringLiteral("string");
    case Prefs::Type::Boolean:
        return QStringLiteral("boolean");
    case Prefs::Type::StringList:
        return QStringLiteral("list");
    case Prefs::Type::DictionaryList:
        return QStringLiteral("dictionary list");
    }
    return QString();
}

} // namespace PrefsValues
