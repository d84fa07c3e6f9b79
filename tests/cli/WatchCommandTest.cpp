// brindlewick-cli watch against a private system bus with a mock disk service.

#include "support/ImageFixtures.h"
#include "support/PrivateBus.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <optional>

namespace {

// The tool watching, with the private buses as its system and session buses.
struct Watcher
{
    QProcess process;
    QByteArray out;
    QByteArray err;

    Watcher(const PrivateBus &system, const QStringList &arguments)
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), system.address());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(BRINDLEWICK_BIN_DIR "/brindlewick-cli"),
                      QStringList{QStringLiteral("watch")} + arguments);
    }
    ~Watcher()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool saw(const char *text)
    {
        out += process.readAllStandardOutput();
        err += process.readAllStandardError();
        return out.contains(text) || err.contains(text);
    }
    // Ctrl-C, then the exit status.
    int interrupt()
    {
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        process.waitForFinished(20000);
        saw("");
        return process.exitCode();
    }
};

QString makeCard(const QString &name, int count)
{
    const QString root = makeTestFolder(name);
    for (int i = 1; i <= count; ++i)
        ImageFixtures::writeJpeg(root + QStringLiteral("/DCIM/100CANON/IMG_%1.JPG").arg(i),
                                 QSize(64, 48), {}, QColor::fromHsv(i * 60, 160, 200));
    return root;
}

int jpegsBelow(const QString &folder)
{
    return filesBelow(folder).filter(QStringLiteral(".JPG")).size();
}

} // namespace

// One pair of private buses for the whole command: a card left in, stopped while waiting, cards
// in a row ejected, a card in use, then the disk service gone. What an eject outcome says is the
// card arrivals' test.
TEST(WatchCommand, IngestsEachCardPutInEjectsItAndNeedsTheDiskService)
{
    PrivateBus system(QStringLiteral("watch-system"));
    PrivateBus session(QStringLiteral("watch-session"));
    ASSERT_TRUE(system.isRunning());
    std::optional<MockUDisks> disks(std::in_place, system, session);
    ASSERT_TRUE(disks->isRunning()) << "python3-dbusmock is needed";

    const QString target = makeTestFolder(QStringLiteral("station"));
    ASSERT_TRUE(writePreset(
        QStringLiteral("Station"),
        {{QStringLiteral("PrimaryRootFolder"), target},
         {QStringLiteral("FilenameArrangement"), QStringLiteral("{@FileNameOriginal}")}},
        {}));

    // Without ejecting asked for, a card is ingested and left in; stopped while waiting: a
    // normal end.
    {
        Watcher idle(system, {QStringLiteral("--preset"), QStringLiteral("station")});
        ASSERT_TRUE(waitUntil([&] { return idle.saw("Waiting for cards to ingest"); }));
        const QString kept = makeTestFolder(QStringLiteral("kept"));
        ImageFixtures::writeJpeg(kept + QStringLiteral("/DCIM/100CANON/KEPT_1.JPG"), QSize(64, 48));
        disks->addCard(QStringLiteral("sdf"), QStringLiteral("KEPT"), kept);
        ASSERT_TRUE(waitUntil([&] { return idle.saw("Waiting for cards (Ctrl-C stops)"); }))
            << idle.out.data() << idle.err.data();
        EXPECT_EQ(jpegsBelow(target), 1);
        EXPECT_TRUE(disks->calls(MockUDisks::blockPath(QStringLiteral("sdf"))).isEmpty());
        EXPECT_TRUE(disks->calls(MockUDisks::drivePath(QStringLiteral("sdf"))).isEmpty());
        EXPECT_EQ(idle.interrupt(), 0);
    }
    // Mounted before: left alone.
    disks->addCard(QStringLiteral("sdb"), QStringLiteral("OLD"),
                   makeCard(QStringLiteral("old"), 1));

    // A station set up from the command line: eject after each run (as --eject does).
    ASSERT_EQ(runCli({"prefs", "set", "EjectAfterIngest", "yes"}).exitCode, 0);
    Watcher watch(system, {QStringLiteral("--preset"), QStringLiteral("station")});
    ASSERT_TRUE(waitUntil([&] { return watch.saw("Waiting for cards"); })) << watch.err.data();

    // Two cards in a row: each ingested whole, then unmounted and powered off.
    disks->addCard(QStringLiteral("sdc"), QStringLiteral("CARD_A"),
                   makeCard(QStringLiteral("a"), 3));
    ASSERT_TRUE(waitUntil([&] { return watch.saw("Card \"CARD_A\" ejected"); }))
        << watch.out.data() << watch.err.data();
    disks->addCard(QStringLiteral("sdd"), QStringLiteral("CARD_B"),
                   makeCard(QStringLiteral("b"), 2));
    ASSERT_TRUE(waitUntil([&] { return watch.saw("Card \"CARD_B\" ejected"); }))
        << watch.out.data() << watch.err.data();
    EXPECT_EQ(jpegsBelow(target), 6);
    EXPECT_TRUE(watch.out.contains("ingesting with the preset \"Station\""));
    EXPECT_FALSE(watch.out.contains("OLD"));
    EXPECT_EQ(disks->calls(MockUDisks::drivePath(QStringLiteral("sdd"))),
              QStringList{QStringLiteral("PowerOff")});
    EXPECT_TRUE(disks->calls(MockUDisks::blockPath(QStringLiteral("sdb"))).isEmpty());

    // A card in use after its run: said clearly, and the watch ends as a failure.
    disks->addCard(QStringLiteral("sde"), QStringLiteral("CARD_C"),
                   makeCard(QStringLiteral("c"), 1), {{QStringLiteral("busy"), true}});
    ASSERT_TRUE(waitUntil([&] { return watch.saw("Can't eject \"CARD_C\"."); }))
        << watch.out.data() << watch.err.data();
    EXPECT_TRUE(watch.err.contains("The card is in use"));
    EXPECT_EQ(watch.interrupt(), 1);
    EXPECT_EQ(jpegsBelow(target), 7);

    // No disk service on the bus, or no bus at all.
    disks.reset();
    Watcher noService(system, {QStringLiteral("--preset"), QStringLiteral("Default")});
    ASSERT_TRUE(noService.process.waitForFinished(30000));
    noService.saw("");
    EXPECT_EQ(noService.process.exitCode(), 1);
    EXPECT_TRUE(noService.err.contains("disk service (UDisks2) can't be reached"));
    EXPECT_EQ(runCli({"watch", "--preset", "Default"}).exitCode, 1);
}
