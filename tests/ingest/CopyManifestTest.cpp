// The manifests a run leaves in each destination root, and the check that re-reads them.
#include "IngestFixture.h"
#include "support/RunFixtures.h"

#include "ingest/CopyManifest.h"
#include "ingest/ManifestCheck.h"

#include <gtest/gtest.h>

namespace {

const QString kSchemas = QStringLiteral(BRINDLEWICK_TESTS_DIR "/ingest/ascmhl-schemas");

// The files the latest word of every generation lists, sorted.
QStringList listedIn(const QString &root)
{
    QSet<QString> paths;
    for (const AscMhl::Generation &generation : AscMhl::readHistory(root).generations)
        for (const AscMhl::Entry &entry : generation.entries)
            paths.insert(entry.path);
    QStringList sorted(paths.begin(), paths.end());
    sorted.sort();
    return sorted;
}

// Empty when xmllint accepts `file` against `schema`, else what it said.
QString schemaErrors(const QString &schema, const QString &file)
{
    ProcessRequest request;
    request.program = *Process::findProgram(QStringLiteral("xmllint"));
    request.arguments = {QStringLiteral("--noout"), QStringLiteral("--schema"),
                         kSchemas + QLatin1Char('/') + schema, file};
    request.captureStdout = true;
    request.captureStderr = true;
    const ProcessResult result = Process::run(request);
    return result.succeeded() ? QString() : QString::fromUtf8(result.stderrData);
}

// Three pictures and a raw file, into a backup tree, the primary tree and a second backup,
// with metadata that is merged into the JPEG copies (so they change after their copy) and a
// sidecar next to the raw file.
struct ManifestCard : RunHarness
{
    ManifestCard()
    {
        backup = root + "/Backup";
        backup2 = root + "/Backup2";
        for (int i = 0; i < 3; ++i)
            addPicture(QStringLiteral("p%1.JPG").arg(i), static_cast<unsigned>(i + 1));
        addFile(QStringLiteral("r.NEF"), "raw bytes", pictureProperties(9));
        Defaults::set(QStringLiteral("WantEmbeddedGPS"), false);
    }
    ~ManifestCard() { Defaults::remove(QStringLiteral("WantEmbeddedGPS")); }

    Setup backupSetup() const
    {
        return setup({{"WantBackup", "YES"},
                      {"BackupRootFolder", backup},
                      {"WantBackup2", "YES"},
                      {"BackupRootFolder2", backup2},
                      {"Metadata", QVariantMap{{"IPTC.Caption/Abstract", "A caption"}}}});
    }
    QString backup;
    QString backup2;
};

} // namespace

