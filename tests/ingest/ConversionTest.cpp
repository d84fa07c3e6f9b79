#include "IngestFixture.h"

#include "ingest/DngConverter.h"

#include <gtest/gtest.h>

namespace {

const QString kConverter = QStringLiteral(BRINDLEWICK_TESTS_DIR "/ingest/fake-dng-converter");

// A card with a JPEG and a raw file of the same base name; the metadata writer's sidecar is
// stood in for by writing NAME.xmp next to each first copy as it is marked ingested.
struct RawCard : RunHarness
{
    RawCard()
    {
        backup = root + "/Backup";
        backup2 = root + "/Backup2";
        addPicture(QStringLiteral("DSC_1.JPG"), 1);
        addFile(QStringLiteral("DSC_1.NEF"), "raw bytes");
        NotificationCenter::defaultCenter().addObserver(
            &backup, QStringLiteral("UpdateImageMarkers"), [this](const Notification &) {
                for (const ThumbItemPtr &item : std::as_const(items)) {
                    if (item->ingested && item->title().endsWith(QLatin1String("NEF")))
                        writeTestFile(backup + "/2024/IMG.xmp", "<sidecar/>");
                }
            });
        Defaults::set(QStringLiteral("ConverterPath"), kConverter);
        Defaults::set(QStringLiteral("WantEmbeddedGPS"), false);
        qputenv("FAKE_DNG_LOG", QFile::encodeName(root + "/converter.log"));
    }
    ~RawCard()
    {
        NotificationCenter::defaultCenter().removeObserver(&backup);
        qunsetenv("FAKE_DNG_LOG");
        qunsetenv("FAKE_DNG_STATUS");
        qunsetenv("FAKE_DNG_MESSAGE");
        Defaults::remove(QStringLiteral("ConverterPath"));
        Defaults::remove(QStringLiteral("WantEmbeddedGPS"));
    }
    Setup backupSetup(const QVariantMap &extra) const
    {
        QVariantMap dict{
            {"WantBackup", "YES"}, {"BackupRootFolder", backup}, {"BackupRootFolder2", backup2}};
        dict.insert(extra);
        return setup(dict);
    }
    QStringList converterCalls() const
    {
        return QString::fromUtf8(readTestFile(root + "/converter.log"))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QString backup;
    QString backup2;
};

} // namespace

TEST(Conversion, RawFilesWithoutConversionCarrySidecarOnce)
{
    RawCard card;
    IngestFiles ingest;
    card.run(ingest, card.backupSetup({{"WantConversion", "NO"}, {"WantBackup2", "YES"}}));
    EXPECT_TRUE(card.ui.alerts.isEmpty()) << card.ui.alertTexts().join('|').toStdString();
    for (const QString &tree : {card.backup, card.primary, card.backup2})
        EXPECT_EQ(card.filesIn(tree + "/2024"), (QStringList{"IMG.JPG", "IMG.NEF", "IMG.xmp"}));
    EXPECT_EQ(readTestFile(card.primary + "/2024/IMG.NEF"), QByteArray("raw bytes"));
    EXPECT_TRUE(card.converterCalls().isEmpty());
    EXPECT_EQ(card.pane.text(),
              QStringLiteral("Ingestion starting...\nNumber ingested: 2\nNumber duplicates "
                             "skipped: 0\nNumber copied to backup: 2\nNumber copied to 2nd "
                             "backup: 2\nPlanned: 2; Copied: 2; Duplicates: 0; Failed: 0; "
                             "Stopped: 0\n\nAll files processed"));
    EXPECT_TRUE(card.ingestionLog().contains(QStringLiteral("2nd Backedup: 2")));
}

TEST(Conversion, RawVerificationConvertsIntoTemporaryFolderAndCopiesRaw)
{
    RawCard card;
    IngestFiles ingest;
    card.run(ingest, card.backupSetup({{"WantConversion", "YES"}, {"WantRawVerify", "YES"}}));
    EXPECT_TRUE(card.ui.alerts.isEmpty()) << card.ui.alertTexts().join('|').toStdString();
    EXPECT_EQ(card.filesIn(card.primary + "/2024"), (QStringList{"IMG.JPG", "IMG.NEF", "IMG.xmp"}));
    const QStringList calls = card.converterCalls();
    ASSERT_EQ(calls.size(), 5);
    EXPECT_TRUE(calls[2].startsWith(ingest.tempDirRoot())) << calls[2].toStdString();
    EXPECT_FALSE(ingest.tempDirRoot().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(ingest.tempDirRoot())); // removed after the run
}

// A converter that fails, says too much or is missing: the run ends incomplete with the reason
// in the alert, the console and the ingestion log (a long one cut to 499 characters).
TEST(Conversion, ConverterFailuresAreReported)
{
    const QString missing = QStringLiteral("DNG Converter app file not accessible.");
    const struct
    {
        const char *status;
        QByteArray message;
        QString reason;
    } rows[] = {{"2", {}, {}},
                {"1", QByteArray(700, 'm'), QString(499, QLatin1Char('m'))},
                {nullptr, {}, missing}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.reason.left(10).toStdString());
        RawCard card;
        if (row.status)
            qputenv("FAKE_DNG_STATUS", row.status);
        else
            Defaults::set(QStringLiteral("ConverterPath"), testHome() + "/no/converter");
        qputenv("FAKE_DNG_MESSAGE", row.message);
        IngestFiles ingest;
        card.run(ingest, card.backupSetup({{"WantConversion", "YES"}}));
        ASSERT_EQ(card.ui.alerts.size(), 2);
        EXPECT_EQ(card.ui.alertTexts()[0], "Error running DNG Converter.: " + row.reason);
        EXPECT_EQ(card.ui.alerts[1].message,
                  QStringLiteral("Ingestion incomplete -- an error occurred."));
        const QString report = "\nERROR running DNG Converter: " + row.reason + "\n";
        EXPECT_TRUE(card.pane.text().contains(report)) << card.pane.text().toStdString();
        EXPECT_TRUE(card.ingestionLog().contains(report.mid(1).chopped(1)));
        if (qstrcmp(row.status, "2") == 0) {
            EXPECT_TRUE(card.systemLog.contains(
                QStringLiteral("Adobe DNG Converter exited with an error (Code 2)")));
        }
        if (!row.status) { // noted as soon as it is found, before the report
            const qsizetype note = card.pane.text().indexOf("\nERROR: " + missing + "\n");
            EXPECT_GE(note, 0);
            EXPECT_GT(card.pane.text().indexOf(report), note);
            EXPECT_TRUE(card.ingestionLog().contains("ERROR: " + missing));
        }
    }
}

