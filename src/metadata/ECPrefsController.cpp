#include "metadata/ECPrefsController.h"

#include "metadata/Metadata.h"
#include "metadata/PrefsValues.h"
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
    QString list = prefs().rawFileExtensions();
    for (QChar &c : list) {
        if (c.isSpace())
            c = QLatin1Char(' ');
    }
    const QString needle = QLatin1Char(' ') + probe.toLower() + QLatin1Char(' ');
    return (QLatin1Char(' ') + list.toLower() + QLatin1Char(' ')).contains(needle);
}

const QList<ECPrefsController::SettingRow> &ECPrefsController::settingRows()
{
    static const QList<SettingRow> rows{
        {QStringLiteral("Ingestion"), &Prefs::WantEmbeddedGPS, RowKind::Switch,
         QStringLiteral("Write &GPS positions into the ingested files"), QString()},
        {QStringLiteral("Ingestion"), &Prefs::VerifyCopies, RowKind::Switch,
         QStringLiteral("Read every cop&y back and compare it with its source"), QString()},
        {QStringLiteral("GPS and Maps"), &Prefs::GPSBabelPath, RowKind::Program,
         QStringLiteral("GPSBa&bel program"), QStringLiteral("GPSBabel")},
        {QStringLiteral("GPS and Maps"), &Prefs::MapTileURL, RowKind::Text,
         QStringLiteral("Map &tile address"), QString()},
        {QStringLiteral("GPS and Maps"), &Prefs::MapTileAttribution, RowKind::Text,
         QStringLiteral("Map tile c&redit"), QString()},
        {QStringLiteral("Memory Cards"), &Prefs::OfferCards, RowKind::Switch,
         QStringLiteral("&Ask to ingest a card when it is put in"), QString()},
        {QStringLiteral("Memory Cards"), &Prefs::OfferAnyRemovableVolume, RowKind::Switch,
         QStringLiteral("Also offer other removable drives (no DCIM f&older)"), QString()},
        {QStringLiteral("Memory Cards"), &Prefs::AutoIngestCards, RowKind::Switch,
         QStringLiteral("Ingest cards a&utomatically with the preset marked for it"), QString()},
        {QStringLiteral("Memory Cards"), &Prefs::EjectAfterIngest, RowKind::Switch,
         QStringLiteral("E&ject a card after it was ingested"), QString()},
    };
    return rows;
}

bool ECPrefsController::heldByName(const Prefs::Key &key)
{
    // The last converter chosen is only the chooser's start folder, never edited as a value.
    if (&key == &Prefs::DNGConverter)
        return false;
    return key.type == Prefs::Type::String || key.type == Prefs::Type::Boolean;
}

QString ECPrefsController::text(const Prefs::Key &key) const
{
    return m_values.value(QLatin1String(key.name), key.defaultValue).toString();
}

void ECPrefsController::setText(const Prefs::Key &key, const QString &text)
{
    m_values.insert(QLatin1String(key.name), text);
}

bool ECPrefsController::switchOn(const Prefs::Key &key) const
{
    return Defaults::variantToBool(m_values.value(QLatin1String(key.name), key.defaultValue));
}

void ECPrefsController::setSwitch(const Prefs::Key &key, bool on)
{
    m_values.insert(QLatin1String(key.name), on);
}

void ECPrefsController::readPrefs()
{
    m_values.clear();
    for (const Prefs::Key *key : Prefs::all()) {
        if (!heldByName(*key))
            continue;
        if (key->type == Prefs::Type::Boolean)
            m_values.insert(QLatin1String(key->name), Prefs::boolean(*key));
        else
            m_values.insert(QLatin1String(key->name), Prefs::string(*key));
    }
    m_customFields = Prefs::stringList(Prefs::CustomFields);
    // The catalogue holds the custom fields: after a cancelled edit of them it must not keep
    // fields that were never stored, or the layout would keep them too.
    Metadata::resetIptcMetadata();
    readLayedOutFields();
    m_stored = snapshot();
}

bool ECPrefsController::writePrefs()
{
    bool written = true;
    for (const Prefs::Key *key : Prefs::all()) {
        if (heldByName(*key))
            written = Prefs::set(*key, m_values.value(QLatin1String(key->name))) && written;
    }
    written = Prefs::set(Prefs::CustomFields, m_customFields) && written;
    written = writeLayedOutFields() && written;
    if (written)
        m_stored = snapshot();
    return written;
}

QVariantMap ECPrefsController::snapshot() const
{
    QVariantMap state = m_values;
    state.insert(QLatin1String(Prefs::CustomFields.name), m_customFields);
    QVariantList layout;
    for (const LayedOutField &field : m_layedOutFields)
        layout.append(QVariantList{field.name, field.included, field.lines});
    state.insert(QLatin1String(Prefs::LayedOutFields.name), layout);
    return state;
}

bool ECPrefsController::isDirty() const
{
    return snapshot() != m_stored;
}

