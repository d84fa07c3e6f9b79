#pragma once

// Private D-Bus daemons and mock services for tests: the program's disk-service and
// notification code is exercised against them, never against the real system or session bus.

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>

// A dbus-daemon of our own (session rules, no service activation), stopped when destroyed.
class PrivateBus
{
public:
    // `tag` names the connections made to it, so several buses can live in one process.
    explicit PrivateBus(const QString &tag);
    ~PrivateBus();
    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }
    // A connection of this process to the bus (the same one on every call).
    QDBusConnection connection() const;
    // Waits until a name is owned on the bus.
    bool waitForName(const QString &name, int timeoutMs = 15000) const;

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
    QString m_tag;
};

// A python3-dbusmock service on a private bus, stopped when destroyed.
class MockService
{
public:
    // `arguments` follow "python3 -m dbusmock"; `name` is the bus name it takes. The service
    // sees `systemBus` as its system bus and `sessionBus` as its session bus.
    MockService(const PrivateBus &systemBus, const PrivateBus &sessionBus,
                const QStringList &arguments, const QString &name, bool onSystemBus);
    ~MockService();
    bool isRunning() const { return m_running; }

private:
    QProcess m_process;
    bool m_running = false;
};

// The disk-service stand-in (tests/support/udisks2_mock.py) on the system bus.
class MockUDisks
{
public:
    MockUDisks(const PrivateBus &systemBus, const PrivateBus &sessionBus);
    bool isRunning() const { return m_service.isRunning(); }

    // A card reader NAME holding a file system LABEL, mounted at `mountPoint` (or not when it
    // is empty). Answers the file system's object path.
    QString addCard(const QString &name, const QString &label, const QString &mountPoint,
                    const QVariantMap &options = {});
    void mountCard(const QString &name, const QString &mountPoint);
    void setBusy(const QString &name, bool busy);
    void removeCard(const QString &name);
    static QString drivePath(const QString &name);
    static QString blockPath(const QString &name);
    // The names of the methods called on an object of the mock, in order.
    QStringList calls(const QString &objectPath) const;

private:
    QVariant control(const QString &method, const QVariantList &arguments) const;

    QDBusConnection m_bus;
    MockService m_service;
};

// The notification-daemon stand-in (python3-dbusmock's template) on the session bus.
class MockNotifications
{
public:
    MockNotifications(const PrivateBus &systemBus, const PrivateBus &sessionBus);
    bool isRunning() const { return m_service.isRunning(); }
    // The arguments of every Notify call so far (app name, replaces id, icon, summary, body,
    // actions, hints, timeout).
    QList<QVariantList> notifications() const;

private:
    QDBusConnection m_bus;
    MockService m_service;
};

// The system's own python3 (python3-dbusmock lives there, not in another interpreter on PATH).
QString systemPython();
