#pragma once

#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

struct Notification
{
    QString name;
    const void *sender = nullptr;
    QVariantMap userInfo;
    // False for a notification posted with no user information at all (not even an empty map).
    bool hasUserInfo = true;
};

// Named notifications, delivered synchronously to every matching observer in the order the
// observers registered. Posting happens on the main thread; registration is guarded so objects
// may come and go from anywhere. An observer removed while a notification is being delivered is
// not called after its removal.
class NotificationCenter
{
public:
    using Handler = std::function<void(const Notification &)>;

    static NotificationCenter &defaultCenter();

    // An empty name observes every notification; a null sender accepts any sender.
    // Answers a token that removeObserver(token) accepts.
    int addObserver(const void *observer, const QString &name, Handler handler,
                    const void *sender = nullptr);
    void removeObserver(const void *observer);
    void removeObserver(const void *observer, const QString &name);
    void removeObserverToken(int token);

    void post(const QString &name, const void *sender = nullptr,
              const QVariantMap &userInfo = QVariantMap());
    void post(const Notification &notification);

private:
    struct Entry
    {
        int token;
        const void *observer;
        QString name;
        const void *sender;
        std::shared_ptr<Handler> handler;
    };
    bool isRegistered(int token) const;

    mutable std::recursive_mutex m_mutex;
    std::vector<Entry> m_entries;
    int m_nextToken = 1;
};
