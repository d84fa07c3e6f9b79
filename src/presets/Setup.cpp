#include "presets/Setup.h"

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
