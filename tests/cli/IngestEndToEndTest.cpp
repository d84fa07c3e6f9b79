// Runs the built brindlewick-cli over sample cards made by brindlewick-samplecard, inside the
// temporary home the test main sets up (the child inherits it).
#include "platform/Process.h"
#include "support/ImageFixtures.h"
#include "support/MediaFixtures.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>

namespace {

QString makeCard(const QString &name, const QString &gpx = QString())
{
    const QString card = makeTestFolder(name);
    ProcessRequest req;
    req.program = QStringLiteral(BRINDLEWICK_BIN_DIR "/brindlewick-samplecard");
    req.arguments = {card};
    if (!gpx.isEmpty())
        req.arguments << gpx;
    req.captureStdout = true;
    req.captureStderr = true;
    const ProcessResult result = Process::run(req);
    EXPECT_EQ(result.exitCode, 0) << result.stderrData.constData();
    return card;
}

// Writes a preset that files JPEGs by day into a fresh root of its own; answers the root.
QString writeDatedPreset(const QString &name, const QVariantMap &changes)
{
    const QString root = makeTestFolder(name + QStringLiteral("-out"));
    QVariantMap dict{{"PrimaryRootFolder", root + QStringLiteral("/Primary")},
                     {"FolderArrangement", "{@DateImage:YYYY-MM-DD}"},
                     {"FilenameArrangement", "{@DateImage:YYYYMMDD}-{@Index:4}"},
                     {"Inclusions", "jpg"}};
    dict.insert(changes);
    EXPECT_TRUE(writePreset(name, dict));
    return root;
}

} // namespace

TEST(CliIngest, FullRunWithBackupThenSecondRunSkipsDuplicates)
{
    const QString card = makeCard("card-full");
    const QString backupRoot = makeTestFolder("Dated-backup");
    const QString out = writeDatedPreset(
        "Dated",
        {{"WantBackup", "YES"}, {"BackupRootFolder", backupRoot}, {"WantJPEGVerify", "YES"}});

    const ProcessResult first = runCli({"ingest", card, "--preset", "dated", "--caption", "Walk"});
    ASSERT_EQ(first.exitCode, 0) << first.stderrData.constData();
    const QStringList primary = filesBelow(out + "/Primary");
    EXPECT_EQ(primary.size(), 30) << primary.join(' ').toStdString();
    for (const QString &file : primary) // folders by day, names by day and index, no leftovers
        EXPECT_TRUE(QRegularExpression(R"(^\d{4}-\d\d-\d\d/\d{8}-\d{4}\.(jpg|JPG)$)")
                        .match(file)
                        .hasMatch())
            << file.toStdString();
    EXPECT_EQ(filesBelow(backupRoot).size(), 30);
    EXPECT_TRUE(first.stdoutData.contains("Ingestion starting..."));

    // The log store holds the run's lines.
    const ProcessResult logs = runCli({"log", "list"});
    ASSERT_EQ(logs.exitCode, 0);
    const QString month = QString::fromUtf8(logs.stdoutData).trimmed().split('\n').last();
    EXPECT_FALSE(runCli({"log", "show", month}).stdoutData.isEmpty());

    const ProcessResult second = runCli({"ingest", card, "--preset", "Dated"});
    EXPECT_EQ(second.exitCode, 0) << second.stderrData.constData();
    EXPECT_EQ(filesBelow(out + "/Primary"), primary);

    EXPECT_EQ(runCli({"ingest", card + "/missing"}).exitCode, 1);
}

TEST(CliIngest, NewestDayPreviewAndMissingRequiredData)
{
    const QString card = makeCard("card-required");
    // Days come from the files' modification times: put all but the last ten a day back.
    QStringList names = filesBelow(card);
    names.removeIf([](const QString &name) { return !name.endsWith(".JPG"); });
    for (qsizetype i = 0; i + 10 < names.size(); ++i) {
        QFile file(card + "/" + names[i]);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(QDateTime::currentDateTime().addDays(-2),
                         QFileDevice::FileModificationTime);
    }
    const QString out =
        writeDatedPreset("Needs", {{"Metadata", QVariantMap{{"IPTC.Headline", "{@Required}"}}}});

    const ProcessResult preview = runCli({"preview", card, "--preset", "Needs", "--newest-day"});
    EXPECT_EQ(preview.exitCode, 4);
    EXPECT_TRUE(preview.stdoutData.contains("photos had missing data"));

    const ProcessResult refused = runCli({"ingest", card, "--preset", "Needs"});
    EXPECT_EQ(refused.exitCode, 4);
    EXPECT_TRUE(refused.stderrData.contains(
        "One or more photos have missing data.: Click Preview button for details."));
    EXPECT_TRUE(filesBelow(out).isEmpty());

    // Supplying the field lets the newest day through, and only that day.
    const ProcessResult ok = runCli(
        {"ingest", card, "--preset", "Needs", "--newest-day", "--set", "IPTC.Headline=Walk"});
    EXPECT_EQ(ok.exitCode, 0) << ok.stderrData.constData();
    const QStringList files = filesBelow(out + "/Primary");
    ASSERT_FALSE(files.isEmpty());
    EXPECT_EQ(files.size(), 10);
    const QString day = files.first().section('/', 0, 0);
    for (const QString &file : files)
        EXPECT_TRUE(file.startsWith(day + "/")) << file.toStdString();
}

