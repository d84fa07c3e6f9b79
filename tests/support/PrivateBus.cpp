#include "support/PrivateBus.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

namespace {

const QString kMockInterface = QStringLiteral("org.freedesktop.DBus.Mock");
const QString kUDisksRoot = QStringLiteral("/org/freedesktop/UDisks2");

// Session rules on a socket of its own; no service directories, so nothing real is started.
const char kConfig[] =
    R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

// One call log entry of the mock: (time, method name, arguments).
struct MockCall
{
    qint64 time = 0;
    QString method;
    QVariantList arguments;
};

} // namespace

QString systemPython()
{
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3"))
               ? QStringLiteral("/usr/bin/python3")
               : QStringLiteral("python3");
}

PrivateBus::PrivateBus(const QString &tag) : m_dir(QStringLiteral("/tmp/bw-bus-XXXXXX")), m_tag(tag)
{
    if (!m_dir.isValid())
        return;
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QString::fromUtf8(kConfig).arg(m_dir.path()).toUtf8());
    file.close();
    m_daemon.setProgram(QStringLiteral("dbus-daemon"));
    m_daemon.setArguments({QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                           QStringLiteral("--print-address=1")});
    m_daemon.setStandardErrorFile(QProcess::nullDevice());
    m_daemon.start();
    if (!m_daemon.waitForStarted(10000))
        return;
    QByteArray line;
    QElapsedTimer timer;
    timer.start();
    while (!line.contains('\n') && timer.elapsed() < 10000 &&
           m_daemon.state() == QProcess::Running) {
        m_daemon.waitForReadyRead(200);
        line += m_daemon.readAllStandardOutput();
    }
    m_address = QString::fromUtf8(line.trimmed());
}

PrivateBus::~PrivateBus()
{
    QDBusConnection::disconnectFromBus(m_tag);
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(5000)) {
            m_daemon.kill();
            m_daemon.waitForFinished(5000);
        }
    }
}

QDBusConnection PrivateBus::connection() const
{
    return QDBusConnection::connectToBus(m_address, m_tag);
}

bool PrivateBus::waitForName(const QString &name, int timeoutMs) const
{
    QDBusConnection bus = connection();
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (bus.interface() && bus.interface()->isServiceRegistered(name).value())
            return true;
        QThread::msleep(50);
    }
    return false;
}

MockService::MockService(const PrivateBus &systemBus, const PrivateBus &sessionBus,
                         const QStringList &arguments, const QString &name, bool onSystemBus)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), systemBus.address());
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBus.address());
    m_process.setProcessEnvironment(environment);
    m_process.setProgram(systemPython());
    m_process.setArguments(QStringList{QStringLiteral("-m"), QStringLiteral("dbusmock")} +
                           arguments);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start();
    m_running =
        m_process.waitForStarted(10000) && (onSystemBus ? systemBus : sessionBus).waitForName(name);
}

MockService::~MockService()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
}

MockUDisks::MockUDisks(const PrivateBus &systemBus, const PrivateBus &sessionBus)
    : m_bus(systemBus.connection()),
      m_service(systemBus, sessionBus,
                {QStringLiteral("--system"), QStringLiteral("-t"),
                 QStringLiteral(BRINDLEWICK_TESTS_DIR "/support/udisks2_mock.py")},
                QStringLiteral("org.freedesktop.UDisks2"), true)
{}

QVariant MockUDisks::control(const QString &method, const QVariantList &arguments) const
{
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.UDisks2"),
                                                       kUDisksRoot, kMockInterface, method);
    call.setArguments(arguments);
    const QDBusMessage reply = m_bus.call(call);
    if (reply.type() == QDBusMessage::ErrorMessage)
        qWarning("mock disk service: %s: %s", qPrintable(method), qPrintable(reply.errorMessage()));
    return reply.arguments().value(0);
}

QString MockUDisks::addCard(const QString &name, const QString &label, const QString &mountPoint,
                            const QVariantMap &options)
{
    return control(QStringLiteral("AddCard"), {name, label, mountPoint, options}).toString();
}

void MockUDisks::mountCard(const QString &name, const QString &mountPoint)
{
    control(QStringLiteral("MountCard"), {name, mountPoint});
}

void MockUDisks::setBusy(const QString &name, bool busy)
{
    control(QStringLiteral("SetBusy"), {name, busy});
}

void MockUDisks::removeCard(const QString &name)
{
    control(QStringLiteral("RemoveCard"), {name});
}

QString MockUDisks::drivePath(const QString &name)
{
    return kUDisksRoot + QStringLiteral("/drives/") + name;
}

QString MockUDisks::blockPath(const QString &name)
{
    return kUDisksRoot + QStringLiteral("/block_devices/") + name + QLatin1Char('1');
}

QStringList MockUDisks::calls(const QString &objectPath) const
{
    const QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.UDisks2"), objectPath,
                                       kMockInterface, QStringLiteral("GetCalls"));
    const QDBusMessage reply = m_bus.call(call);
    QStringList names;
    if (reply.arguments().isEmpty())
        return names;
    // a(tsav): read each entry's method name.
    const QDBusArgument list = reply.arguments().first().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        MockCall entry;
        list.beginStructure();
        quint64 time = 0;
        list >> time >> entry.method;
        list.beginArray();
        while (!list.atEnd()) {
            QDBusVariant value;
            list >> value;
        }
        list.endArray();
        list.endStructure();
        names.append(entry.method);
    }
    list.endArray();
    return names;
}

MockNotifications::MockNotifications(const PrivateBus &systemBus, const PrivateBus &sessionBus)
    : m_bus(sessionBus.connection()),
      m_service(systemBus, sessionBus,
                {QStringLiteral("--session"), QStringLiteral("-t"),
                 QStringLiteral("notification_daemon")},
                QStringLiteral("org.freedesktop.Notifications"), false)
{}

QList<QVariantList> MockNotifications::notifications() const
{
    QDBusMessage call =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.Notifications"),
                                       QStringLiteral("/org/freedesktop/Notifications"),
                                       kMockInterface, QStringLiteral("GetMethodCalls"));
    call << QStringLiteral("Notify");
    const QDBusMessage reply = m_bus.call(call);
    QList<QVariantList> calls;
    if (reply.arguments().isEmpty())
        return calls;
    // a(tav)
    const QDBusArgument list = reply.arguments().first().value<QDBusArgument>();
    list.beginArray();
    while (!list.atEnd()) {
        list.beginStructure();
        quint64 time = 0;
        list >> time;
        QVariantList arguments;
        list.beginArray();
        while (!list.atEnd()) {
            QDBusVariant value;
            list >> value;
            arguments.append(value.variant());
        }
        list.endArray();
        list.endStructure();
        calls.append(arguments);
    }
    list.endArray();
    return calls;
}