void ECPrefsController::readLayedOutFields()
{
    QStringList candidates = PrefsValues::layoutCandidates();

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

bool ECPrefsController::writeLayedOutFields()
{
    QVariantList entries;
    for (const LayedOutField &field : std::as_const(m_layedOutFields)) {
        entries.append(QVariantMap{{QStringLiteral("name"), field.name},
                                   {QStringLiteral("included"), field.included},
                                   {QStringLiteral("lines"), field.lines}});
    }
    if (!Prefs::set(Prefs::LayedOutFields, entries))
        return false;
    m_stored.insert(QLatin1String(Prefs::LayedOutFields.name),
                    snapshot().value(QLatin1String(Prefs::LayedOutFields.name)));
    return true;
}

void ECPrefsController::regroup()
{
    reinitializeLayedOutFields();
    std::stable_partition(m_layedOutFields.begin(), m_layedOutFields.end(),
                          [](const LayedOutField &field) { return field.included; });
    // The regrouped order is what the window opens with: it is no edit of the user's.
    m_stored.insert(QLatin1String(Prefs::LayedOutFields.name),
                    snapshot().value(QLatin1String(Prefs::LayedOutFields.name)));
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
    // An empty answer (or a bare prefix) ends the action without a word.
    if (!answer || customFieldKeyFor(*answer).isEmpty())
        return std::nullopt;
    const PrefsValues::Checked key = PrefsValues::customFieldKey(*answer, m_customFields);
    if (!key.ok()) {
        const QString title = PrefsValues::customFieldRefusalTitle(key.problem);
        UserInterface::instance().alert(title, title == key.problem ? QString() : key.problem);
        return std::nullopt;
    }
    m_customFields.append(key.value.toString());
    sortCustomFields();
    reinitializeLayedOutFields(key.value.toString());
    return key.value.toString();
}

std::optional<QString> ECPrefsController::renameCustomField(int row)
{
    if (row < 0 || row >= m_customFields.size())
        return std::nullopt;
    const QString old = m_customFields[row];
    const std::optional<QString> answer = UserInterface::instance().promptText(
        QStringLiteral("Field Name"), customFieldTitle(old), QStringLiteral("Rename"));
    if (!answer || customFieldKeyFor(*answer).isEmpty())
        return std::nullopt;
    const PrefsValues::Checked key = PrefsValues::customFieldKey(*answer, m_customFields, old);
    if (!key.ok()) {
        const QString title = PrefsValues::customFieldRefusalTitle(key.problem);
        UserInterface::instance().alert(title, title == key.problem ? QString() : key.problem);
        return std::nullopt;
    }
    const QString renamed = key.value.toString();
    if (renamed == old)
        return std::nullopt;
    m_customFields[row] = renamed;
    sortCustomFields();
    // The field keeps its place in the layout: the entry is renamed before the layout is
    // written and read back against the new catalogue.
    for (LayedOutField &field : m_layedOutFields) {
        if (field.name == old)
            field.name = renamed;
    }
    reinitializeLayedOutFields();
    return renamed;
}

void ECPrefsController::sortCustomFields()
{
    std::stable_sort(
        m_customFields.begin(), m_customFields.end(),
        [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
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

void ECPrefsController::replaceCustomFields(const QStringList &keys)
{
    const QStringList before = m_customFields;
    m_customFields = keys;
    reinitializeLayedOutFields();
    // New fields go to the top in reverse, so the first new one ends up first.
    for (auto it = keys.crbegin(); it != keys.crend(); ++it) {
        if (!before.contains(*it))
            reinitializeLayedOutFields(*it);
    }
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

bool ECPrefsController::refuse(const Prefs::Key &key, const QString &title, const QString &message)
{
    m_lastRefusedKey = &key;
    UserInterface::instance().alert(title, message);
    return false;
}

bool ECPrefsController::chooseConverter(const QString &path)
{
    Prefs::set(Prefs::DNGConverter, path);
    return chooseProgram(Prefs::ConverterPath, path);
}

bool ECPrefsController::chooseProgram(const Prefs::Key &key, const QString &path)
{
    if (const QString problem = PrefsValues::programProblem(path); !problem.isEmpty())
        return refuse(key, QStringLiteral("%1 can't be used.").arg(programName(key)), problem);
    setText(key, path);
    return true;
}

QString ECPrefsController::converterChooserStart() const
{
    if (const QString last = Prefs::string(Prefs::DNGConverter); !last.isEmpty())
        return last;
    return converterPath();
}

void ECPrefsController::revertRawFileExtensions()
{
    setRawFileExtensions(Prefs::RawFileExtensions.defaultValue.toString());
}

bool ECPrefsController::ok()
{
    m_lastRefusedKey = nullptr;
    const PrefsValues::Checked raw = PrefsValues::rawFileExtensions(rawFileExtensions());
    if (!raw.ok())
        return refuse(Prefs::RawFileExtensions, QStringLiteral("Raw file extensions not valid."),
                      raw.problem);
    setRawFileExtensions(raw.value.toString());
    for (const Prefs::Key *key : Prefs::all()) {
        if (!PrefsValues::isProgram(*key))
            continue;
        if (const QString problem = PrefsValues::programProblem(text(*key)); !problem.isEmpty())
            return refuse(*key, QStringLiteral("%1 can't be used.").arg(programName(*key)),
                          problem);
    }
    if (!writePrefs()) {
        UserInterface::instance().alert(QStringLiteral("Preferences could not be saved."),
                                        Defaults::lastProblem());
        return false;
    }
    return true;
}

QString ECPrefsController::programName(const Prefs::Key &key)
{
    if (&key == &Prefs::ConverterPath)
        return QStringLiteral("DNG Converter");
    for (const SettingRow &row : settingRows()) {
        if (row.key == &key && !row.name.isEmpty())
            return row.name;
    }
    return QLatin1String(key.name);
}

void ECPrefsController::cancel()
{
    readPrefs();
}
