#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

// The desktop's notification service (org.freedesktop.Notifications) over D-Bus. Sending never
// waits for the service: with no bus or no service nothing is shown and nothing else changes.
// Each notification replaces the one this object showed before, so a run leaves one bubble.
// Main thread only.
class DesktopNotifications : public QObject
{
    Q_OBJECT

public:
    // The desktop entry and icon name the program is installed under.
    static const QString kDesktopId;

    // `bus` is the session bus in the program; tests hand in a private one.
    explicit DesktopNotifications(const QDBusConnection &bus, QObject *parent = nullptr);

    // False when there is no bus to send on. `critical` asks the desktop to keep it until seen.
    bool notify(const QString &summary, const QString &body, bool critical = false);
    // The id the service gave the last notification; 0 before any answer.
    uint lastId() const { return m_lastId; }

Q_SIGNALS:
    // The service answered a notification (tests wait for it).
    void delivered(uint id);

private:
    QDBusConnection m_bus;
    uint m_lastId = 0;
};
