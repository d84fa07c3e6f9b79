#include "platform/NotificationCenter.h"

#include <algorithm>

NotificationCenter &NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

int NotificationCenter::addObserver(const void *observer, const QString &name, Handler handler,
                                    const void *sender)
{
    std::lock_guard lock(m_mutex);
    const int token = m_nextToken++;
    m_entries.push_back(
        {token, observer, name, sender, std::make_shared<Handler>(std::move(handler))});
    return token;
}

void NotificationCenter::removeObserver(const void *observer)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [&](const Entry &e) { return e.observer == observer; });
}

void NotificationCenter::removeObserver(const void *observer, const QString &name)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries,
                  [&](const Entry &e) { return e.observer == observer && e.name == name; });
}

void NotificationCenter::removeObserverToken(int token)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [&](const Entry &e) { return e.token == token; });
}

bool NotificationCenter::isRegistered(int token) const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_entries.begin(), m_entries.end(),
                       [&](const Entry &e) { return e.token == token; });
}

void NotificationCenter::post(const QString &name, const void *sender, const QVariantMap &userInfo)
{
    post(Notification{name, sender, userInfo});
}

void NotificationCenter::post(const Notification &notification)
{
    std::vector<std::pair<int, std::shared_ptr<Handler>>> targets;
    {
        std::lock_guard lock(m_mutex);
        for (const Entry &e : m_entries) {
            if (!e.name.isEmpty() && e.name != notification.name)
                continue;
            if (e.sender && e.sender != notification.sender)
                continue;
            targets.emplace_back(e.token, e.handler);
        }
    }
    for (const auto &[token, handler] : targets) {
        if (isRegistered(token))
            (*handler)(notification);
    }
}
