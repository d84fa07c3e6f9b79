#include "IngestFixture.h"

#include "MetadataWriterFixtures.h"
#include "ingest/ManifestCheck.h"
#include "macro/MacroProcessor.h"
#include "platform/IoFaults.h"
#include "support/Permissions.h"

#include <QImage>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const QString kSuccessTail = QStringLiteral("\nAll files processed");

} // namespace

TEST(IngestRun, NothingTickedEndsWithNoFilesIngested)
{
    RunHarness h;
    h.addPicture(QStringLiteral("a.JPG"), 1)->checked = false;
    IngestFiles ingest;
    h.run(ingest, h.setup());

    EXPECT_EQ(ingest.numTotal(), 0);
    EXPECT_EQ(h.ui.alertTexts(), QStringList{QStringLiteral("No files were ingested.: ")});
    EXPECT_EQ(h.pane.text(), QStringLiteral("Ingestion starting...\n\nNo files were ingested"));
    EXPECT_FALSE(QFileInfo::exists(h.primary + "/2024/IMG.JPG"));
    EXPECT_TRUE(h.notifications.contains(QStringLiteral("IngestionComplete")));
    ASSERT_EQ(h.ui.progresses.size(), 1);
    EXPECT_EQ(h.ui.progresses[0]->options.message, QStringLiteral("Ingesting 0 files."));
    EXPECT_TRUE(h.ui.progresses[0]->ended);
}

TEST(IngestRun, CopiesThenSkipsDuplicatesOnASecondRun)
{
    RunHarness h;
    h.addPicture(QStringLiteral("a.JPG"), 1);
    h.addPicture(QStringLiteral("b.JPG"), 2);
    h.addPicture(QStringLiteral("c.JPG"), 3);
    {
        IngestFiles ingest;
        h.run(ingest, h.setup());
        EXPECT_EQ(ingest.numIngested(), 3);
        EXPECT_TRUE(h.ui.alerts.isEmpty()) << h.ui.alertTexts().join('|').toStdString();
        // Same name, different pictures: numbered names, each a faithful copy with its time.
        EXPECT_EQ(h.filesIn(h.primary + "/2024"),
                  (QStringList{"IMG.JPG", "IMG_1.JPG", "IMG_2.JPG"}));
        EXPECT_EQ(readTestFile(h.primary + "/2024/IMG_1.JPG"), readTestFile(h.card + "/b.JPG"));
        EXPECT_EQ(QFileInfo(h.primary + "/2024/IMG_2.JPG").lastModified(),
                  QFileInfo(h.card + "/c.JPG").lastModified());
        EXPECT_EQ(h.pane.text(),
                  QStringLiteral("Ingestion starting...\nNumber ingested: 3\nNumber duplicates "
                                 "skipped: 0\nNumber copied to backup: 0\nNumber tagged by "
                                 "ExifTool: 0\nPlanned: 3; Copied: 3; Duplicates: 0; Failed: 0; "
                                 "Stopped: 0\n") +
                      kSuccessTail);
        EXPECT_TRUE(h.ingestionLog().contains(
            QStringLiteral("SUCCESS Ingested: 3; Duplicates: 0; Backedup: 0; files a.JPG through "
                           "c.JPG")));
        EXPECT_EQ(h.ui.progresses[0]->steps, 3);
        EXPECT_EQ(h.ui.progresses[0]->turns, 3);
        EXPECT_TRUE(h.items[1]->ingested);
        EXPECT_EQ(h.notifications.count(QStringLiteral("IngestionComplete")), 1);
    }
    h.ui.clear();
    {
        IngestFiles ingest;
        h.run(ingest, h.setup());
        EXPECT_EQ(ingest.numIngested(), 0);
        EXPECT_EQ(ingest.numDupes(), 3);
        EXPECT_TRUE(h.ui.alerts.isEmpty()) << h.ui.alertTexts().join('|').toStdString();
        EXPECT_TRUE(h.pane.text().contains(QStringLiteral("Number duplicates skipped: 3\n")));
        EXPECT_EQ(h.filesIn(h.primary + "/2024").size(), 3);
        EXPECT_FALSE(h.items[0]->ingested);
    }
}

