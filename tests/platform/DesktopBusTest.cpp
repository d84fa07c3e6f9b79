// The disk service and the notification service over private buses with mock services.

#include "platform/DesktopNotifications.h"
#include "platform/UDisksVolumes.h"
#include "support/PrivateBus.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDir>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

class DesktopBus : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(system.isRunning()) << "dbus-daemon (Debian package dbus-daemon) is needed";
        ASSERT_TRUE(session.isRunning());
    }

    PrivateBus system{QStringLiteral("test-system")};
    PrivateBus session{QStringLiteral("test-session")};
};

QString makeMountPoint(const QString &name)
{
    const QString folder = makeTestFolder(name);
    QDir().mkpath(folder + QStringLiteral("/DCIM/100CANON"));
    return folder;
}

} // namespace

TEST_F(DesktopBus, DiskServiceAnnouncesCardsAndEjectsThem)
{
    MockUDisks disks(system, session);
    ASSERT_TRUE(disks.isRunning()) << "python3-dbusmock is needed";
    const QString early = makeMountPoint(QStringLiteral("early"));
    disks.addCard(QStringLiteral("sdb"), QStringLiteral("EARLY"), early);

    UDisksVolumes volumes(system.connection());
    QSignalSpy mounted(&volumes, &UDisksVolumes::volumeMounted);
    QSignalSpy unmounted(&volumes, &UDisksVolumes::volumeUnmounted);
    QSignalSpy ejected(&volumes, &UDisksVolumes::ejectFinished);
    ASSERT_TRUE(volumes.waitUntilReady(10000));

    // A card mounted before the program looked is known (for eject) but not offered.
    ASSERT_EQ(volumes.mountedVolumes().size(), 1);
    EXPECT_EQ(volumes.mountedVolumes().first().name(), QStringLiteral("EARLY"));
    EXPECT_EQ(volumes.mountedVolumes().first().device, QStringLiteral("/dev/sdb1"));
    EXPECT_EQ(
        volumes.volumeContaining(early + QStringLiteral("/DCIM/100CANON/IMG_1.JPG"))->objectPath,
        MockUDisks::blockPath(QStringLiteral("sdb")));
    EXPECT_FALSE(volumes.volumeContaining(early + QStringLiteral("-other/IMG_1.JPG")));
    EXPECT_TRUE(mounted.isEmpty());

    // Inserted, then mounted by the desktop: announced once, with its label and mount point.
    const QString card = makeMountPoint(QStringLiteral("card"));
    disks.addCard(QStringLiteral("sdc"), QStringLiteral("EOS_DIGITAL"), QString());
    disks.mountCard(QStringLiteral("sdc"), card);
    ASSERT_TRUE(waitUntil([&] { return mounted.size() == 1; }));
    auto volume = mounted.first().first().value<RemovableVolume>();
    EXPECT_EQ(volume.label, QStringLiteral("EOS_DIGITAL"));
    EXPECT_EQ(volume.mountPoint, card);
    EXPECT_EQ(volume.drivePath, MockUDisks::drivePath(QStringLiteral("sdc")));

    // A mounted disk of the system itself is no card.
    disks.addCard(QStringLiteral("sda"), QStringLiteral("home"), makeTestFolder("fixed"),
                  {{QStringLiteral("system"), true}, {QStringLiteral("removable"), false}});
    QCoreApplication::processEvents();
    waitUntil([] { return false; }, 300);
    EXPECT_EQ(mounted.size(), 1);

    // Eject: unmount, then power the reader off; the unmount is announced.
    volumes.eject(volume);
    ASSERT_TRUE(waitUntil([&] { return ejected.size() == 1; }));
    auto result = ejected.first().at(1).value<EjectResult>();
    EXPECT_EQ(result.status, EjectResult::Ejected);
    EXPECT_TRUE(result.poweredOff);
    EXPECT_EQ(disks.calls(MockUDisks::blockPath(QStringLiteral("sdc"))),
              QStringList{QStringLiteral("Unmount")});
    EXPECT_EQ(disks.calls(MockUDisks::drivePath(QStringLiteral("sdc"))),
              QStringList{QStringLiteral("PowerOff")});
    ASSERT_TRUE(waitUntil([&] { return unmounted.size() == 1; }));
    EXPECT_FALSE(volumes.volume(volume.objectPath));

    // A card still in use: a clear "busy" outcome, and the drive keeps its power.
    disks.setBusy(QStringLiteral("sdb"), true);
    volumes.eject(*volumes.volumeContaining(early));
    ASSERT_TRUE(waitUntil([&] { return ejected.size() == 2; }));
    result = ejected.last().at(1).value<EjectResult>();
    EXPECT_EQ(result.status, EjectResult::Busy);
    EXPECT_TRUE(result.detail.contains(QStringLiteral("busy")));
    EXPECT_TRUE(disks.calls(MockUDisks::drivePath(QStringLiteral("sdb"))).isEmpty());
    EXPECT_TRUE(volumes.volumeContaining(early));

    // Pulled without eject: gone.
    disks.removeCard(QStringLiteral("sdb"));
    ASSERT_TRUE(waitUntil([&] { return unmounted.size() == 2; }));
    EXPECT_TRUE(volumes.mountedVolumes().isEmpty());
}

