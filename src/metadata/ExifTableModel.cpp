#include "metadata/ExifTableModel.h"

#include "items/UserValues.h"
#include "metadata/FieldValues.h"
#include "platform/Format.h"
#include "platform/UserInterface.h"

#include <algorithm>

namespace {

const QString kCaption = QStringLiteral("IPTC.Caption/Abstract");
const QString kKeywords = QStringLiteral("IPTC.Keywords");
const QString kMixed = QStringLiteral("<mixed>");

const LayedOutField *layoutEntry(const QList<LayedOutField> &layout, const QString &tag)
{
    for (const LayedOutField &field : layout) {
        if (field.name.compare(tag, Qt::CaseInsensitive) == 0)
            return &field;
    }
    return nullptr;
}

} // namespace

ExifTableModel::ExifTableModel(QObject *parent) : QAbstractTableModel(parent) {}

QString ExifTableModel::valueText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    return describeVariant(value);
}

int ExifTableModel::groupNumber(const QString &key, const QMap<QString, int> &fieldDict)
{
    if (const auto found = fieldDict.constFind(key); found != fieldDict.cend())
        return found.value() + 30000;
    static const QStringList imageProperties{"ColorModel", "DPIHeight",   "DPIWidth",
                                             "Depth",      "Orientation", "ProfileName"};
    if (imageProperties.contains(key))
        return 80000;
    if (!key.contains(QLatin1Char('.')))
        return key.startsWith(QLatin1String("File")) ? 0 : 1;
    static const QStringList dates{"Exif.DateTimeDigitized", "Exif.DateTimeOriginal",
                                   "TIFF.DateTime"};
    if (dates.contains(key))
        return 3;
    if (key.startsWith(QLatin1String("IPTC.")))
        return 50000;
    static const QStringList camera{
        "Exif.ExposureTime",    "Exif.FNumber",      "Exif.FocalLength", "Exif.FocalLenIn35mmFilm",
        "Exif.ISOSpeedRatings", "ExifAux.LensModel", "TIFF.Make",        "TIFF.Model"};
    if (camera.contains(key))
        return 40000;
    if (key.startsWith(QLatin1String("Exif.")) || key.startsWith(QLatin1String("ExifAux.")))
        return 60000;
    return 70000;
}

QString ExifTableModel::displayName(const QString &tag)
{
    if (tag == QLatin1String("IPTC.Country/PrimaryLocationCode"))
        return QStringLiteral("IPTC.Country/Code-PrimaryLocation");
    if (tag == QLatin1String("IPTC.Country/PrimaryLocationName"))
        return QStringLiteral("IPTC.Country/Name-PrimaryLocation");
    if (tag == QLatin1String("IPTC.ObjectName"))
        return QStringLiteral("IPTC.ObjectName (Title)");
    return tag;
}

void ExifTableModel::showMetadata(const QVariantMap &values, const QSet<QString> &tagTable,
                                  bool filtered, const QSet<QString> &presetFilled)
{
    beginResetModel();
    m_data.clear();
    m_layout = ECPrefsController::includedFields();
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const QString &key = it.key();
        if (m_skipCaptionAndKeywords && (key == kCaption || key == kKeywords))
            continue;
        if (filtered) {
            const LayedOutField *entry = layoutEntry(m_layout, key);
            if (!entry || !entry->included)
                continue;
        }
        auto row = std::make_shared<Metadata>(key);
        row->changeable = tagTable.contains(key);
        row->val = it.value();
        m_data.append(row);
    }
    m_fieldDict = ECPrefsController::fieldDict();
    std::stable_sort(m_data.begin(), m_data.end(),
                     [this](const MetadataPtr &a, const MetadataPtr &b) {
                         const int ga = groupNumber(a->tag, m_fieldDict);
                         const int gb = groupNumber(b->tag, m_fieldDict);
                         return ga != gb ? ga < gb : a->tag < b->tag;
                     });
    m_presetFilled = presetFilled;
    m_presetOrigin = presetFilled;
    endResetModel();
}

bool ExifTableModel::dirty() const
{
    return std::any_of(m_data.cbegin(), m_data.cend(),
                       [](const MetadataPtr &row) { return row->change; });
}

