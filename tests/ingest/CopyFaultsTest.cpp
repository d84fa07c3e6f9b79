// Faults met while copying: bytes that change on their way to the disk, failing writes, fsyncs
// and reads, sources that change or vanish, full disks. Whatever happens, no file under a final
// name differs from its source, nothing half-written stays behind, and the run's totals add up.
#include "IngestFixture.h"

#include "platform/IoFaults.h"

#include <QEventLoop>
#include <QImage>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

using IoFaults::Op;

IoFaults::Plan plan(std::initializer_list<IoFaults::Rule> rules, int flips = 0)
{
    IoFaults::Plan p;
    p.rules = rules;
    p.flips = flips;
    return p;
}

IoFaults::Rule onCall(Op op, int error, int call, int times = 1)
{
    IoFaults::Rule rule;
    rule.op = op;
    rule.error = error;
    rule.onCall = call;
    rule.times = times;
    return rule;
}

IoFaults::Rule afterBytes(Op op, int error, qint64 bytes, int times = -1)
{
    IoFaults::Rule rule;
    rule.op = op;
    rule.error = error;
    rule.afterBytes = bytes;
    rule.times = times;
    return rule;
}

void expectBalanced(const IngestFiles &ingest, int copied, int duplicates, int failed, int stopped)
{
    const RunTotals &t = ingest.totals();
    EXPECT_TRUE(t.balanced()) << t.line().toStdString();
    EXPECT_EQ(t.planned, ingest.numTotal());
    EXPECT_EQ(t.copied, copied) << t.line().toStdString();
    EXPECT_EQ(t.duplicates, duplicates) << t.line().toStdString();
    EXPECT_EQ(t.failed, failed) << t.line().toStdString();
    EXPECT_EQ(t.stopped, stopped) << t.line().toStdString();
}

} // namespace

TEST(CopyFaults, FlippedByteIsCopiedAgainAndASecondFlipFailsTheFile)
{
    RunHarness h;
    h.addPicture(QStringLiteral("a.JPG"), 1);
    h.addPicture(QStringLiteral("b.JPG"), 2);
    {
        // One copy changes between its write and its read-back: thrown away, made again.
        IoFaults::Scope faults(plan({}, 1));
        IngestFiles ingest;
        h.run(ingest, h.setup());
        EXPECT_TRUE(h.ui.alerts.isEmpty()) << h.ui.alertTexts().join('|').toStdString();
        EXPECT_EQ(RunHarness::filesIn(h.primary + "/2024"), (QStringList{"IMG.JPG", "IMG_1.JPG"}));
        EXPECT_EQ(readTestFile(h.primary + "/2024/IMG.JPG"), readTestFile(h.card + "/a.JPG"));
        EXPECT_TRUE(h.pane.text().contains(
            QStringLiteral("Copy of %1/2024/IMG.JPG made again from the source: the copy read "
                           "back differed from the original")
                .arg(h.primary)))
            << h.pane.text().toStdString();
        expectBalanced(ingest, 2, 0, 0, 0);
    }
    h.ui.clear();
    const QString other = h.root + QStringLiteral("/Other");
    {
        // Twice in a row: the file fails with a message naming it, nothing of it is placed and
        // the run stops there (the destination is not to be trusted).
        IoFaults::Scope faults(plan({}, 2));
        IngestFiles ingest;
        h.run(ingest, h.setup({{"PrimaryRootFolder", other}}));
        ASSERT_EQ(h.ui.alerts.size(), 2) << h.ui.alertTexts().join('|').toStdString();
        EXPECT_EQ(h.ui.alerts[0].title, QStringLiteral("Error copying file."));
        EXPECT_EQ(h.ui.alerts[0].message,
                  QStringLiteral("The copy of \"a.JPG\" in \"%1/2024\" differed from the original "
                                 "when it was read back, twice; the copy was not kept.")
                      .arg(other));
        EXPECT_EQ(h.ui.alerts[1].message,
                  QStringLiteral("Ingestion incomplete -- an error occurred."));
        EXPECT_EQ(RunHarness::filesIn(other + "/2024"), QStringList());
        expectBalanced(ingest, 0, 0, 1, 1);
        EXPECT_EQ(ingest.totals().failures.value(0).file, QStringLiteral("a.JPG"));
        EXPECT_TRUE(h.ingestionLog().contains(
            QStringLiteral("Planned: 2; Copied: 0; Duplicates: 0; Failed: 1; Stopped: 1")));
    }
    // With verification off nothing is read back, so the flip goes unnoticed by the copy: the
    // seam's byte stays unflipped (it is only used by read-backs).
    h.ui.clear();
    IoFaults::Scope faults(plan({}, 1));
    IngestFiles ingest;
    ingest.setVerifyCopies(false);
    h.run(ingest, h.setup({{"PrimaryRootFolder", h.root + QStringLiteral("/Unverified")}}));
    EXPECT_EQ(ingest.numIngested(), 2);
    EXPECT_FALSE(h.pane.text().contains(QStringLiteral("made again")));
}