// Which damage stops a run and which only costs a file its metadata is the ingest run's test;
// here each reaches the command's status and messages.
TEST(CliIngest, DamagedJpegsFailTheRunAndSayHow)
{
    // A cut-off JPEG stops a verifying run; the copies before it stay.
    const QString card = makeTestFolder("card-damaged");
    for (int i = 1; i <= 3; ++i)
        ImageFixtures::writeJpeg(
            card + QStringLiteral("/IMG_%1.JPG").arg(i), QSize(64, 48),
            {{"Exif.Photo.DateTimeOriginal", "2024:05:01 10:0" + QString::number(i) + ":00"}});
    QFile cut(card + "/IMG_2.JPG");
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
    const QByteArray bytes = cut.readAll();
    cut.resize(cut.size() / 3);
    cut.close();
    const QString verified = writeDatedPreset(
        "Verify", {{"WantJPEGVerify", "YES"}, {"FilenameArrangement", "{@FileNameOriginal}"}});
    const ProcessResult stopped = runCli({"ingest", card, "--preset", "Verify"});
    EXPECT_EQ(stopped.exitCode, 1) << stopped.stdoutData.constData();
    EXPECT_TRUE(filesBelow(verified + "/Primary").join(' ').contains("IMG_1"));
    EXPECT_TRUE(stopped.stderrData.contains("Invalid JPEG file.: "))
        << stopped.stderrData.constData();

    // Bytes between two segments: the copy is kept but no XMP can be merged into it.
    writeTestFile(cut.fileName(), bytes.left(2) + "junk" + bytes.mid(2));
    const QString captioned =
        writeDatedPreset("Caption", {{"FilenameArrangement", "{@FileNameOriginal}"},
                                     {"Metadata", QVariantMap{{"IPTC.Caption/Abstract", ""}}}});
    const ProcessResult run = runCli({"ingest", card, "--preset", "Caption", "--caption", "Hello"});
    EXPECT_EQ(run.exitCode, 1) << run.stdoutData.constData();
    EXPECT_TRUE(run.stdoutData.contains("Number with metadata not written: 1\n"))
        << run.stdoutData.constData();
    EXPECT_EQ(filesBelow(captioned + "/Primary").size(), 3);
}

TEST(CliIngest, InterruptStopsAfterTheCurrentFile)
{
    const QString card = makeCard("card-sigint");
    const QString out = writeDatedPreset("Stop", {});
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral(BRINDLEWICK_BIN_DIR "/brindlewick-cli"),
                {"ingest", card, "--preset", "Stop"});
    ASSERT_TRUE(child.waitForStarted());
    // Interrupt as soon as the first copy has appeared.
    bool sent = false;
    while (!sent && child.state() == QProcess::Running) {
        if (!filesBelow(out).isEmpty()) {
            ::kill(pid_t(child.processId()), SIGINT);
            sent = true;
        } else {
            child.waitForFinished(5);
        }
    }
    ASSERT_TRUE(child.waitForFinished(120000));
    if (!sent)
        GTEST_SKIP() << "the run ended before it could be interrupted";
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 3) << child.readAll().constData();
    const QStringList files = filesBelow(out + "/Primary");
    EXPECT_LT(files.size(), 30);
    for (const QString &file : files) // nothing half-written under a final name
        EXPECT_FALSE(file.section('/', -1).startsWith('.')) << file.toStdString();
}

