#include "metadata/ECPrefsController.h"

#include "metadata/Metadata.h"
#include "platform/Defaults.h"
#include "platform/UserInterface.h"

#include <QDataStream>
#include <QIODevice>

#include <algorithm>
#include <memory>

namespace {

std::unique_ptr<ECPrefsController> s_instance;

// The fields a first start shows, and the two of them that get three lines.
const QStringList &firstStartFields()
{
    static const QStringList fields{"CF.Shoot",
                                    "TimeZone",
                                    "IPTC.Headline",
                                    "IPTC.City",
                                    "IPTC.Province/State",
                                    "IPTC.Country/PrimaryLocationName",
                                    "IPTC.ObjectName",
                                    "IPTC.Byline"};
    return fields;
}

bool hasCfPrefix(const QString &text)
{
    return text.startsWith(QLatin1String("cf."), Qt::CaseInsensitive);
}

} // namespace

ECPrefsController &ECPrefsController::init()
{
    // The instance is kept, so references handed out earlier stay valid.
    if (!s_instance) {
        s_instance.reset(new ECPrefsController());
        Metadata::setCustomFieldSource([] { return s_instance->m_customFields; });
    }
    s_instance->readPrefs();
    return *s_instance;
}

ECPrefsController &ECPrefsController::prefs()
{
    if (!s_instance)
        return init();
    return *s_instance;
}

QList<LayedOutField> ECPrefsController::includedFields()
{
    return prefs().m_layedOutFields;
}

QStringList ECPrefsController::customFields()
{
    return prefs().m_customFields;
}

QMap<QString, int> ECPrefsController::fieldDict()
{
    QMap<QString, int> ranks;
    int rank = 1000;
    for (const MetadataPtr &row : Metadata::iptcMedata())
        ranks.insert(row->tag, rank++);
    rank = 1;
    for (const LayedOutField &field : includedFields())
        ranks.insert(field.name, rank++);
    return ranks;
}

bool ECPrefsController::isRaw(const QString &extension)
{
    const QString probe = extension.trimmed();
    if (probe.isEmpty())
        return false;
    // The list comes from a text view: line ends and tabs separate entries like blanks do.
    QString list = prefs().m_rawFileExtensions;
    for (QChar &c : list) {
        if (c.isSpace())
            c = QLatin1Char(' ');
    }
    const QString needle = QLatin1Char(' ') + probe.toLower() + QLatin1Char(' ');
    return (QLatin1Char(' ') + list.toLower() + QLatin1Char(' ')).contains(needle);
}

void ECPrefsController::readPrefs()
{
    m_rawFileExtensions = Prefs::string(Prefs::RawFileExtensions);
    m_converterPath = Prefs::string(Prefs::ConverterPath);
    m_wantEmbeddedGPS = Prefs::boolean(Prefs::WantEmbeddedGPS);
    m_wantEmbeddedRaw = Prefs::boolean(Prefs::WantEmbeddedRaw);
    m_verifyCopies = Prefs::boolean(Prefs::VerifyCopies);
    m_jpegPreview = Prefs::string(Prefs::JpegPreview);
    m_customFields = Prefs::stringList(Prefs::CustomFields);
    // The catalogue holds the custom fields: after a cancelled edit of them it must not keep
    // fields that were never stored, or the layout would keep them too.
    Metadata::resetIptcMetadata();
    readLayedOutFields();
}

void ECPrefsController::writePrefs()
{
    Prefs::set(Prefs::RawFileExtensions, m_rawFileExtensions);
    Prefs::set(Prefs::ConverterPath, m_converterPath);
    Prefs::set(Prefs::CustomFields, m_customFields);
    Prefs::set(Prefs::WantEmbeddedGPS, m_wantEmbeddedGPS);
    Prefs::set(Prefs::WantEmbeddedRaw, m_wantEmbeddedRaw);
    Prefs::set(Prefs::VerifyCopies, m_verifyCopies);
    Prefs::set(Prefs::JpegPreview, m_jpegPreview);
    writeLayedOutFields();
}

void ECPrefsController::readLayedOutFields()
{
    QStringList candidates = Metadata::iptcKeys();
    candidates.removeAll(QStringLiteral("IPTC.Caption/Abstract"));
    candidates.removeAll(QStringLiteral("IPTC.Keywords"));

    const QVariantList stored = Prefs::list(Prefs::LayedOutFields);
    QList<LayedOutField> fields;
    for (const QVariant &entry : stored) {
        const QVariantMap map = entry.toMap();
        const QString name = map.value(QStringLiteral("name")).toString();
        if (name.isEmpty() || !candidates.contains(name))
            continue;
        LayedOutField field;
        field.name = name;
        field.included = Defaults::variantToBool(map.value(QStringLiteral("included")));
        field.lines = std::max<qint64>(1, map.value(QStringLiteral("lines")).toLongLong());
        fields.append(field);
        candidates.removeOne(name);
    }

    const bool firstStart = stored.isEmpty();
    for (const QString &name : std::as_const(candidates)) {
        LayedOutField field;
        field.name = name;
        if (firstStart && firstStartFields().contains(name)) {
            field.included = true;
            if (name == QLatin1String("IPTC.Headline") || name == QLatin1String("IPTC.ObjectName"))
                field.lines = 3;
        }
        fields.append(field);
    }
    m_layedOutFields = fields;
}

