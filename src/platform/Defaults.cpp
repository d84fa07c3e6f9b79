#include "platform/Defaults.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <memory>

namespace {

std::unique_ptr<QSettings> settings()
{
    // Named by hand rather than from the application's names, so the core and the command-line
    // tool read the same store as the desktop program.
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                       QStringLiteral("Brindlewick"),
                                       QStringLiteral("Brindlewick"));
}

QString g_lastProblem;

// Whether the store's file can be written at all. Checked before a value goes in, because the
// settings object keeps a value that failed to reach the disk and would write it out with the
// next good write, long after the user was told it was not saved.
bool storeWritable(const QString &file)
{
    const QFileInfo info(file);
    const QString folder = info.absolutePath();
    if (!QDir().mkpath(folder)) {
        g_lastProblem =
            QStringLiteral("%1 can't be written: the folder %2 can't be made").arg(file, folder);
        return false;
    }
    const bool writable =
        info.exists() ? info.isFile() && info.isWritable() : QFileInfo(folder).isWritable();
    if (!writable) {
        g_lastProblem = QStringLiteral("%1 can't be written").arg(file);
        return false;
    }
    return true;
}

// Writes the store now; a write that did not reach the disk is remembered for the message.
bool synced(QSettings &s)
{
    s.sync();
    switch (s.status()) {
    case QSettings::NoError:
        g_lastProblem.clear();
        return true;
    case QSettings::AccessError:
        g_lastProblem = QStringLiteral("%1 can't be written").arg(s.fileName());
        return false;
    case QSettings::FormatError:
        g_lastProblem = QStringLiteral("%1 is not a settings file").arg(s.fileName());
        return false;
    }
    return false;
}

} // namespace

namespace Defaults {

bool contains(const QString &key)
{
    return settings()->contains(key);
}

std::optional<QVariant> value(const QString &key)
{
    auto s = settings();
    if (!s->contains(key))
        return std::nullopt;
    return s->value(key);
}

QString string(const QString &key, const QString &fallback)
{
    const auto v = value(key);
    return v ? v->toString() : fallback;
}

bool variantToBool(const QVariant &v, bool fallback)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    const QString text = v.toString().trimmed();
    if (text.isEmpty())
        return fallback;
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 ||
        text.compare(QLatin1String("yes"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0 ||
        text.compare(QLatin1String("no"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double number = text.toDouble(&ok);
    return ok ? number != 0 : fallback;
}

bool boolean(const QString &key, bool fallback)
{
    const auto v = value(key);
    return v ? variantToBool(*v, fallback) : fallback;
}

qint64 integer(const QString &key, qint64 fallback)
{
    const auto v = value(key);
    if (!v)
        return fallback;
    bool ok = false;
    const qint64 n = v->toLongLong(&ok);
    if (ok)
        return n;
    const double d = v->toDouble(&ok);
    return ok ? static_cast<qint64>(d) : fallback;
}

double real(const QString &key, double fallback)
{
    const auto v = value(key);
    if (!v)
        return fallback;
    bool ok = false;
    const double d = v->toDouble(&ok);
    return ok ? d : fallback;
}

QStringList stringList(const QString &key, const QStringList &fallback)
{
    const auto v = value(key);
    if (!v)
        return fallback;
    if (v->typeId() == QMetaType::QString) // QSettings stores a one-element list as plain text
        return v->toString().isEmpty() ? QStringList() : QStringList{v->toString()};
    return v->toStringList();
}

QVariantList list(const QString &key, const QVariantList &fallback)
{
    const auto v = value(key);
    if (!v)
        return fallback;
    if (v->typeId() == QMetaType::QString)
        return v->toString().isEmpty() ? QVariantList() : QVariantList{*v};
    return v->toList();
}

QVariantMap map(const QString &key, const QVariantMap &fallback)
{
    const auto v = value(key);
    return v ? v->toMap() : fallback;
}

bool set(const QString &key, const QVariant &value)
{
    auto s = settings();
    if (!storeWritable(s->fileName()))
        return false;
    s->setValue(key, value);
    return synced(*s);
}

bool remove(const QString &key)
{
    auto s = settings();
    if (!storeWritable(s->fileName()))
        return false;
    s->remove(key);
    return synced(*s);
}

QString storePath()
{
    return settings()->fileName();
}

QString lastProblem()
{
    return g_lastProblem;
}

void sync()
{
    settings()->sync();
}

} // namespace Defaults