TEST(CopyManifest, HashesAndIdsFollowTheirDefinitions)
{
    // Published values: XXH3-128 and the C4 id of no bytes at all.
    EXPECT_EQ(FileHash::ofBytes(QByteArray()).toHex(),
              QStringLiteral("99aa06d3014798d86001c324468d497f"));
    EXPECT_EQ(AscMhl::c4Id(QByteArray()),
              QStringLiteral("c459dsjfscH38cYeXXYogktxf4Cd9ibshE3BHUo6a58hBXmRQdZrAkZzsWcbWtDg5oQ"
                             "stpDuni4Hirj75GEmTc1sFT"));
    const Hash128 hash = FileHash::ofBytes("some bytes");
    EXPECT_EQ(Hash128::fromHex(hash.toHex()), hash);
    EXPECT_EQ(Hash128::fromHex(hash.toHex().toUpper()), hash);
    EXPECT_EQ(Hash128::fromHex(QString(32, QLatin1Char('g'))), std::nullopt);
    EXPECT_EQ(Hash128::fromHex(QStringLiteral("12")), std::nullopt);
    EXPECT_EQ(ManifestCheck::hashFileAs(QStringLiteral("/no/such/file"), "xxh128"), QString());

    // What is written reads back; what is not a manifest is refused, not guessed at.
    AscMhl::Entry entry;
    entry.path = QStringLiteral("2024/a & b <c>.JPG");
    entry.size = 10;
    entry.modified = QDateTime(QDate(2024, 5, 1), QTime(10, 0), Qt::UTC);
    entry.hashes.insert(QStringLiteral("xxh128"), hash.toHex());
    const auto parsed =
        AscMhl::parseGeneration(AscMhl::generationXml({entry}, QDateTime::currentDateTimeUtc()));
    ASSERT_TRUE(parsed);
    ASSERT_EQ(parsed->entries.size(), 1);
    EXPECT_EQ(parsed->entries[0].path, entry.path);
    EXPECT_EQ(parsed->entries[0].size, 10);
    EXPECT_EQ(parsed->entries[0].modified, entry.modified);
    EXPECT_EQ(parsed->entries[0].hashes.value("xxh128"), hash.toHex());
    for (const char *bad : {"", "<hashlist", "<other/>", "<hashlist version=\"2.0\"/>",
                            "<ascmhldirectory xmlns=\"urn:ASC:MHL:DIRECTORY:v2.0\"/>"}) {
        QString error;
        EXPECT_FALSE(AscMhl::parseGeneration(bad, &error)) << bad;
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_FALSE(AscMhl::parseChain("<hashlist/>"));
}

TEST(CopyManifest, EveryDestinationRootListsTheFinalBytesAndTheCheckFindsChanges)
{
    ManifestCard card;
    {
        IngestFiles ingest;
        card.run(ingest, card.backupSetup());
        ASSERT_TRUE(card.ui.alerts.isEmpty()) << card.ui.alertTexts().join('|').toStdString();
    }
    const QStringList expected{"2024/IMG.JPG", "2024/IMG.NEF", "2024/IMG.xmp", "2024/IMG_1.JPG",
                               "2024/IMG_2.JPG"};
    for (const QString &root : {card.primary, card.backup, card.backup2}) {
        SCOPED_TRACE(root.toStdString());
        EXPECT_EQ(filesBelow(root), expected);
        EXPECT_EQ(listedIn(root), expected);
        const QStringList generations =
            QDir(root + "/ascmhl").entryList({QStringLiteral("*.mhl")}, QDir::Files);
        ASSERT_EQ(generations.size(), 1);
        EXPECT_TRUE(
            generations[0].startsWith(QStringLiteral("0001_%1_").arg(QFileInfo(root).fileName())));
        // Sizes, times and hashes are those of the files as they are now, metadata merged in.
        for (const AscMhl::Entry &entry : AscMhl::readHistory(root).generations.value(0).entries) {
            const QString path = root + "/" + entry.path;
            EXPECT_EQ(entry.size, QFileInfo(path).size()) << entry.path.toStdString();
            EXPECT_EQ(entry.modified.toSecsSinceEpoch(),
                      QFileInfo(path).lastModified().toSecsSinceEpoch());
            EXPECT_EQ(entry.hashes.value("xxh128"), FileHash::ofFile(path)->toHex());
            EXPECT_EQ(entry.action, QStringLiteral("original"));
        }
        const ManifestCheck::Result check = ManifestCheck::check(root);
        EXPECT_TRUE(check.clean());
        EXPECT_EQ(check.ok, 6); // five files and the generation itself
        if (Process::findProgram(QStringLiteral("xmllint"))) {
            EXPECT_EQ(schemaErrors("ASCMHL.xsd", root + "/ascmhl/" + generations[0]), QString());
            EXPECT_EQ(schemaErrors("ASCMHLDirectory.xsd", root + "/ascmhl/ascmhl_chain.xml"),
                      QString());
        }
    }
    EXPECT_NE(readTestFile(card.primary + "/2024/IMG.JPG"), readTestFile(card.card + "/p0.JPG"))
        << "the caption was merged into the copy after it was verified";

    // A run that places nothing adds no generation; one that places a file adds the next.
    // (The copies now hold the caption: the test's property reader learns them.)
    const QStringList copies{"IMG.JPG", "IMG_1.JPG", "IMG_2.JPG"};
    for (int i = 0; i < copies.size(); ++i)
        card.propertiesByContent.insert(readTestFile(card.backup + "/2024/" + copies[i]),
                                        pictureProperties(i + 1));
    card.propertiesByContent.insert("raw bytes", pictureProperties(9));
    {
        IngestFiles again;
        card.run(again, card.backupSetup());
        EXPECT_EQ(again.numDupes(), 4);
        EXPECT_EQ(AscMhl::readHistory(card.primary).generations.size(), 1);
    }
    card.addPicture(QStringLiteral("p3.JPG"), 4);
    {
        IngestFiles more;
        card.run(more, card.backupSetup());
        const AscMhl::History history = AscMhl::readHistory(card.primary);
        ASSERT_EQ(history.generations.size(), 2);
        EXPECT_EQ(history.chain.size(), 2);
        EXPECT_EQ(history.generations[1].sequence, 2);
        ASSERT_EQ(history.generations[1].entries.size(), 1);
        EXPECT_EQ(history.generations[1].entries[0].path, QStringLiteral("2024/IMG_3.JPG"));
    }

    // Years later: one byte changed, one file gone, one manifest altered.
    QFile changed(card.primary + "/2024/IMG_1.JPG");
    ASSERT_TRUE(changed.open(QIODevice::ReadWrite));
    changed.seek(changed.size() / 2);
    const char byte = changed.peek(1).at(0);
    changed.write(QByteArray(1, static_cast<char>(byte ^ 0x20)));
    changed.close();
    QFile::remove(card.primary + "/2024/IMG.NEF");
    const ManifestCheck::Result primary = ManifestCheck::check(card.primary);
    EXPECT_EQ(primary.changed, 1);
    EXPECT_EQ(primary.missing, 1);
    EXPECT_EQ(primary.ok, 6);
    for (const ManifestCheck::FileResult &file : primary.files) {
        if (file.path == "2024/IMG_1.JPG")
            EXPECT_EQ(file.status, ManifestCheck::Status::Changed);
        else if (file.path == "2024/IMG.NEF")
            EXPECT_EQ(file.status, ManifestCheck::Status::Missing);
        else
            EXPECT_EQ(file.status, ManifestCheck::Status::Ok) << file.path.toStdString();
    }
    const QString generation =
        card.backup + "/ascmhl/" +
        QDir(card.backup + "/ascmhl").entryList({QStringLiteral("0001_*.mhl")}).value(0);
    QByteArray text = readTestFile(generation);
    text.replace("original", "verified");
    writeTestFile(generation, text);
    // The check of a folder above both roots finds both histories.
    const ManifestCheck::Result both = ManifestCheck::check(card.root);
    EXPECT_GE(both.manifests, 3);
    EXPECT_EQ(both.changed, 2);
    EXPECT_EQ(both.missing, 1);
}

TEST(CopyManifest, FilesOfAnUnfinishedRunAreCarriedOnAndListed)
{
    ManifestCard card;
    // What a run killed after its first copies leaves: a placed copy in the first tree that no
    // manifest lists, and a temporary.
    QDir().mkpath(card.backup + "/2024");
    QFile::copy(card.card + "/p0.JPG", card.backup + "/2024/IMG.JPG");
    QFile(card.backup + "/2024/IMG.JPG")
        .setFileTime(QFileInfo(card.card + "/p0.JPG").lastModified(),
                     QFileDevice::FileModificationTime);
    writeTestFile(card.backup + "/2024/" + SafeCopier::temporaryPrefix() + "x1Y2z3", "part");
    card.items = {card.items[0]};
    const ::Setup setup = card.setup({{"WantBackup", "YES"}, {"BackupRootFolder", card.backup}});
    {
        IngestFiles ingest;
        card.run(ingest, setup);
        EXPECT_TRUE(card.ui.alerts.isEmpty()) << card.ui.alertTexts().join('|').toStdString();
        EXPECT_EQ(ingest.numDupes(), 1);
        EXPECT_EQ(ingest.numCopiedToBackup(), 1);
    }
    EXPECT_EQ(filesBelow(card.backup), QStringList{"2024/IMG.JPG"});
    EXPECT_EQ(filesBelow(card.primary), QStringList{"2024/IMG.JPG"});
    EXPECT_EQ(readTestFile(card.primary + "/2024/IMG.JPG"), readTestFile(card.card + "/p0.JPG"));
    EXPECT_EQ(listedIn(card.backup), QStringList{"2024/IMG.JPG"});
    EXPECT_EQ(listedIn(card.primary), QStringList{"2024/IMG.JPG"});

    // A copy the photographer deleted from the primary tree after a finished run is not
    // brought back by ingesting the card again.
    QFile::remove(card.primary + "/2024/IMG.JPG");
    IngestFiles again;
    card.run(again, setup);
    EXPECT_EQ(again.numCopiedToBackup(), 0);
    EXPECT_EQ(filesBelow(card.primary), QStringList());
}