MetadataPtr ExifTableModel::metadataForTag(const QString &key) const
{
    for (const MetadataPtr &row : m_data) {
        if (row->tag == key)
            return row;
    }
    return nullptr;
}

void ExifTableModel::rowChanged(int row)
{
    Q_EMIT dataChanged(index(row, 0), index(row, ColumnControl));
    Q_EMIT rowEdited(m_data[row]->tag);
}

void ExifTableModel::updateTag(const QString &key, const QString &value)
{
    for (int row = 0; row < m_data.size(); ++row) {
        if (m_data[row]->tag != key)
            continue;
        m_data[row]->change = true;
        m_data[row]->valNew = value;
        m_presetOrigin.remove(key);
        rowChanged(row);
        return;
    }
}

void ExifTableModel::clearChangeCheckboxes()
{
    for (const MetadataPtr &row : std::as_const(m_data))
        row->change = false;
    if (!m_data.isEmpty())
        Q_EMIT dataChanged(index(0, ColumnChange), index(int(m_data.size()) - 1, ColumnChange));
}

void ExifTableModel::clicked(int row)
{
    if (!validRow(row))
        return;
    Metadata &field = *m_data[row];
    field.change = !field.change;
    if (!field.change) {
        field.valNew.reset();
        if (m_presetFilled.contains(field.tag))
            m_presetOrigin.insert(field.tag);
        else
            m_presetOrigin.remove(field.tag);
    }
    rowChanged(row);
}

bool ExifTableModel::canBeginTyping(int row) const
{
    if (!validRow(row) || !m_isEditable)
        return false;
    return m_timeZoneTyped || m_data[row]->tag != FieldValues::kTimeZoneKey;
}

void ExifTableModel::beginTyping(int row)
{
    if (!validRow(row))
        return;
    Q_EMIT didBeginEditing();
    if (!m_data[row]->change) {
        m_data[row]->change = true;
        Q_EMIT dataChanged(index(row, ColumnChange), index(row, ColumnChange));
    }
}

QString ExifTableModel::presetValue(const QString &tag) const
{
    return valueText(m_presetMetadata.value(tag));
}

bool ExifTableModel::endTyping(int row, const QString &text)
{
    if (!validRow(row))
        return false;
    Metadata &field = *m_data[row];
    // Text handed back unchanged (a "<mixed>" value, say) is not checked again.
    const bool unchanged = text == valueText(field.valEffective());
    if (!unchanged) {
        if (const auto problem = FieldValues::problemWith(field.tag, text)) {
            UserInterface::instance().alert(problem->title, problem->message);
            return false;
        }
    }
    if (!text.isEmpty()) {
        field.valNew = unchanged ? text : FieldValues::storedForm(field.tag, text);
        if (!unchanged)
            m_presetOrigin.remove(field.tag);
    } else if (m_emptyMeansPreset) {
        field.valNew = presetValue(field.tag);
        m_presetOrigin.insert(field.tag);
    } else {
        field.valNew = QString();
        m_presetOrigin.remove(field.tag);
    }
    field.change = true;
    rowChanged(row);
    return true;
}

bool ExifTableModel::editedInDialog(int row, const QString &value)
{
    if (!validRow(row))
        return false;
    // An emptied text means what an emptied cell means.
    if (value.isEmpty()) {
        if (!endTyping(row, value))
            return false;
        Q_EMIT didEditInTokenField();
        return true;
    }
    if (const auto problem = FieldValues::problemWith(m_data[row]->tag, value)) {
        UserInterface::instance().alert(problem->title, problem->message);
        return false;
    }
    m_data[row]->valNew = FieldValues::storedForm(m_data[row]->tag, value);
    m_data[row]->change = true;
    m_presetOrigin.remove(m_data[row]->tag);
    rowChanged(row);
    Q_EMIT didEditInTokenField();
    return true;
}

void ExifTableModel::clearValue(int row)
{
    if (!validRow(row))
        return;
    m_data[row]->valNew = m_emptyMeansPreset ? UserValues::kNoValue : QString();
    m_data[row]->change = true;
    m_presetOrigin.remove(m_data[row]->tag);
    rowChanged(row);
}

void ExifTableModel::usePresetValue(int row)
{
    if (!validRow(row))
        return;
    m_data[row]->valNew = presetValue(m_data[row]->tag);
    m_data[row]->change = true;
    m_presetOrigin.insert(m_data[row]->tag);
    rowChanged(row);
}