TEST(CopyFaults, FailedFsyncOrWriteIsRedoneFromTheSourceOnceThenFails)
{
    const QString folder = makeTestFolder(QStringLiteral("fsync"));
    const QByteArray bytes = encodeJpeg(7);
    writeTestFile(folder + "/src.jpg", bytes);
    SafeCopier copier;
    int cleanReads = 0;
    {
        IoFaults::Scope faults(plan({afterBytes(Op::DestinationWrite, ENOSPC, 1 << 30)}));
        ASSERT_TRUE(copier.copy(folder + "/src.jpg", folder + "/clean.jpg").ok());
        cleanReads = IoFaults::callsOf(Op::SourceRead);
    }
    // A failed fsync may have dropped the pages it could not write: the copy is made again from
    // the source (the source is read a second time), never synced again and trusted.
    {
        IoFaults::Scope faults(plan({onCall(Op::DestinationSync, EIO, 1)}));
        const CopyReport report = copier.copy(folder + "/src.jpg", folder + "/once.jpg");
        ASSERT_TRUE(report.ok()) << report.error.toStdString();
        EXPECT_EQ(report.retries, QStringList{"fsync failed: Input/output error"});
        EXPECT_EQ(IoFaults::callsOf(Op::SourceRead), 2 * cleanReads);
        EXPECT_EQ(IoFaults::callsOf(Op::DestinationSync), 2);
        EXPECT_EQ(readTestFile(folder + "/once.jpg"), bytes);
    }
    {
        IoFaults::Scope faults(plan({onCall(Op::DestinationSync, EIO, 1, 2)}));
        const CopyReport report = copier.copy(folder + "/src.jpg", folder + "/twice.jpg");
        EXPECT_EQ(report.failure, CopyReport::Failure::Destination);
        EXPECT_TRUE(report.error.contains(QStringLiteral("Input/output error")));
        EXPECT_EQ(IoFaults::callsOf(Op::DestinationSync), 2);
    }
    {
        // EIO on a write half-way, once: made again; and a read-back that fails likewise.
        IoFaults::Scope faults(
            plan({afterBytes(Op::DestinationWrite, EIO, 1000, 1), onCall(Op::ReadBack, EIO, 1)}));
        const CopyReport report = copier.copy(folder + "/src.jpg", folder + "/write.jpg");
        ASSERT_FALSE(report.ok()) << "a write fault and then a read-back fault: two attempts";
        EXPECT_EQ(report.retries.size(), 1);
    }
    {
        IoFaults::Scope faults(plan({afterBytes(Op::DestinationWrite, EIO, 1000, 1)}));
        const CopyReport report = copier.copy(folder + "/src.jpg", folder + "/write.jpg");
        ASSERT_TRUE(report.ok()) << report.error.toStdString();
        EXPECT_EQ(report.retries, QStringList{"writing failed: Input/output error"});
        EXPECT_EQ(readTestFile(folder + "/write.jpg"), bytes);
    }
    // A full disk is not tried again: nothing more can fit.
    {
        IoFaults::Scope faults(plan({onCall(Op::DestinationSync, ENOSPC, 1)}));
        const CopyReport report = copier.copy(folder + "/src.jpg", folder + "/full.jpg");
        EXPECT_EQ(report.failure, CopyReport::Failure::DiskFull);
        EXPECT_TRUE(report.retries.isEmpty());
    }
    EXPECT_EQ(RunHarness::filesIn(folder),
              (QStringList{"clean.jpg", "once.jpg", "src.jpg", "write.jpg"}));
}