TEST(IngestRun, FewerThanFiveComparedPropertiesIsNeverADuplicate)
{
    RunHarness h;
    const QByteArray bytes = encodeJpeg(7);
    h.addPicture(QStringLiteral("a.JPG"), 7, 4, bytes);
    {
        IngestFiles ingest;
        h.run(ingest, h.setup());
    }
    IngestFiles again;
    h.run(again, h.setup());
    EXPECT_EQ(again.numDupes(), 0);
    EXPECT_EQ(h.filesIn(h.primary + "/2024"), (QStringList{"IMG.JPG", "IMG_1.JPG"}));

    // Five equal properties are enough.
    h.items[0]->metadata = pictureProperties(7, 5);
    IngestFiles third;
    h.run(third, h.setup());
    EXPECT_EQ(third.numDupes(), 1);
}

TEST(IngestRun, FileNameCharactersAndFoldersStayInsideTheRoot)
{
    RunHarness h;
    h.addPicture(QStringLiteral("a.jpg"), 1);
    IngestFiles ingest;
    h.run(ingest, h.setup({{"FilenameArrangement", "a/b:c"}, {"FolderArrangement", "../../x"}}));
    EXPECT_TRUE(QFileInfo::exists(h.primary + "/x/a_b_c.jpg"));
    EXPECT_EQ(h.items[0]->targetFilename, QStringLiteral("a_b_c.jpg"));
    EXPECT_EQ(h.items[0]->targetSubFolder, QStringLiteral("x"));
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(h.primary).absolutePath() + "/x"));

    EXPECT_EQ(IngestFiles::joinInsideRoot("/r", "/tmp/../etc/y"), QStringLiteral("/r/tmp/etc/y"));
    EXPECT_EQ(IngestFiles::joinInsideRoot("/r", "a/./../b//c/.."), QStringLiteral("/r/a/b/c"));
    EXPECT_EQ(IngestFiles::joinInsideRoot("/r", ".."), QStringLiteral("/r"));
}

TEST(IngestRun, AbsentVolumeIsRefusedWithoutCreatingFolders)
{
    RunHarness h;
    h.addPicture(QStringLiteral("a.JPG"), 1);
    IngestFiles ingest;
    h.run(ingest, h.setup({{"PrimaryRootFolder", "/Volumes/CARD2/Pictures"}}));

    ASSERT_EQ(h.ui.alerts.size(), 2);
    EXPECT_EQ(h.ui.alerts[0].title, QStringLiteral("Can't access volume \"CARD2\""));
    EXPECT_EQ(h.ui.alerts[0].message, QStringLiteral("It may not be mounted."));
    EXPECT_EQ(h.ui.alerts[1].title, QStringLiteral("Files ingested: 0\nDuplicates skipped: 0"));
    EXPECT_EQ(h.ui.alerts[1].message, QStringLiteral("Ingestion incomplete -- an error occurred."));
    EXPECT_TRUE(h.ingestionLog().contains(QStringLiteral("ERROR: Can't access volume \"CARD2\"")));
    EXPECT_TRUE(
        h.ingestionLog().contains(QStringLiteral("Ingestion incomplete -- an error occurred")));
    EXPECT_TRUE(
        h.pane.text().endsWith(QStringLiteral("\nIngestion incomplete -- an error occurred\n")));
    EXPECT_FALSE(QFileInfo::exists(QStringLiteral("/Volumes")));

    // The Linux mount places: a missing or unmounted mount point is refused by name.
    EXPECT_EQ(IngestFiles::missingVolume("/media/nobody-here/CARD9/DCIM"), QStringLiteral("CARD9"));
    EXPECT_EQ(IngestFiles::missingVolume("/run/media/nobody-here/CARD8"), QStringLiteral("CARD8"));
    EXPECT_EQ(IngestFiles::missingVolume("/mnt/brindlewick-absent/x"),
              QStringLiteral("brindlewick-absent"));
    EXPECT_EQ(IngestFiles::missingVolume(h.primary + "/2024"), QString());
    EXPECT_EQ(IngestFiles::missingVolume("/media"), QString());
}