// Raws, phone pictures and movies of the current kinds land in folders by the capture date inside
// them (not their file times); a movie's .THM travels with it under its new name. Reading each
// kind's date, real samples included, is the media readers' own test.
TEST(CliIngest, CurrentFormatsLandByTheirCaptureDates)
{
    using namespace MediaFixtures;
    // Movie header times are UTC: they are shown, and filed, in this computer's zone.
    ScopedTimeZone tokyo("Asia/Tokyo");

    const QString card = makeTestFolder("card-modern") + "/DCIM/100CANON";
    CanonRaw raw;
    raw.ifd0 = tiff({ascii(0x010f, "Canon"), ascii(0x0110, "Canon EOS R6")});
    raw.exif = tiff({ascii(0x9003, "2021:05:12 12:21:21")});
    raw.created = 1620814881;
    ASSERT_TRUE(writeTestFile(card + "/IMG_0001.CR3", canonRaw(raw)));
    ASSERT_TRUE(ImageFixtures::writeJpeg(card + "/IMG_0001.JPG", {64, 48},
                                         {{"Exif.Photo.DateTimeOriginal", "2021:05:12 12:21:21"}}));
    Heif phone;
    phone.exif = exifBlock(
        {{"Exif.Image.Make", "Apple"}, {"Exif.Photo.DateTimeOriginal", "2018:09:10 12:16:13"}});
    ASSERT_TRUE(writeTestFile(card + "/IMG_0002.HEIC", heif(phone)));
    Movie clip;
    clip.created = 1704052800; // 2023-12-31 20:00 UTC: already New Year's Day in Tokyo
    ASSERT_TRUE(writeTestFile(card + "/PXL_0003.mp4", movie(clip)));
    ASSERT_TRUE(writeTestFile(card + "/MVI_0004.MOV", movie(clip)));
    ASSERT_TRUE(ImageFixtures::writeJpeg(card + "/MVI_0004.THM", {160, 120},
                                         {{"Exif.Photo.DateTimeOriginal", "2015:06:01 10:00:00"}}));
    // File times say something else entirely.
    for (const QString &name : filesBelow(card)) {
        QFile file(card + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.setFileTime(QDateTime(QDate(2001, 2, 3), QTime(4, 5, 6)),
                         QFileDevice::FileModificationTime);
    }

    const QString backupRoot = makeTestFolder("Modern-backup");
    const QString out = writeDatedPreset("Modern", {{"Inclusions", "cr3 jpg heic mp4 mov"},
                                                    {"WantBackup", "YES"},
                                                    {"BackupRootFolder", backupRoot}});
    const ProcessResult run = runCli({"ingest", card, "--preset", "Modern"});
    ASSERT_EQ(run.exitCode, 0) << run.stderrData.constData() << run.stdoutData.constData();
    const QStringList primary = filesBelow(out + "/Primary");
    const auto landed = [&](const QString &pattern) {
        return primary.filter(QRegularExpression(pattern)).size();
    };
    // The raw and its JPEG stay together, in their day's folder.
    EXPECT_EQ(landed(R"(^2021-05-12/20210512-\d{4}\.(CR3|JPG)$)"), 2)
        << primary.join(' ').toStdString();
    EXPECT_EQ(landed(R"(^2018-09-10/20180910-\d{4}\.HEIC$)"), 1);
    EXPECT_EQ(landed(R"(^2024-01-01/20240101-\d{4}\.mp4$)"), 1);
    // The movie's date comes from its .THM, which is copied beside it under the same new name.
    const QStringList thm = primary.filter(QRegularExpression(R"(^2015-06-01/.*\.(MOV|THM)$)"));
    ASSERT_EQ(thm.size(), 2) << primary.join(' ').toStdString();
    EXPECT_TRUE(thm[0].endsWith(".MOV") && thm[1].endsWith(".THM"));
    EXPECT_EQ(thm[0].chopped(4), thm[1].chopped(4));
    EXPECT_EQ(primary.filter(QRegularExpression(R"(\.THM$)")).size(), 1);
    EXPECT_EQ(filesBelow(backupRoot).filter(QRegularExpression(R"(\.THM$)")).size(), 1);
}

TEST(CliInspect, MacroAndMacroViewListing)
{
    const QString card = makeCard("card-inspect");
    writeDatedPreset("Listing", {});
    const QString image = card + "/" + filesBelow(card).first();
    const ProcessResult macro =
        runCli({"macro", "--preset", "Listing", "{@DateImage:YYYY-MM-DD}/{@Index:4}", image});
    EXPECT_EQ(macro.exitCode, 0) << macro.stderrData.constData();
    EXPECT_EQ(macro.stdoutData, QByteArray("2026-05-14/0001\n"));

    const ProcessResult macros = runCli({"macros", image});
    EXPECT_EQ(macros.exitCode, 0);
    EXPECT_TRUE(macros.stdoutData.contains("DateImage:YYYY-MM-DD = 2026-05-14\n"));
    EXPECT_TRUE(macros.stdoutData.contains("\n\nImage Metadata:\n"));
    EXPECT_EQ(runCli({"macros", card + "/missing.jpg"}).exitCode, 1);

    // Several files in one process, each with its index in the list; a missing one is named
    // and fails the command while the others are still answered.
    const QStringList images = filesBelow(card).mid(0, 2);
    const QString second = card + "/" + images.value(1);
    const ProcessResult several = runCli(
        {"macro", "--preset", "Listing", "{@Index:4}", image, card + "/missing.jpg", second});
    EXPECT_EQ(several.exitCode, 1);
    EXPECT_EQ(several.stdoutData, (image + "\t0001\n" + second + "\t0003\n").toUtf8());
    EXPECT_TRUE(several.stderrData.contains("missing.jpg: no such file"));
    const ProcessResult json = runCli({"macros", "--json", image, second});
    EXPECT_EQ(json.exitCode, 0) << json.stderrData.constData();
    const QJsonArray objects = QJsonDocument::fromJson(json.stdoutData).array();
    ASSERT_EQ(objects.size(), 2) << json.stdoutData.constData();
    EXPECT_EQ(objects[1].toObject()["SourceFile"].toString(), second);
    EXPECT_EQ(objects[0].toObject()["Macros"].toObject()["DateImage:YYYY-MM-DD"].toString(),
              "2026-05-14");
    EXPECT_FALSE(objects[0].toObject()["Properties"].toObject().isEmpty());
}