TEST(CopyFaults, UnreadableChangingOrVanishingSourceFailsThatFileAndTheRunGoesOn)
{
    RunHarness h;
    h.addPicture(QStringLiteral("a.JPG"), 1);
    h.addPicture(QStringLiteral("b.JPG"), 2);
    h.addPicture(QStringLiteral("c.JPG"), 3);
    // A large file so the copy gives the window turns while it runs: the source is rewritten
    // during one of them, and a later file vanishes from the card.
    QByteArray big(SafeCopier::chunkBytes + 4096, 'r');
    h.addFile(QStringLiteral("d.NEF"), big);
    h.addPicture(QStringLiteral("e.JPG"), 5);
    h.ui.onTurn = [&](int turn) {
        if (turn == 5) { // inside the copy of d.NEF
            writeTestFile(h.card + "/d.NEF", "shrunk");
            QFile::remove(h.card + "/e.JPG");
        }
    };
    // A bad sector: the second file's first read fails.
    IoFaults::Scope faults(plan({onCall(Op::SourceRead, EIO, 3)}));
    IngestFiles ingest;
    h.run(ingest, h.setup());

    EXPECT_EQ(RunHarness::filesIn(h.primary + "/2024"), (QStringList{"IMG.JPG", "IMG_1.JPG"}));
    EXPECT_EQ(readTestFile(h.primary + "/2024/IMG_1.JPG"), readTestFile(h.card + "/c.JPG"));
    const QStringList alerts = h.ui.alertTexts();
    ASSERT_EQ(alerts.size(), 4) << alerts.join('|').toStdString();
    EXPECT_EQ(alerts[0], QStringLiteral("Error copying file.: The file \"%1/b.JPG\" couldn't be "
                                        "read: Input/output error")
                             .arg(h.card));
    EXPECT_EQ(alerts[1],
              QStringLiteral("Error copying file.: The file \"d.NEF\" changed while it was being "
                             "copied to \"%1/2024\"; the copy was not kept.")
                  .arg(h.primary));
    EXPECT_TRUE(alerts[2].startsWith(QStringLiteral("Error copying file.: ")));
    EXPECT_TRUE(alerts[2].contains(QStringLiteral("No such file"))) << alerts[2].toStdString();
    EXPECT_EQ(alerts[3], QStringLiteral("Files ingested: 2\nDuplicates skipped: 0: Ingestion "
                                        "incomplete -- an error occurred."));
    expectBalanced(ingest, 2, 0, 3, 0);
    EXPECT_TRUE(h.pane.text().endsWith(
        QStringLiteral("Planned: 5; Copied: 2; Duplicates: 0; Failed: 3; Stopped: 0\n\nIngestion "
                       "incomplete -- an error occurred\n")));
}

TEST(CopyFaults, ConsecutiveSourceFailuresMeanTheCardIsGone)
{
    RunHarness h;
    for (int i = 0; i < 5; ++i)
        h.addPicture(QStringLiteral("p%1.JPG").arg(i), static_cast<unsigned>(i + 1));
    // The first copies; then every read fails, as when the card is pulled.
    IoFaults::Scope faults(plan({onCall(Op::SourceRead, EIO, 3, -1)}));
    IngestFiles ingest;
    h.run(ingest, h.setup());
    EXPECT_EQ(RunHarness::filesIn(h.primary + "/2024"), QStringList{"IMG.JPG"});
    const QStringList alerts = h.ui.alertTexts();
    ASSERT_EQ(alerts.size(), 5) << alerts.join('|').toStdString();
    EXPECT_EQ(alerts[3],
              QStringLiteral("The card may have been removed.: 3 files in a row could not be read "
                             "from \"%1\".")
                  .arg(h.card));
    EXPECT_TRUE(h.ingestionLog().contains(
        QStringLiteral("ERROR: 3 files in a row could not be read from \"%1\"; the card may have "
                       "been removed.")
            .arg(h.card)));
    expectBalanced(ingest, 1, 0, 3, 1);
}