TEST(IngestRun, BackupWithEmptyRootGoesToBackupInsidePrimaryAndOnToPrimary)
{
    RunHarness h;
    h.addPicture(QStringLiteral("a.JPG"), 1);
    h.addPicture(QStringLiteral("b.JPG"), 2);
    QString opened;
    IngestFiles ingest;
    ingest.setFolderOpener([&](const QString &app, const QString &folder) {
        opened = app + QLatin1Char('|') + folder;
    });
    h.run(ingest, h.setup({{"WantBackup", "YES"}, {"PostApp", "/usr/bin/viewer"}}));

    EXPECT_TRUE(h.ui.alerts.isEmpty()) << h.ui.alertTexts().join('|').toStdString();
    EXPECT_EQ(h.filesIn(h.primary + "/Backup/2024"), (QStringList{"IMG.JPG", "IMG_1.JPG"}));
    EXPECT_EQ(h.filesIn(h.primary + "/2024"), (QStringList{"IMG.JPG", "IMG_1.JPG"}));
    EXPECT_EQ(ingest.numCopiedToBackup(), 2);
    EXPECT_TRUE(h.pane.text().contains(QStringLiteral("Number copied to backup: 2\n")));
    EXPECT_EQ(opened, QStringLiteral("/usr/bin/viewer|") + h.primary + "/2024");
}

TEST(IngestRun, LaterTreesAreWrittenFromTheSameReadAndNeverReplace)
{
    RunHarness h;
    IngestFiles::setTemplateResource(
        QStringLiteral(BRINDLEWICK_TESTS_DIR "/../resources/XMPtemplate.xmp"));
    Defaults::set(QStringLiteral("WantEmbeddedGPS"), false);
    h.addPicture(QStringLiteral("a.JPG"), 1);
    h.addPicture(QStringLiteral("b.JPG"), 2);
    const QVariantMap caption{{"IPTC.Caption/Abstract", "Hello"}};
    const auto sourceReads = [&h](const ::Setup &setup) {
        IoFaults::Plan never; // a rule that never fires, so that reads are counted
        never.rules.push_back({IoFaults::Op::SourceRead, EIO, qint64(1) << 50, 0, 1});
        IoFaults::Scope counting(never);
        IngestFiles ingest;
        h.run(ingest, setup);
        return IoFaults::callsOf(IoFaults::Op::SourceRead);
    };
    const QString backup = h.root + "/Backup";
    const QString backup2 = h.root + "/Backup2";
    const ::Setup withBackups = h.setup({{"WantBackup", "YES"},
                                         {"BackupRootFolder", backup},
                                         {"WantBackup2", "YES"},
                                         {"BackupRootFolder2", backup2},
                                         {"Metadata", caption}});
    // Three trees from one read of the card: no more reads than a run into one tree.
    EXPECT_EQ(
        sourceReads(withBackups),
        sourceReads(h.setup({{"PrimaryRootFolder", h.root + "/Plain"}, {"Metadata", caption}})));
    EXPECT_TRUE(h.ui.alerts.isEmpty()) << h.ui.alertTexts().join('|').toStdString();
    for (const QString &root : {h.primary, backup2}) {
        EXPECT_EQ(h.filesIn(root + "/2024"), (QStringList{"IMG.JPG", "IMG_1.JPG"}));
        for (const char *name : {"IMG.JPG", "IMG_1.JPG"}) {
            EXPECT_EQ(readTestFile(root + "/2024/" + name), readTestFile(backup + "/2024/" + name));
            EXPECT_EQ(fixtures::permissions(root + "/2024/" + name), 0644);
            EXPECT_EQ(fixtures::modificationTime(root + "/2024/" + name).tv_sec,
                      fixtures::modificationTime(backup + "/2024/" + name).tv_sec);
        }
        EXPECT_TRUE(ManifestCheck::check(root).clean());
    }
    EXPECT_TRUE(readTestFile(h.primary + "/2024/IMG.JPG").contains("Hello"));

    // A name taken in the primary tree meanwhile fails as a copy there would, and keeps its file;
    // no prepared copy is left behind anywhere, nor a folder made only for one.
    for (const QString &root : {h.primary, backup, backup2})
        QDir(root).removeRecursively();
    QDir().mkpath(h.primary + "/2024");
    ASSERT_TRUE(writeTestFile(h.primary + "/2024/IMG_1.JPG", "mine"));
    h.ui.clear();
    IngestFiles ingest;
    h.run(ingest, withBackups);
    Defaults::remove(QStringLiteral("WantEmbeddedGPS"));
    EXPECT_EQ(h.ui.alertTexts().value(0),
              "Error copying file.: The file \"IMG_1.JPG\" couldn't be copied to \"" + h.primary +
                  "/2024\" because an item with the same name already exists.");
    EXPECT_EQ(readTestFile(h.primary + "/2024/IMG_1.JPG"), "mine");
    EXPECT_EQ(h.filesIn(h.primary + "/2024"), (QStringList{"IMG.JPG", "IMG_1.JPG"}));
    EXPECT_EQ(h.filesIn(backup2 + "/2024"), QStringList{"IMG.JPG"});
}

