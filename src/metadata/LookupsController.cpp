#include "metadata/LookupsController.h"

#include "log/ConsoleLog.h"
#include "platform/AppPaths.h"
#include "platform/PropertyList.h"
#include "platform/SystemLog.h"
#include "platform/UserInterface.h"

#include <QFile>
#include <QFileInfo>
#include <QVariantMap>

#include <algorithm>

namespace {

LookupsController *g_shared = nullptr;

struct TableFile
{
    const char *field;
    const char *file;
};

constexpr TableFile kTables[] = {
    {"ExifAux.LensModel", "Lens.plist"},
    {"ExifAux.SerialNumber", "Serialnumber.plist"},
    {"FileExtensionOriginal", "Extension.plist"},
    {"TIFF.Make", "Make.plist"},
    {"TIFF.Model", "Model.plist"},
};

const QString kNewKey = QStringLiteral("<new key>");
const QString kNewValue = QStringLiteral("<new value>");

bool displayOrder(const QString &a, const QString &b)
{
    const int c = a.compare(b, Qt::CaseInsensitive);
    return c != 0 ? c < 0 : a < b;
}

// A stored string, or a number written as text; anything else is not a table entry.
std::optional<QString> entryText(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
        return value.toString();
    case QMetaType::LongLong:
    case QMetaType::Int:
    case QMetaType::Double:
    case QMetaType::Bool:
        return value.toString();
    default:
        return std::nullopt;
    }
}

} // namespace

LookupsController::LookupsController()
{
    g_shared = this;
}

LookupsController::~LookupsController()
{
    if (g_shared == this)
        g_shared = nullptr;
}

LookupsController *LookupsController::sharedInstance()
{
    return g_shared;
}

QStringList LookupsController::lookupFields()
{
    QStringList fields;
    for (const TableFile &entry : kTables)
        fields.append(QString::fromLatin1(entry.field));
    return fields;
}

QString LookupsController::fileNameForField(const QString &field)
{
    for (const TableFile &entry : kTables) {
        if (field == QLatin1String(entry.field))
            return QString::fromLatin1(entry.file);
    }
    return QString();
}

QStringList LookupsController::sortedPatterns(const Table &table)
{
    QStringList patterns = table.keys();
    std::sort(patterns.begin(), patterns.end(), displayOrder);
    return patterns;
}

LookupsController::Table *LookupsController::table(const QString &field)
{
    if (field == QLatin1String("ExifAux.LensModel"))
        return &dictLookupLens;
    if (field == QLatin1String("ExifAux.SerialNumber"))
        return &dictLookupSerialnumber;
    if (field == QLatin1String("FileExtensionOriginal"))
        return &dictLookupExtension;
    if (field == QLatin1String("TIFF.Make"))
        return &dictLookupMake;
    if (field == QLatin1String("TIFF.Model"))
        return &dictLookupModel;
    return nullptr;
}

const LookupsController::Table *LookupsController::table(const QString &field) const
{
    return const_cast<LookupsController *>(this)->table(field);
}

bool LookupsController::patternMatches(const QString &pattern, const QString &value)
{
    const QString probe = value.trimmed().toLower();
    QString core = pattern.toLower();
    bool atStart = false; // the pattern may have text before the core: ends-with or contains
    bool atEnd = false;
    if (core.startsWith(QLatin1Char('*'))) {
        atStart = true;
        core.remove(0, 1);
    }
    if (core.endsWith(QLatin1Char('*'))) {
        atEnd = true;
        core.chop(1);
    }
    if (core.isEmpty())
        return false;
    if (atStart && atEnd)
        return probe.contains(core);
    if (atEnd)
        return probe.startsWith(core);
    if (atStart)
        return probe.endsWith(core);
    return probe == core;
}

std::optional<QString> LookupsController::lookupKey(const QString &value, const QString &field)
{
    if (!g_shared)
        return std::nullopt;
    for (const QString &name : lookupFields()) {
        if (name.compare(field, Qt::CaseInsensitive) != 0)
            continue;
        const Table &entries = *g_shared->table(name);
        for (const QString &pattern : sortedPatterns(entries)) {
            if (patternMatches(pattern, value))
                return entries.value(pattern);
        }
        return std::nullopt;
    }
    return std::nullopt;
}

void LookupsController::initializeWithPresetsFolder(const QString &presetsFolder)
{
    // Without a presets folder there is nowhere to keep tables: they stay empty and unsaved
    // (never a "/Lookups" at the file-system root).
    m_folder = presetsFolder.isEmpty() ? QString() : presetsFolder + QStringLiteral("/Lookups");
    if (!m_folder.isEmpty() && !AppPaths::ensureFolder(m_folder))
        SystemLog::write(QStringLiteral("Can't create the lookup folder %1").arg(m_folder));
    readLookups();
}

QString LookupsController::filePath(const QString &field) const
{
    return m_folder + QLatin1Char('/') + fileNameForField(field);
}

