// Which cards are offered, which wait, and the preset marked for automatic ingest.

#include "sources/CardArrivals.h"
#include "log/ConsoleLog.h"
#include "metadata/Prefs.h"
#include "platform/Defaults.h"
#include "platform/RecordingUserInterface.h"
#include "presets/SetupController.h"
#include "support/TestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

RemovableVolume volumeAt(const QString &mountPoint, const QString &id = QStringLiteral("sdb1"))
{
    RemovableVolume volume;
    volume.objectPath = QStringLiteral("/org/freedesktop/UDisks2/block_devices/") + id;
    volume.drivePath = QStringLiteral("/org/freedesktop/UDisks2/drives/reader");
    volume.device = QStringLiteral("/dev/") + id;
    volume.mountPoint = mountPoint;
    return volume;
}

void writePreset(const QString &folder, const QString &name, const QVariantMap &dict)
{
    ASSERT_TRUE(
        Setup::writeFile(folder + QLatin1Char('/') + name + QStringLiteral(".plist"), dict));
}

struct CardPrefs
{
    CardPrefs()
    {
        for (const Prefs::Key *key : {&Prefs::OfferCards, &Prefs::OfferAnyRemovableVolume,
                                      &Prefs::AutoIngestCards, &Prefs::EjectAfterIngest})
            Defaults::remove(QLatin1String(key->name));
        Defaults::remove(QLatin1String(SetupController::kPresetDefaultsKey));
    }
};

} // namespace

TEST(CardArrivals, OffersVolumesWithACameraFolderOrAnyWhenAsked)
{
    CardPrefs prefs;
    const QString camera = makeTestFolder(QStringLiteral("camera"));
    QDir().mkpath(camera + QStringLiteral("/dcim/100NIKON"));
    const QString stick = makeTestFolder(QStringLiteral("stick"));
    QDir().mkpath(stick + QStringLiteral("/Documents"));
    writeTestFile(stick + QStringLiteral("/DCIM"), "a file, not the camera's folder");

    EXPECT_TRUE(CardArrivals::isOffered(volumeAt(camera), false));
    EXPECT_FALSE(CardArrivals::isOffered(volumeAt(stick), false));
    EXPECT_TRUE(CardArrivals::isOffered(volumeAt(stick), true));
    EXPECT_FALSE(CardArrivals::isOffered(volumeAt(QString()), true));

    // The queue: offered volumes wait once each, in order; a volume that goes is forgotten.
    SetupController presets(makeTestFolder(QStringLiteral("presets")));
    CardArrivals arrivals;
    EXPECT_FALSE(arrivals.mounted(volumeAt(stick, QStringLiteral("sdc1"))));
    EXPECT_TRUE(arrivals.mounted(volumeAt(camera, QStringLiteral("sdb1"))));
    EXPECT_TRUE(arrivals.mounted(volumeAt(camera, QStringLiteral("sdb1"))));
    Prefs::set(Prefs::OfferAnyRemovableVolume, true);
    EXPECT_TRUE(arrivals.mounted(volumeAt(stick, QStringLiteral("sdc1"))));
    arrivals.unmounted(volumeAt(camera, QStringLiteral("sdb1")));
    auto offer = arrivals.takeNext(presets);
    ASSERT_TRUE(offer);
    EXPECT_EQ(offer->volume.mountPoint, stick);
    EXPECT_TRUE(offer->autoIngestPreset.isEmpty());
    EXPECT_FALSE(arrivals.hasWaiting());
    EXPECT_FALSE(arrivals.takeNext(presets));

    // Cards not wanted at all.
    Prefs::set(Prefs::OfferCards, false);
    EXPECT_FALSE(arrivals.mounted(volumeAt(camera)));
    EXPECT_FALSE(arrivals.hasWaiting());
}