TEST(IngestRun, IndexCountsTickedItemsIncludingDuplicates)
{
    RunHarness h;
    h.addPicture(QStringLiteral("a.JPG"), 1);
    h.addPicture(QStringLiteral("b.JPG"), 2)->checked = false;
    h.addPicture(QStringLiteral("c.JPG"), 3);
    {
        IngestFiles first;
        ThumbItemList only{h.items[2]};
        first.setItems(only);
        first.go(h.setup(), false);
    }
    h.addPicture(QStringLiteral("d.JPG"), 4);
    IngestFiles ingest;
    h.run(ingest, h.setup());
    EXPECT_EQ(ingest.numDupes(), 1);
    EXPECT_EQ(h.items[0]->index, 1);
    EXPECT_EQ(h.items[1]->index, 0);
    EXPECT_EQ(h.items[2]->index, 2);
    EXPECT_EQ(h.items[3]->index, 3);
    EXPECT_EQ(ingest.firstFile(), QStringLiteral("a.JPG"));
    EXPECT_EQ(ingest.lastFile(), QStringLiteral("d.JPG"));

    // Once the macros are evaluated, the names carry the same numbers.
    IngestFiles again;
    h.run(again, h.setup({{"FilenameArrangement", "IMG{@Index:4}"}, {"FolderArrangement", "idx"}}));
    EXPECT_TRUE(QFileInfo::exists(h.primary + "/idx/IMG0003.JPG"));
}

TEST(IngestRun, MissingDataRefusesTheRun)
{
    RunHarness h;
    h.addPicture(QStringLiteral("a.JPG"), 1);
    h.addPicture(QStringLiteral("b.JPG"), 2)->metadataUser = QVariantMap{{"IPTC.City", "Lyon"}};
    const ::Setup setup =
        h.setup({{"Metadata", QVariantMap{{"IPTC.City", "{@Required}"}, {"Shoot", "Trip"}}},
                 {"WantBackup", "YES"}});
    IngestFiles ingest;
    h.run(ingest, setup);
    EXPECT_EQ(ingest.numMissingData(), 1);
    EXPECT_EQ(h.ui.alertTexts(), QStringList{"One or more photos have missing data.: Click "
                                             "Preview button for details."});
    EXPECT_TRUE(h.pane.text().contains(QStringLiteral("1 photos had missing data\n")));
    EXPECT_TRUE(h.ingestionLog().contains(QStringLiteral("1 photos had missing data")));
    EXPECT_FALSE(QFileInfo::exists(h.primary));
    EXPECT_TRUE(h.notifications.contains(QStringLiteral("IngestionComplete")));

    // The preview only counts and computes the targets, creating nothing and saying nothing;
    // the user's value wins over the preset's.
    h.ui.clear();
    h.pane.clear();
    h.notifications.clear();
    IngestFiles preview;
    h.run(preview, setup, true);
    EXPECT_EQ(preview.numMissingData(), 1);
    EXPECT_FALSE(QFileInfo::exists(h.primary));
    EXPECT_EQ(h.items[0]->targetFilename, QStringLiteral("IMG.JPG"));
    EXPECT_EQ(h.items[0]->targetSubFolder, QStringLiteral("2024"));
    EXPECT_TRUE(h.ui.alerts.isEmpty());
    EXPECT_TRUE(h.ui.progresses.isEmpty());
    EXPECT_TRUE(h.pane.text().isEmpty());
    EXPECT_FALSE(h.notifications.contains(QStringLiteral("IngestionComplete")));
    EXPECT_EQ(preview.ingestedFiles().value(h.primary + "/Backup/2024").size(), 2);
    EXPECT_EQ(h.items[1]->metadataGenerated.value("IPTC.City"), QVariant("Lyon"));
    EXPECT_EQ(h.items[0]->metadataGenerated.value("MissingData"), QVariant("yes"));
    EXPECT_EQ(h.items[1]->metadataGenerated.value("MissingData"), QVariant("no"));
    EXPECT_EQ(h.items[1]->shoot, QStringLiteral("Trip"));
}