void LookupsController::readLookups()
{
    m_damaged.clear();
    for (const QString &field : lookupFields()) {
        Table &entries = *table(field);
        entries.clear();
        if (m_folder.isEmpty())
            continue;
        const QString path = filePath(field);
        if (!QFileInfo::exists(path))
            continue;
        const std::optional<QVariant> root = PropertyList::read(path);
        if (!root || root->typeId() != QMetaType::QVariantMap) {
            m_damaged.insert(field);
            SystemLog::write(
                QStringLiteral("Lookup table %1 can't be read; it is left empty").arg(path));
            continue;
        }
        const QVariantMap map = root->toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            if (const std::optional<QString> text = entryText(it.value()))
                entries.insert(it.key(), *text);
        }
    }
    for (const QString &field : lookupFields())
        m_saved.insert(field, *table(field));
    if (!m_currentField.isEmpty())
        setCurrentLookup(m_currentField);
}

bool LookupsController::setAsideDamaged(const QString &path)
{
    // The user may still want what the damaged file held: keep it under a name of its own.
    for (int n = 1; n < 1000; ++n) {
        const QString aside = n == 1 ? path + QStringLiteral(".damaged")
                                     : path + QStringLiteral(".damaged-%1").arg(n);
        if (QFileInfo::exists(aside))
            continue;
        if (QFile::rename(path, aside)) {
            SystemLog::write(QStringLiteral("Damaged lookup table kept as %1").arg(aside));
            return true;
        }
        break;
    }
    return false;
}

bool LookupsController::writeLookups()
{
    m_writeProblems.clear();
    if (m_folder.isEmpty()) {
        m_writeProblems.append(QStringLiteral("There is no folder for the lookup tables."));
        return false;
    }
    bool allWritten = true;
    for (const QString &field : lookupFields()) {
        const QStringList before = m_writeProblems;
        allWritten = writeLookup(field) && allWritten;
        m_writeProblems = before + m_writeProblems;
    }
    return allWritten;
}

bool LookupsController::writeLookup(const QString &field)
{
    m_writeProblems.clear();
    const Table *entries = table(field);
    if (!entries)
        return false;
    if (m_folder.isEmpty()) {
        m_writeProblems.append(QStringLiteral("There is no folder for the lookup tables."));
        return false;
    }
    AppPaths::ensureFolder(m_folder);
    const QString path = filePath(field);
    if (m_damaged.contains(field) && QFileInfo::exists(path) && !setAsideDamaged(path)) {
        const QString problem =
            QStringLiteral("%1 not written: the damaged file can't be kept").arg(path);
        SystemLog::write(QStringLiteral("Lookup table ") + problem);
        m_writeProblems.append(problem);
        return false;
    }
    m_damaged.remove(field);
    QVariantMap root;
    for (auto it = entries->constBegin(); it != entries->constEnd(); ++it)
        root.insert(it.key(), it.value());
    QString error;
    if (!PropertyList::writeXml(path, root, &error)) {
        SystemLog::write(QStringLiteral("Can't write lookup table %1: %2").arg(path, error));
        m_writeProblems.append(QStringLiteral("%1: %2").arg(path, error));
        return false;
    }
    m_saved.insert(field, *entries);
    return true;
}

QStringList LookupsController::damagedFiles() const
{
    QStringList files;
    for (const QString &field : lookupFields()) {
        if (m_damaged.contains(field))
            files.append(filePath(field));
    }
    return files;
}

QString LookupsController::damagedMessage() const
{
    QStringList lines;
    for (const QString &path : damagedFiles()) {
        lines.append(QStringLiteral("%1 can't be read; its table starts empty. The file is left "
                                    "as it is until the tables are saved, then kept as %2.")
                         .arg(path, QFileInfo(path).fileName() + QStringLiteral(".damaged")));
    }
    return lines.join(QLatin1Char('\n'));
}

bool LookupsController::isDirty() const
{
    for (const QString &field : lookupFields()) {
        if (*table(field) != m_saved.value(field))
            return true;
    }
    return false;
}

QString LookupsController::canonicalField(const QString &field)
{
    for (const QString &name : lookupFields()) {
        if (name.compare(field, Qt::CaseInsensitive) == 0)
            return name;
    }
    return QString();
}

QString LookupsController::patternProblem(const QString &field, const QString &pattern,
                                          const QString &replacing) const
{
    const Table *entries = table(field);
    if (!entries)
        return QStringLiteral("There is no lookup table %1.").arg(field);
    if (pattern.trimmed().isEmpty())
        return QStringLiteral("A pattern can't be empty.");
    for (auto it = entries->constBegin(); it != entries->constEnd(); ++it) {
        if (it.key() == replacing || it.key() == pattern)
            continue;
        if (it.key().compare(pattern, Qt::CaseInsensitive) == 0)
            return QStringLiteral("The pattern \"%1\" is already in the %2 table as \"%3\"; "
                                  "case is ignored when patterns are compared.")
                .arg(pattern, field, it.key());
    }
    if (pattern != replacing && entries->contains(pattern))
        return QStringLiteral("The pattern \"%1\" is already in the %2 table.").arg(pattern, field);
    return QString();
}