TEST(CardArrivals, OnePresetIsMarkedForAutomaticIngest)
{
    CardPrefs prefs;
    RecordingUserInterface ui;
    UserInterface::setInstance(&ui);
    const QString folder = makeTestFolder(QStringLiteral("presets"));
    writePreset(
        folder, "Alpha",
        {{"PrimaryRootFolder", "~/Alpha"}, {"Metadata", QVariantMap{{"IPTC.City", "Oslo"}}}});
    writePreset(
        folder, "Beta",
        {{"PrimaryRootFolder", "~/Beta"}, {"AutoIngest", "YES"}, {"SomethingNewer", "kept"}});
    writePreset(folder, "Gamma", {{"AutoIngest", "YES"}});
    writeTestFile(folder + "/Damaged.plist", "<plist><dict><key>AutoIng");

    SetupController presets(folder);
    const auto use = [&presets](const QString &name) {
        presets.setCurrentSetupName(name);
        presets.makeCurrent(name);
    };
    use("Alpha");
    // Not the current one: the first marked in list order.
    EXPECT_EQ(CardArrivals::autoIngestPreset(presets), QStringLiteral("Beta"));
    // The current one when it is marked.
    use("Gamma");
    EXPECT_EQ(CardArrivals::autoIngestPreset(presets), QStringLiteral("Gamma"));

    // Marking Alpha (in use: saved as its window saves it) unmarks the others, changing nothing
    // else in their files.
    use("Alpha");
    EXPECT_FALSE(CardArrivals::setAutoIngestPreset(presets, QStringLiteral("Alpha")));
    EXPECT_EQ(CardArrivals::autoIngestPreset(presets), QStringLiteral("Alpha"));
    EXPECT_TRUE(presets.currentSetup().paramBool(QStringLiteral("AutoIngest")));
    const auto alpha = Setup::readFile(presets.presetPath("Alpha")).value_or(QVariantMap());
    EXPECT_EQ(alpha.value("Metadata").toMap().value("IPTC.City"), "Oslo");
    const auto beta = Setup::readFile(presets.presetPath("Beta")).value_or(QVariantMap());
    EXPECT_EQ(beta, (QVariantMap{{"PrimaryRootFolder", "~/Beta"}, {"SomethingNewer", "kept"}}));
    EXPECT_EQ(readTestFile(folder + "/Damaged.plist"), "<plist><dict><key>AutoIng");

    // Saving the preset from its window keeps the mark.
    PresetForm form = presets.presetToControls();
    form.inclusions = QStringLiteral("JPG");
    presets.controlsToPreset(form);
    ASSERT_TRUE(presets.newOrUpdatePreset(QStringLiteral("Alpha")));
    EXPECT_EQ(CardArrivals::autoIngestPreset(presets), QStringLiteral("Alpha"));

    // The mark shows in the preset's listing; presets without it list as before.
    StringLogPane pane;
    Logger logger;
    logger.setTextview(&pane);
    presets.currentSetup().putlog();
    EXPECT_TRUE(pane.text().endsWith(QStringLiteral("Automatic Card Ingest: Yes\n")));

    // The offer carries it only with automatic ingest on.
    const QString card = makeTestFolder(QStringLiteral("card"));
    QDir().mkpath(card + QStringLiteral("/DCIM"));
    CardArrivals arrivals;
    arrivals.mounted(volumeAt(card));
    EXPECT_TRUE(arrivals.takeNext(presets)->autoIngestPreset.isEmpty());
    Prefs::set(Prefs::AutoIngestCards, true);
    arrivals.mounted(volumeAt(card));
    EXPECT_EQ(arrivals.takeNext(presets)->autoIngestPreset, QStringLiteral("Alpha"));

    // Unmarked everywhere: nothing is ingested without a question.
    EXPECT_FALSE(CardArrivals::setAutoIngestPreset(presets, QString()));
    EXPECT_TRUE(CardArrivals::autoIngestPreset(presets).isEmpty());
    EXPECT_FALSE(presets.currentSetup().paramBool(QStringLiteral("AutoIngest")));
    UserInterface::setInstance(nullptr);
}

TEST(CardArrivals, EjectOutcomesSayWhatHappened)
{
    RemovableVolume card = volumeAt(QStringLiteral("/media/me/EOS_DIGITAL"));
    card.label = QStringLiteral("EOS_DIGITAL");
    EXPECT_EQ(CardArrivals::promptText(card), QStringLiteral("Ingest from EOS_DIGITAL?"));
    card.label.clear();
    EXPECT_EQ(CardArrivals::promptText(card), QStringLiteral("Ingest from EOS_DIGITAL?"));

    EjectResult result;
    result.status = EjectResult::Ejected;
    EjectReport report = CardArrivals::ejectReport(card, result);
    EXPECT_FALSE(report.failed);
    EXPECT_EQ(report.logLine,
              QStringLiteral("\nCard \"EOS_DIGITAL\" ejected: it can be removed now.\n"));

    result.status = EjectResult::Busy;
    result.detail = QStringLiteral("Error unmounting /dev/sdb1: target is busy");
    report = CardArrivals::ejectReport(card, result);
    EXPECT_TRUE(report.failed);
    EXPECT_EQ(report.alertTitle, QStringLiteral("Can't eject \"EOS_DIGITAL\"."));
    EXPECT_TRUE(report.alertMessage.startsWith(QStringLiteral("The card is in use")));
    EXPECT_TRUE(report.logLine.startsWith(QStringLiteral("\nERROR: Can't eject")));

    result.status = EjectResult::Failed;
    result.detail = QStringLiteral("Not authorized to perform operation");
    report = CardArrivals::ejectReport(card, result);
    EXPECT_EQ(report.alertMessage, result.detail);
}