TEST(IngestRun, MissingTemplateStopsBeforeAnything)
{
    RunHarness h;
    h.addPicture(QStringLiteral("a.JPG"), 1);
    IngestFiles::setTemplateResource(testHome() + "/no-such-template.xmp");
    IngestFiles ingest;
    h.run(ingest, h.setup());
    EXPECT_EQ(h.pane.text(), QStringLiteral("Ingestion starting...\n\nERROR: Can't access XMP "
                                            "template -- ingestion can't proceed. Please contact "
                                            "support.\n"));
    EXPECT_TRUE(h.ingestionLog().contains(QStringLiteral(
        "ERROR: Can't access XMP template -- ingestion can't proceed. Please contact support.")));
    EXPECT_TRUE(h.notifications.contains(QStringLiteral("IngestionComplete")));
    EXPECT_FALSE(QFileInfo::exists(h.primary));
}

TEST(IngestRun, JpegVerificationStopsAtADamagedJpgButNotAJpeg)
{
    RunHarness h;
    const QByteArray good = encodeJpeg(1);
    h.addFile(QStringLiteral("a.jpeg"), good.left(good.size() / 2));
    h.addFile(QStringLiteral("b.JPG"), good);
    h.addFile(QStringLiteral("c.jpg"), good.left(good.size() / 2));
    h.addFile(QStringLiteral("d.jpg"), good);
    IngestFiles ingest;
    h.run(ingest, h.setup({{"WantJPEGVerify", "YES"}}));

    const QString damaged = h.primary + "/2024/IMG.jpg";
    EXPECT_EQ(ingest.numIngested(), 3); // the damaged copy stays where it is
    EXPECT_TRUE(QFileInfo::exists(damaged));
    EXPECT_FALSE(QFileInfo::exists(h.primary + "/2024/IMG_1.jpg"));
    ASSERT_EQ(h.ui.alerts.size(), 2);
    EXPECT_EQ(h.ui.alerts[0].title, QStringLiteral("Invalid JPEG file."));
    EXPECT_EQ(h.ui.alerts[0].message, damaged);
    EXPECT_TRUE(h.pane.text().contains(QStringLiteral("\nInvalid JPEG file: ") + damaged + "\n"));
    EXPECT_TRUE(h.ingestionLog().contains(QStringLiteral("Invalid JPEG file: ") + damaged));
    EXPECT_TRUE(h.systemLog.contains(QStringLiteral("Invalid JPEG file: ") + damaged));
}

// A folder that cannot be written, or whose every free name is taken: the copy fails and the
// folder is left as it was.
TEST(IngestRun, CopyIntoReadOnlyOrFullFolderFailsWithoutTouchingIt)
{
    RunHarness h;
    h.addPicture(QStringLiteral("a.JPG"), 1);
    const QString folder = h.primary + "/2024";
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    {
        PermissionsHoldForThisThread asUser; // permissions hold back even the superuser
        IngestFiles ingest;
        h.run(ingest, h.setup());
    }
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    ASSERT_FALSE(h.ui.alerts.isEmpty());
    EXPECT_EQ(h.ui.alerts[0].title, QStringLiteral("Error copying file."));
    EXPECT_TRUE(
        h.ingestionLog().contains(QStringLiteral("ERROR copying file: ") + h.ui.alerts[0].message));
    EXPECT_EQ(h.filesIn(folder), QStringList());

    h.ui.clear();
    h.pane.clear();
    writeTestFile(folder + "/IMG.JPG", "other");
    for (int n = 1; n <= 999; ++n)
        writeTestFile(folder + QStringLiteral("/IMG_%1.JPG").arg(n), "other");
    IngestFiles full;
    h.run(full, h.setup());

    EXPECT_EQ(h.items[0]->targetFilename, QStringLiteral("IMG_999.JPG"));
    ASSERT_EQ(h.ui.alerts.size(), 2);
    EXPECT_EQ(h.ui.alerts[0].title, QStringLiteral("Error copying file."));
    EXPECT_EQ(readTestFile(folder + "/IMG_999.JPG"), QByteArray("other"));
    EXPECT_TRUE(
        h.systemLog.contains(QStringLiteral("Error copying to ") + folder + "/IMG_999.JPG"));
    EXPECT_TRUE(h.pane.text().contains(QStringLiteral("\nERROR copying file: ")));
    EXPECT_EQ(h.filesIn(folder).size(), 1000);
}