TEST(CopyFaults, FullDiskThroughTheSeamStopsTheRunWithNothingPartial)
{
    RunHarness h;
    for (int i = 0; i < 4; ++i)
        h.addPicture(QStringLiteral("p%1.JPG").arg(i), static_cast<unsigned>(i + 1));
    h.addPicture(QStringLiteral("dup.JPG"), 1); // same picture as p0: a duplicate
    std::swap(h.items[1], h.items[4]);
    const qint64 size = QFileInfo(h.card + "/p0.JPG").size();
    // Room for two files and a half.
    IoFaults::Scope faults(plan({afterBytes(Op::DestinationWrite, ENOSPC, 2 * size + size / 2)}));
    IngestFiles ingest;
    h.run(ingest, h.setup());
    EXPECT_EQ(RunHarness::filesIn(h.primary + "/2024"), (QStringList{"IMG.JPG", "IMG_1.JPG"}));
    ASSERT_FALSE(h.ui.alerts.isEmpty());
    EXPECT_EQ(h.ui.alerts[0].title, QStringLiteral("Error copying file."));
    EXPECT_TRUE(h.ui.alerts[0].message.contains(
        QStringLiteral("because the disk is full (No space left on device)")))
        << h.ui.alerts[0].message.toStdString();
    EXPECT_EQ(h.ui.alerts.size(), 2); // the disk-full error, then the incomplete run
    expectBalanced(ingest, 2, 1, 1, 1);
    EXPECT_TRUE(h.ingestionLog().contains(
        QStringLiteral("Planned: 5; Copied: 2; Duplicates: 1; Failed: 1; Stopped: 1")));
}

TEST(CopyFaults, StoppedRunSaysSoAndBalances)
{
    RunHarness h;
    for (int i = 0; i < 4; ++i)
        h.addPicture(QStringLiteral("p%1.JPG").arg(i), static_cast<unsigned>(i + 1));
    h.ui.stopAtTurn = 3;
    IngestFiles ingest;
    h.run(ingest, h.setup());
    EXPECT_EQ(ingest.numIngested(), 2);
    EXPECT_TRUE(ingest.cancelled());
    EXPECT_EQ(RunHarness::filesIn(h.primary + "/2024"), (QStringList{"IMG.JPG", "IMG_1.JPG"}));
    expectBalanced(ingest, 2, 0, 0, 2);
    EXPECT_EQ(h.ui.alertTexts(), QStringList{"Files ingested: 2\nDuplicates skipped: 0: Ingestion "
                                             "incomplete -- cancelled by user."});
    EXPECT_TRUE(
        h.pane.text().endsWith(QStringLiteral("\nIngestion incomplete -- cancelled by user\n")));
    EXPECT_TRUE(
        h.ingestionLog().contains(QStringLiteral("Ingestion incomplete -- cancelled by user")));
}

namespace {

class FakeCameraFile : public CameraFile
{
public:
    explicit FakeCameraFile(QString name) : m_name(std::move(name)) {}
    QString name() const override { return m_name; }
    QDateTime modificationDate() const override { return QDateTime::currentDateTime(); }
    HeldImage thumbnail() const override { return {}; }
    std::optional<QVariantMap> metadata() const override { return QVariantMap(); }
    CameraDevice *device() const override { return nullptr; }

private:
    QString m_name;
};

} // namespace