// Conversion asked for with no converter set fails even for a card without raw files.
TEST(Conversion, UnsetConverterFailsEvenWithoutRawFiles)
{
    RunHarness h;
    h.addPicture(QStringLiteral("a.JPG"), 1);
    Defaults::set(QStringLiteral("ConverterPath"), QString());
    IngestFiles ingest;
    h.run(ingest, h.setup({{"WantBackup", "YES"}, {"WantConversion", "YES"}}));
    EXPECT_EQ(h.ui.alertTexts().value(0),
              QStringLiteral("DNG Converter path not set in Preferences.: "));
    EXPECT_TRUE(h.pane.text().contains(
        QStringLiteral("\nERROR: DNG Converter path not set in Preferences.\n")));
    Defaults::remove(QStringLiteral("ConverterPath"));
}

TEST(Conversion, NoTemporaryFolderIsANamedFailureAndNothingLandsInTheWorkingFolder)
{
    RawCard card;
    const QString workingFolder = makeTestFolder(QStringLiteral("conversion-cwd"));
    const QString previous = QDir::currentPath();
    const QByteArray tmp = qgetenv("TMPDIR");
    QDir::setCurrent(workingFolder);
    // A temporary folder cannot be made inside a plain file (permissions would not stop root).
    const QString notAFolder = card.root + "/not-a-folder";
    writeTestFile(notAFolder, "x");
    qputenv("TMPDIR", QFile::encodeName(notAFolder));
    IngestFiles ingest;
    card.run(ingest, card.backupSetup({{"WantConversion", "YES"}, {"WantRawVerify", "YES"}}));
    qputenv("TMPDIR", tmp);
    QDir::setCurrent(previous);

    EXPECT_TRUE(QDir(workingFolder)
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot)
                    .isEmpty());
    EXPECT_TRUE(card.converterCalls().isEmpty());
    ASSERT_EQ(card.ui.alerts.size(), 2);
    EXPECT_EQ(card.ui.alerts[0].title, QStringLiteral("Error running DNG Converter."));
    EXPECT_TRUE(card.ui.alerts[0].message.startsWith(
        QStringLiteral("Can't make a temporary folder for IMG.NEF: ") + notAFolder +
        "/Brindlewick-"))
        << card.ui.alerts[0].message.toStdString();
    // The raw file itself is safe in both trees.
    EXPECT_EQ(readTestFile(card.primary + "/2024/IMG.NEF"), QByteArray("raw bytes"));
}