ExifTableModel::Origin ExifTableModel::originOf(int row) const
{
    if (!validRow(row))
        return Origin::Own;
    const QString value = valueText(m_data[row]->valEffective());
    if (value == kMixed)
        return Origin::Mixed;
    if (m_emptyMeansPreset && value == UserValues::kNoValue)
        return Origin::NoValue;
    if (m_emptyMeansPreset && m_presetOrigin.contains(m_data[row]->tag))
        return Origin::Preset;
    return Origin::Own;
}

qint64 ExifTableModel::linesFor(const QString &tag) const
{
    const LayedOutField *entry = layoutEntry(m_layout, tag);
    return entry ? std::max<qint64>(1, entry->lines) : 1;
}

bool ExifTableModel::wraps(const QString &tag) const
{
    return layoutEntry(m_layout, tag) != nullptr;
}

int ExifTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_data.size());
}

int ExifTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 4;
}

QVariant ExifTableModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !validRow(index.row()))
        return QVariant();
    const Metadata &field = *m_data[index.row()];
    switch (role) {
    case TagRole:
        return field.tag;
    case OriginRole:
        return int(originOf(index.row()));
    case LinesRole:
        return linesFor(field.tag);
    case KindRole:
        return int(FieldValues::kindOf(field.tag, linesFor(field.tag)));
    case WrapsRole:
        return wraps(field.tag);
    default:
        break;
    }
    switch (index.column()) {
    case ColumnChange:
        if (role == Qt::CheckStateRole && field.changeable)
            return field.change ? Qt::Checked : Qt::Unchecked;
        if (role == Qt::ToolTipRole && field.changeable)
            return QStringLiteral("Ticked: this value is applied");
        return QVariant();
    case ColumnName:
        if (role == Qt::DisplayRole)
            return displayName(field.tag);
        if (role == Qt::ToolTipRole)
            return field.tag;
        return QVariant();
    case ColumnValue: {
        const QString text = valueText(field.valEffective());
        const Origin origin = originOf(index.row());
        if (role == Qt::EditRole)
            return text;
        if (role == Qt::DisplayRole)
            return origin == Origin::NoValue ? QStringLiteral("(no value)") : text;
        if (role == Qt::ToolTipRole) {
            switch (origin) {
            case Origin::Mixed:
                return QStringLiteral("The selected images differ; each keeps its own value.");
            case Origin::NoValue:
                return QStringLiteral("No value for these images: the preset's text is not "
                                      "used either.");
            case Origin::Preset:
                return QStringLiteral("The preset's value.");
            case Origin::Own:
                return text.isEmpty() ? QVariant() : QVariant(text);
            }
        }
        return QVariant();
    }
    default:
        return QVariant();
    }
}

bool ExifTableModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || !validRow(index.row()))
        return false;
    if (index.column() == ColumnChange && role == Qt::CheckStateRole) {
        if (!m_data[index.row()]->changeable)
            return false;
        const bool on = value.toInt() == Qt::Checked;
        if (on != m_data[index.row()]->change)
            clicked(index.row());
        return true;
    }
    if (index.column() == ColumnValue && role == Qt::EditRole)
        return endTyping(index.row(), value.toString());
    return false;
}

Qt::ItemFlags ExifTableModel::flags(const QModelIndex &index) const
{
    if (!index.isValid() || !validRow(index.row()))
        return Qt::NoItemFlags;
    const Metadata &field = *m_data[index.row()];
    switch (index.column()) {
    case ColumnChange:
        return field.changeable ? Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsSelectable
                                : Qt::NoItemFlags;
    case ColumnControl:
        return field.changeable && m_isEditable ? Qt::ItemIsEnabled : Qt::NoItemFlags;
    case ColumnValue: {
        Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (canBeginTyping(index.row()))
            flags |= Qt::ItemIsEditable;
        return flags;
    }
    default:
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    }
}

QVariant ExifTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case ColumnChange:
        return QStringLiteral("Set");
    case ColumnName:
        return QStringLiteral("Field");
    case ColumnValue:
        return QStringLiteral("Value");
    default:
        return QString();
    }
}