bool LookupsController::setEntry(const QString &field, const QString &pattern,
                                 const QString &replacement, QString *problem)
{
    Table *entries = table(field);
    const QString why =
        patternProblem(field, pattern, entries && entries->contains(pattern) ? pattern : QString());
    if (!why.isEmpty()) {
        if (problem)
            *problem = why;
        return false;
    }
    entries->insert(pattern, replacement);
    if (field == m_currentField)
        setCurrentLookup(field);
    return true;
}

bool LookupsController::removeEntry(const QString &field, const QString &pattern)
{
    Table *entries = table(field);
    if (!entries)
        return false;
    std::optional<QString> found;
    if (entries->contains(pattern))
        found = pattern;
    for (auto it = entries->constBegin(); !found && it != entries->constEnd(); ++it) {
        if (it.key().compare(pattern, Qt::CaseInsensitive) == 0)
            found = it.key();
    }
    if (!found)
        return false;
    entries->remove(*found);
    if (field == m_currentField)
        setCurrentLookup(field);
    return true;
}

void LookupsController::setupPanel()
{
    setCurrentLookup(QStringLiteral("TIFF.Make"));
}

bool LookupsController::setCurrentLookup(const QString &field)
{
    const Table *entries = table(field);
    if (!entries)
        return false;
    m_currentField = field;
    m_arrayLookup = sortedPatterns(*entries);
    return true;
}

QString LookupsController::objectValue(int row, const QString &columnIdentifier) const
{
    if (row < 0 || row >= m_arrayLookup.size())
        return QString();
    const QString &pattern = m_arrayLookup[row];
    if (columnIdentifier == QLatin1String("1"))
        return pattern;
    const Table *entries = table(m_currentField);
    return entries ? entries->value(pattern) : QString();
}

int LookupsController::actionAdd()
{
    Table *entries = table(m_currentField);
    if (!entries)
        return -1;
    if (!entries->contains(kNewKey)) {
        entries->insert(kNewKey, kNewValue);
        m_arrayLookup.append(kNewKey);
    }
    return static_cast<int>(m_arrayLookup.indexOf(kNewKey));
}

int LookupsController::actionRemove(int selectedRow)
{
    Table *entries = table(m_currentField);
    if (!entries || selectedRow < 0 || selectedRow >= m_arrayLookup.size())
        return -1;
    entries->remove(m_arrayLookup[selectedRow]);
    m_arrayLookup.removeAt(selectedRow);
    if (m_arrayLookup.isEmpty())
        return -1;
    return std::min(selectedRow, static_cast<int>(m_arrayLookup.size()) - 1);
}

bool LookupsController::editedRow(int row, int column, const QString &text)
{
    Table *entries = table(m_currentField);
    if (!entries || row < 0 || row >= m_arrayLookup.size() || (column != 0 && column != 1))
        return false;
    const QString pattern = m_arrayLookup[row];
    const QString replacement = entries->value(pattern);
    entries->remove(pattern);
    if (column == 0) {
        entries->insert(text, replacement);
        m_arrayLookup[row] = text;
    } else {
        entries->insert(pattern, text);
    }
    return true;
}

bool LookupsController::cellEdited(int row, int column, const QString &text)
{
    logPrint("edited: [%@]", text);
    if (column == 0 && row >= 0 && row < m_arrayLookup.size()) {
        const QString problem = patternProblem(m_currentField, text, m_arrayLookup[row]);
        if (!problem.isEmpty()) {
            m_refusal = {text.trimmed().isEmpty() ? QStringLiteral("Pattern missing.")
                                                  : QStringLiteral("Pattern already in the table."),
                         problem};
            return false;
        }
    }
    return editedRow(row, column, text);
}

void LookupsController::sortRows(int column, bool descending)
{
    const Table *entries = table(m_currentField);
    if (!entries)
        return;
    const auto keyOf = [&](const QString &pattern) {
        return column == 1 ? entries->value(pattern) : pattern;
    };
    std::stable_sort(m_arrayLookup.begin(), m_arrayLookup.end(),
                     [&](const QString &a, const QString &b) {
                         const QString x = keyOf(a);
                         const QString y = keyOf(b);
                         return descending ? displayOrder(y, x) : displayOrder(x, y);
                     });
}

int LookupsController::actionOK()
{
    if (!writeLookups()) {
        UserInterface::instance().alert(QStringLiteral("Lookup tables could not be saved."),
                                        m_writeProblems.join(QLatin1Char('\n')));
        return 0;
    }
    return 1;
}

int LookupsController::actionCancel()
{
    readLookups();
    return 0;
}