TEST(IngestRun, MetadataWaitEndsOnArrivalOrTimesOut)
{
    RunHarness h;
    h.addPicture(QStringLiteral("a.JPG"), 1);
    ThumbItemPtr camera = ThumbItem::initWithImage(QImage());
    camera->metadata.reset();
    h.items << camera; // not ticked: waited for all the same
    h.ui.waitTimeoutMs = 20;
    {
        IngestFiles ingest;
        h.run(ingest, h.setup());
        ASSERT_EQ(h.ui.waits.size(), 1);
        EXPECT_EQ(h.ui.waits[0].message, QStringLiteral("Reading metadata..."));
        EXPECT_EQ(h.ui.waits[0].timeoutSeconds, 5);
        EXPECT_EQ(h.ui.alertTexts().value(0),
                  QStringLiteral("Unable to retrieve metadata for one or more images.: "));
        EXPECT_EQ(ingest.numIngested(), 1); // the run goes on
    }
    h.ui.clear();
    h.ui.waitTimeoutMs = 10000;
    QTimer::singleShot(0, [&] {
        camera->metadata = QVariantMap();
        NotificationCenter::defaultCenter().post(QStringLiteral("MetadataHasArrived"));
    });
    IngestFiles again;
    h.run(again, h.setup());
    ASSERT_EQ(h.ui.waits.size(), 1);
    EXPECT_EQ(h.ui.waits[0].outcome, WaitOutcome::Ended);
    EXPECT_FALSE(h.ui.alertTexts().contains(
        QStringLiteral("Unable to retrieve metadata for one or more images.: ")));
}

TEST(IngestRun, EmptyFileNameKeepsTheOriginalName)
{
    // A name macro that comes out blank would make hidden ".JPG" files.
    RunHarness h;
    h.addPicture(QStringLiteral("DSC_0042.JPG"), 1);
    h.addPicture(QStringLiteral("noext"), 2);
    IngestFiles ingest;
    h.run(ingest, h.setup({{"FilenameArrangement", "  \t"}}));
    EXPECT_EQ(h.filesIn(h.primary + "/2024"), (QStringList{"DSC_0042.JPG", "noext"}));
    EXPECT_TRUE(h.pane.text().contains(
        "The file name for DSC_0042.JPG came out empty; the original name is kept\n"));
    EXPECT_TRUE(h.pane.text().endsWith(kSuccessTail));
}

TEST(IngestRun, FailedMetadataLeavesNoWorkingFileAndIsCounted)
{
    RunHarness h;
    IngestFiles::setTemplateResource(
        QStringLiteral(BRINDLEWICK_TESTS_DIR "/../resources/XMPtemplate.xmp"));
    Defaults::set(QStringLiteral("WantEmbeddedGPS"), false);
    // The merge into the second file fails: bytes between its segments.
    const QByteArray good = encodeJpeg(1);
    h.addFile(QStringLiteral("a.JPG"), good);
    h.addFile(QStringLiteral("b.JPG"), good.left(2) + "junk" + good.mid(2));
    IngestFiles ingest;
    h.run(ingest, h.setup({{"Metadata", QVariantMap{{"IPTC.Caption/Abstract", "Hello"}}}}));
    Defaults::remove(QStringLiteral("WantEmbeddedGPS"));

    EXPECT_EQ(h.filesIn(h.primary + "/2024"), (QStringList{"IMG.JPG", "IMG_1.JPG"}));
    // The good one was written with its XMP as it was copied; the other one, whose head could
    // not be rewritten, was copied as it is and left to the merger, which reported it.
    EXPECT_TRUE(readTestFile(h.primary + "/2024/IMG.JPG").contains("Hello"));
    EXPECT_EQ(readTestFile(h.primary + "/2024/IMG_1.JPG"), readTestFile(h.card + "/b.JPG"));
    EXPECT_EQ(ingest.numMetadataNotWritten(), 1);
    EXPECT_EQ(h.ui.alertTexts(), QStringList{"Error writing XMP to JPG.: "});
    EXPECT_TRUE(h.pane.text().contains("\nERROR writing XMP to JPG b.JPG\n"));
    EXPECT_TRUE(h.pane.text().endsWith(
        "Number with metadata not written: 1\nPlanned: 2; Copied: 2; Duplicates: 0; Failed: 0; "
        "Stopped: 0\n" +
        kSuccessTail));
    const QStringList log = h.ingestionLog();
    EXPECT_TRUE(log.contains("ERROR writing XMP to JPG b.JPG"));
    EXPECT_TRUE(log.contains("ERROR: Metadata not written for 1 files"));
}
