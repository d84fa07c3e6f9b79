#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>

#include <optional>

// The per-user defaults store over QSettings (organisation and application "Brindlewick").
// Key names are the system's own. "Absent" and "empty" are told apart: value() answers nullopt
// only for a key never written (or removed). Safe to call from any thread: each call opens its
// own QSettings, which share one cached file inside the process.
namespace Defaults {

bool contains(const QString &key);
std::optional<QVariant> value(const QString &key);

QString string(const QString &key, const QString &fallback = QString());
// Accepts true/false, YES/NO and numbers as stored by any writer.
bool boolean(const QString &key, bool fallback = false);
qint64 integer(const QString &key, qint64 fallback = 0);
double real(const QString &key, double fallback = 0);
QStringList stringList(const QString &key, const QStringList &fallback = QStringList());
QVariantList list(const QString &key, const QVariantList &fallback = QVariantList());
QVariantMap map(const QString &key, const QVariantMap &fallback = QVariantMap());

// Stores a value (or removes the key) and writes the store to disk at once; false when the
// store could not be written (its folder or file is not writable), see lastProblem().
bool set(const QString &key, const QVariant &value);
bool remove(const QString &key);
void sync();
// Where the store lives, and why the last failed write failed (empty after a good one).
QString storePath();
QString lastProblem();

// Reads a stored value as a boolean the way the system's records use it ("YES"/"NO" too).
bool variantToBool(const QVariant &value, bool fallback = false);

} // namespace Defaults