// The DNGs go to the primary tree and the second backup, the raws stay in the backup; a DNG
// never replaces a file, and a clash takes the next free name.
TEST(Conversion, DngsGoToPrimaryAndSecondBackupNeverReplacingAFile)
{
    RawCard card;
    card.addFile(QStringLiteral("DSC_1.CR2"), "other raw"); // a second raw of the same name
    ASSERT_TRUE(writeTestFile(card.primary + "/2024/IMG.dng", "an earlier DNG"));
    Defaults::set(QStringLiteral("JpegPreview"), QStringLiteral("-p1"));
    IngestFiles ingest;
    card.run(ingest, card.backupSetup({{"WantConversion", "YES"}, {"WantBackup2", "YES"}}));
    Defaults::remove(QStringLiteral("JpegPreview"));
    EXPECT_TRUE(card.ui.alerts.isEmpty()) << card.ui.alertTexts().join('|').toStdString();

    const QString primary = card.primary + "/2024";
    EXPECT_EQ(card.filesIn(card.backup + "/2024"),
              (QStringList{"IMG.CR2", "IMG.JPG", "IMG.NEF", "IMG.xmp"}));
    EXPECT_EQ(card.filesIn(primary), (QStringList{"IMG.JPG", "IMG.dng", "IMG_1.dng", "IMG_2.dng"}));
    EXPECT_EQ(readTestFile(primary + "/IMG.dng"), QByteArray("an earlier DNG"));
    EXPECT_EQ(readTestFile(primary + "/IMG_1.dng"), QByteArray("DNG of raw bytes"));
    EXPECT_EQ(readTestFile(primary + "/IMG_2.dng"), QByteArray("DNG of other raw"));
    EXPECT_EQ(card.filesIn(card.backup2 + "/2024"),
              (QStringList{"IMG.JPG", "IMG_1.dng", "IMG_2.dng"}));
    EXPECT_EQ(readTestFile(card.backup2 + "/2024/IMG_2.dng"), QByteArray("DNG of other raw"));
    EXPECT_EQ(ingest.numCopiedToBackup(), 3);
    EXPECT_EQ(ingest.numCopiedToBackup2(), 3);
    // The converter wrote into a private folder of its own, gone after the run.
    QStringList calls = card.converterCalls();
    ASSERT_EQ(calls.size(), 10);
    EXPECT_TRUE(calls[2].startsWith(primary + "/.")) << calls[2].toStdString();
    EXPECT_FALSE(QFileInfo::exists(calls[2]));
    calls[2] = "WORK";
    EXPECT_EQ(calls.mid(0, 5),
              (QStringList{"-p1", "-d", "WORK", card.backup + "/2024/IMG.NEF", "--"}));
}

TEST(Conversion, TwoRawsOfOneNameKeepTheirOwnSidecars)
{
    RunHarness h;
    IngestFiles::setTemplateResource(
        QStringLiteral(BRINDLEWICK_TESTS_DIR "/../resources/XMPtemplate.xmp"));
    Defaults::set(QStringLiteral("WantEmbeddedGPS"), false);
    const QString caption = QStringLiteral("IPTC.Caption/Abstract");
    h.addFile(QStringLiteral("A.CR2"), "cr2 bytes")->metadataUser = QVariantMap{{caption, "cr2"}};
    h.addFile(QStringLiteral("A.NEF"), "nef bytes")->metadataUser = QVariantMap{{caption, "nef"}};
    const QString backup = h.root + "/Backup";
    const QString backup2 = h.root + "/Backup2";
    IngestFiles ingest;
    h.run(ingest, h.setup({{"WantBackup", "YES"},
                           {"BackupRootFolder", backup},
                           {"WantBackup2", "YES"},
                           {"BackupRootFolder2", backup2},
                           {"Metadata", QVariantMap{{caption, QString()}}}}));
    Defaults::remove(QStringLiteral("WantEmbeddedGPS"));
    EXPECT_TRUE(h.ui.alerts.isEmpty()) << h.ui.alertTexts().join('|').toStdString();

    // The first keeps the name every program reads; the second gets the one named after the
    // whole file, and the second stage carries both.
    for (const QString &tree : {backup, h.primary, backup2}) {
        SCOPED_TRACE(tree.toStdString());
        EXPECT_EQ(h.filesIn(tree + "/2024"),
                  (QStringList{"IMG.CR2", "IMG.NEF", "IMG.NEF.xmp", "IMG.xmp"}));
        EXPECT_TRUE(readTestFile(tree + "/2024/IMG.xmp").contains(">cr2<"));
        EXPECT_TRUE(readTestFile(tree + "/2024/IMG.NEF.xmp").contains(">nef<"));
    }
}
