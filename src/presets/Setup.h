#pragma once

#include <QString>
#include <QVariantMap>

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

private:
    QVariantMap m_dict;
};