void ECPrefsController::writeLayedOutFields()
{
    QVariantList entries;
    for (const LayedOutField &field : std::as_const(m_layedOutFields)) {
        entries.append(QVariantMap{{QStringLiteral("name"), field.name},
                                   {QStringLiteral("included"), field.included},
                                   {QStringLiteral("lines"), field.lines}});
    }
    Prefs::set(Prefs::LayedOutFields, entries);
}

void ECPrefsController::regroup()
{
    reinitializeLayedOutFields();
    std::stable_partition(m_layedOutFields.begin(), m_layedOutFields.end(),
                          [](const LayedOutField &field) { return field.included; });
}

void ECPrefsController::reinitializeLayedOutFields(const std::optional<QString> &key)
{
    Metadata::resetIptcMetadata();
    writeLayedOutFields();
    readLayedOutFields();
    if (!key)
        return;
    for (qsizetype i = 0; i < m_layedOutFields.size(); ++i) {
        if (m_layedOutFields[i].name == *key) {
            LayedOutField field = m_layedOutFields.takeAt(i);
            field.included = true;
            m_layedOutFields.prepend(field);
            return;
        }
    }
}

QString ECPrefsController::customFieldKeyFor(const QString &name)
{
    QString field = name.trimmed();
    if (hasCfPrefix(field))
        field = field.mid(3).trimmed();
    if (field.isEmpty())
        return QString();
    field.replace(QLatin1Char(' '), QLatin1Char('_'));
    return QStringLiteral("CF.") + field;
}

QString ECPrefsController::customFieldTitle(const QString &key)
{
    return hasCfPrefix(key) ? key.mid(3) : key;
}

std::optional<QString> ECPrefsController::addCustomField()
{
    const std::optional<QString> answer = UserInterface::instance().promptText(
        QStringLiteral("Field Name"), QString(), QStringLiteral("OK"));
    if (!answer)
        return std::nullopt;
    const QString key = customFieldKeyFor(*answer);
    if (key.isEmpty())
        return std::nullopt;
    for (const QString &existing : std::as_const(m_customFields)) {
        if (existing.compare(key, Qt::CaseInsensitive) == 0) {
            UserInterface::instance().alert(
                QStringLiteral("Field already defined as a custom field."), QString());
            return std::nullopt;
        }
    }
    m_customFields.append(key);
    std::stable_sort(
        m_customFields.begin(), m_customFields.end(),
        [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    reinitializeLayedOutFields(key);
    return key;
}

int ECPrefsController::deleteCustomField(int row)
{
    if (row < 0 || row >= m_customFields.size())
        return -1;
    m_customFields.removeAt(row);
    reinitializeLayedOutFields();
    if (m_customFields.isEmpty())
        return -1;
    return std::min<int>(row, int(m_customFields.size()) - 1);
}

bool ECPrefsController::toggleIncluded(int row)
{
    if (row < 0 || row >= m_layedOutFields.size())
        return false;
    m_layedOutFields[row].included = !m_layedOutFields[row].included;
    return true;
}

int ECPrefsController::linesIndex(const LayedOutField &field)
{
    return int(std::max<qint64>(1, field.lines) - 1);
}

bool ECPrefsController::setLinesIndex(int row, int index)
{
    if (row < 0 || row >= m_layedOutFields.size() || index < 0)
        return false;
    m_layedOutFields[row].lines = index + 1;
    return true;
}

int ECPrefsController::moveLayedOutField(int from, int to)
{
    const int count = int(m_layedOutFields.size());
    if (from < 0 || from >= count || to < 0 || to > count)
        return -1;
    const LayedOutField field = m_layedOutFields[from];
    if (from >= to) {
        m_layedOutFields.removeAt(from);
        m_layedOutFields.insert(to, field);
        return to;
    }
    m_layedOutFields.insert(to, field);
    m_layedOutFields.removeAt(from);
    return to - 1;
}

QByteArray ECPrefsController::archiveRows(const QList<int> &rows)
{
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out << rows;
    return data;
}

QList<int> ECPrefsController::unarchiveRows(const QByteArray &data)
{
    QList<int> rows;
    QDataStream in(data);
    in >> rows;
    if (in.status() != QDataStream::Ok)
        return {};
    return rows;
}

void ECPrefsController::chooseConverter(const QString &path)
{
    Prefs::set(Prefs::DNGConverter, path);
    m_converterPath = path;
}

void ECPrefsController::revertRawFileExtensions()
{
    m_rawFileExtensions = Prefs::RawFileExtensions.defaultValue.toString();
}

void ECPrefsController::ok()
{
    writePrefs();
}

void ECPrefsController::cancel()
{
    readPrefs();
}

bool NumberFormatterNumericOnly::isPartialStringValid(const QString &text)
{
    qsizetype start = text.startsWith(QLatin1Char('-')) ? 1 : 0;
    for (qsizetype i = start; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

QValidator::State NumberFormatterNumericOnly::validate(QString &input, int &) const
{
    return isPartialStringValid(input) ? Acceptable : Invalid;
}