// Camera downloads answer later, from the event loop: one arrives, one never answers before the
// last one fails and ends the run.
TEST(CopyFaults, CameraDownloadsCompleteTheRunLaterAndBalance)
{
    RunHarness h;
    const QString cameraFolder = makeTestFolder(QStringLiteral("camera"));
    const QStringList names{"DSC1.JPG", "DSC2.JPG", "DSC3.JPG"};
    for (int i = 0; i < names.size(); ++i) {
        writeTestFile(cameraFolder + "/" + names[i], encodeJpeg(static_cast<unsigned>(i + 1)));
        ThumbItemPtr item = ThumbItem::initWithImage(QImage());
        item->cameraFile = std::make_shared<FakeCameraFile>(names[i]);
        item->metadata = pictureProperties(i);
        item->checked = true;
        h.items << item;
    }
    IngestFiles ingest;
    QStringList saved;
    ingest.setCameraDownloader(
        [&](const ThumbItemPtr &item, const QString &folder, const QString &name) {
            saved << name;
            if (item->title() == QLatin1String("DSC2.JPG"))
                return true; // never answered
            QTimer::singleShot(0, [&, item, folder, name] {
                const bool fail = item->title() == QLatin1String("DSC3.JPG");
                if (!fail)
                    QFile::copy(cameraFolder + "/" + item->title(), folder + "/" + name);
                ingest.didDownloadFile(fail ? QStringLiteral("The camera went away.") : QString(),
                                       {{IngestFiles::DownloadFolderKey, folder},
                                        {IngestFiles::SavedFilenameKey, name}},
                                       item);
            });
            return true;
        });
    h.run(ingest, h.setup());
    EXPECT_EQ(saved.size(), 3);
    EXPECT_FALSE(h.notifications.contains(QStringLiteral("IngestionComplete")));
    QEventLoop loop;
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    NotificationCenter::defaultCenter().addObserver(&loop, QStringLiteral("IngestionComplete"),
                                                    [&](const Notification &) { loop.quit(); });
    loop.exec();
    NotificationCenter::defaultCenter().removeObserver(&loop);

    EXPECT_EQ(ingest.numIngested(), 1);
    EXPECT_TRUE(h.items[0]->ingested);
    EXPECT_FALSE(h.items[2]->ingested);
    expectBalanced(ingest, 1, 0, 1, 1);
    ASSERT_EQ(h.ui.alerts.size(), 2);
    EXPECT_EQ(h.ui.alertTexts()[0],
              QStringLiteral("Error copying one or more files.: The camera went away."));
    EXPECT_TRUE(h.pane.text().contains(
        QStringLiteral("\nERROR copying one or more files: The camera went away.\n")));
    EXPECT_TRUE(h.ingestionLog().contains(
        QStringLiteral("ERROR copying one or more files: The camera went away.")));
    EXPECT_EQ(h.ui.alerts[1].message, QStringLiteral("Ingestion incomplete -- an error occurred."));
    EXPECT_EQ(h.notifications.count(QStringLiteral("IngestionComplete")), 1);
    // The downloaded file is listed in the manifest of its root; the failed one is not.
    const AscMhl::History history = AscMhl::readHistory(h.primary);
    ASSERT_EQ(history.generations.size(), 1);
    ASSERT_EQ(history.generations[0].entries.size(), 1);
    EXPECT_EQ(history.generations[0].entries[0].path, "2024/" + saved[0]);
}