TEST_F(DesktopBus, NoDiskServiceLeavesTheVolumesUnavailable)
{
    // A bus without the service: unavailable, and an eject says why.
    UDisksVolumes volumes(system.connection());
    QSignalSpy ejected(&volumes, &UDisksVolumes::ejectFinished);
    EXPECT_FALSE(volumes.waitUntilReady(10000));
    EXPECT_TRUE(volumes.isReady());
    RemovableVolume card;
    card.objectPath = MockUDisks::blockPath(QStringLiteral("sdb"));
    card.mountPoint = QStringLiteral("/media/u/CARD");
    volumes.eject(card);
    ASSERT_TRUE(waitUntil([&] { return ejected.size() == 1; }));
    const auto result = ejected.first().at(1).value<EjectResult>();
    EXPECT_EQ(result.status, EjectResult::Failed);
    EXPECT_TRUE(result.detail.contains(QStringLiteral("UDisks2")));

    // The service starting later is noticed.
    QSignalSpy availability(&volumes, &UDisksVolumes::availabilityChanged);
    MockUDisks disks(system, session);
    ASSERT_TRUE(disks.isRunning());
    ASSERT_TRUE(waitUntil([&] { return volumes.isAvailable(); }));
    EXPECT_EQ(availability.size(), 1);

    // No bus at all.
    UDisksVolumes nowhere(QDBusConnection::connectToBus(QStringLiteral("unix:path=") + testHome() +
                                                            QStringLiteral("/no-bus-here"),
                                                        QStringLiteral("nowhere")));
    EXPECT_FALSE(nowhere.waitUntilReady(10000));
    EXPECT_TRUE(nowhere.mountedVolumes().isEmpty());
}

TEST_F(DesktopBus, NotificationsReachTheServiceAndReplaceEachOther)
{
    MockNotifications service(system, session);
    ASSERT_TRUE(service.isRunning()) << "python3-dbusmock is needed";
    DesktopNotifications notifications(session.connection());
    QSignalSpy delivered(&notifications, &DesktopNotifications::delivered);

    ASSERT_TRUE(notifications.notify(QStringLiteral("Ingestion complete"),
                                     QStringLiteral("Files ingested: 3")));
    ASSERT_TRUE(waitUntil([&] { return delivered.size() == 1; }));
    ASSERT_TRUE(notifications.notify(QStringLiteral("Error copying file."),
                                     QStringLiteral("No space left on device"), true));
    ASSERT_TRUE(waitUntil([&] { return delivered.size() == 2; }));

    const QList<QVariantList> calls = service.notifications();
    ASSERT_EQ(calls.size(), 2);
    EXPECT_EQ(calls[0].value(0).toString(), QStringLiteral("Brindlewick"));
    EXPECT_EQ(calls[0].value(1).toUInt(), 0u);
    EXPECT_EQ(calls[0].value(2).toString(), DesktopNotifications::kDesktopId);
    EXPECT_EQ(calls[0].value(3).toString(), QStringLiteral("Ingestion complete"));
    EXPECT_EQ(calls[0].value(4).toString(), QStringLiteral("Files ingested: 3"));
    // The second replaces the first and asks to stay until seen.
    EXPECT_EQ(calls[1].value(1).toUInt(), delivered.first().first().toUInt());
    EXPECT_EQ(calls[1].value(3).toString(), QStringLiteral("Error copying file."));
    const QVariantMap hints = qdbus_cast<QVariantMap>(calls[1].value(6));
    EXPECT_EQ(hints.value(QStringLiteral("urgency")).toInt(), 2);
    EXPECT_EQ(hints.value(QStringLiteral("desktop-entry")).toString(),
              DesktopNotifications::kDesktopId);
}

TEST_F(DesktopBus, NotificationsWithoutServiceOrBusChangeNothing)
{
    DesktopNotifications noService(session.connection());
    QSignalSpy delivered(&noService, &DesktopNotifications::delivered);
    EXPECT_TRUE(noService.notify(QStringLiteral("Ingestion complete"), QString()));
    waitUntil([] { return false; }, 500);
    EXPECT_TRUE(delivered.isEmpty());

    DesktopNotifications noBus(QDBusConnection::connectToBus(
        QStringLiteral("unix:path=") + testHome() + QStringLiteral("/no-bus-here"),
        QStringLiteral("nowhere-notify")));
    EXPECT_FALSE(noBus.notify(QStringLiteral("Ingestion complete"), QString()));
}