TEST(CopyFaults, CopyInFlightLandsBeforeAnythingOfTheNextItem)
{
    const QVariantMap numbered{{"FilenameArrangement", "IMG{@Index:4}"}};
    {
        // The second copy fails twice while the third is being written beside it: the run
        // stops there, the third's temporary goes and it counts as never begun.
        RunHarness h;
        for (int i = 0; i < 3; ++i)
            h.addPicture(QStringLiteral("p%1.JPG").arg(i), static_cast<unsigned>(i + 1));
        int readsPerCopy = 0;
        int readBacksPerCopy = 0;
        {
            IoFaults::Scope counting(plan({afterBytes(Op::DestinationWrite, ENOSPC, 1 << 30)}));
            SafeCopier().copy(h.card + "/p0.JPG", h.root + "/probe.JPG");
            readsPerCopy = IoFaults::callsOf(Op::SourceRead);
            readBacksPerCopy = IoFaults::callsOf(Op::ReadBack);
        }
        IoFaults::Scope faults(plan({onCall(Op::ReadBack, EIO, readBacksPerCopy + 1, 2)}));
        IngestFiles ingest;
        h.run(ingest, h.setup(numbered));
        EXPECT_EQ(RunHarness::filesIn(h.primary + "/2024"), QStringList{"IMG0001.JPG"});
        expectBalanced(ingest, 1, 0, 1, 1);
        EXPECT_EQ(ingest.totals().failures.value(0).file, QStringLiteral("p1.JPG"));
        EXPECT_TRUE(h.items[2]->targetFilename.isEmpty());
        ASSERT_EQ(h.ui.alerts.size(), 2) << h.ui.alertTexts().join('|').toStdString();
        EXPECT_TRUE(h.ui.alerts[0].message.contains(QStringLiteral("\"p1.JPG\"")));
        EXPECT_TRUE(h.pane.text().contains(
            QStringLiteral("Copy of %1/2024/IMG0002.JPG made again from the source: reading "
                           "back failed: Input/output error")
                .arg(h.primary)));
        // The third file was read (written beside the second's read-back), then thrown away.
        EXPECT_EQ(IoFaults::callsOf(Op::SourceRead), 4 * readsPerCopy);
    }
    {
        // Back to back under one name: the second sees the first's name as taken (a duplicate
        // of it is found as one), exactly as in series.
        RunHarness h;
        h.addPicture(QStringLiteral("a.JPG"), 1);
        h.addPicture(QStringLiteral("again.JPG"), 1);
        h.addPicture(QStringLiteral("b.JPG"), 2);
        IngestFiles ingest;
        h.run(ingest, h.setup());
        EXPECT_TRUE(h.ui.alerts.isEmpty()) << h.ui.alertTexts().join('|').toStdString();
        EXPECT_EQ(RunHarness::filesIn(h.primary + "/2024"), (QStringList{"IMG.JPG", "IMG_1.JPG"}));
        EXPECT_EQ(readTestFile(h.primary + "/2024/IMG_1.JPG"), readTestFile(h.card + "/b.JPG"));
        expectBalanced(ingest, 2, 1, 0, 0);
    }
    // A Stop while the second file is copied (the first still in flight, not yet placed): both
    // are completed and placed, the third is stopped. Raw files whose sidecars are written after
    // their copies overlap the same way, each sidecar beside its own file.
    for (const bool raws : {false, true}) {
        RunHarness h;
        const QString suffix = raws ? QStringLiteral("NEF") : QStringLiteral("JPG");
        for (int i = 0; i < 3; ++i) {
            ThumbItemPtr item = h.addFile(
                QStringLiteral("big%1.%2").arg(i).arg(suffix),
                QByteArray(static_cast<int>(CopySteps::kChunkBytes) + 4096, char('a' + i)));
            if (raws)
                item->metadataUser = QVariantMap{{"IPTC.Caption/Abstract", QString::number(i)}};
        }
        const QString folder = h.primary + QStringLiteral("/2024");
        QStringList whenStopped;
        h.ui.onTurn = [&](int turn) {
            const QStringList files = RunHarness::filesIn(folder);
            if (h.ui.stopAtTurn < 0 && files.size() == 2 &&
                files.filter(QLatin1String(SafeCopier::temporaryPrefix())).size() == 2) {
                whenStopped = files;
                h.ui.stopAtTurn = turn;
            }
        };
        IngestFiles ingest;
        h.run(ingest, h.setup(numbered));
        EXPECT_EQ(whenStopped.size(), 2) << "no copy was written beside another's read-back";
        const QStringList placed =
            raws ? QStringList{"IMG0001.NEF", "IMG0001.xmp", "IMG0002.NEF", "IMG0002.xmp"}
                 : QStringList{"IMG0001.JPG", "IMG0002.JPG"};
        EXPECT_EQ(RunHarness::filesIn(folder), placed);
        EXPECT_EQ(readTestFile(folder + "/IMG0002." + suffix),
                  readTestFile(h.card + "/big1." + suffix));
        expectBalanced(ingest, 2, 0, 0, 1);
    }
}
