#include "ingest/JpegXmpMerger.h"
#include "ingest/JpegHeadRewrite.h"
#include "ingest/SafeCopy.h"
#include "platform/FileHash.h"

#include "ingest/MetadataWriterFixtures.h"
#include "support/TestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace fixtures;

namespace {

struct MergeCase
{
    QString jpeg;
    QString xmp;
    explicit MergeCase(const QString &folder, const QString &name = QStringLiteral("image.jpg"))
        : jpeg(makeTestFolder(folder) + QLatin1Char('/') + name),
          xmp(jpeg.left(jpeg.size() - 4) + QStringLiteral(".xmpjpg"))
    {}
};

const QByteArray kApp0 = segment(0xE0, QByteArray("JFIF\0\x01\x01\0\0\x01\0\x01\0\0", 14));
const QByteArray kExif = segment(0xE1, QByteArray("Exif\0\0MM\0\x2a\0\0\0\x08", 14));
const QByteArray kDqt = segment(0xDB, QByteArray(65, '\x03'));
const QByteArray kDht = segment(0xC4, QByteArray(29, '\x04'));

} // namespace

TEST(JpegXmpMerger, PacketGoesBeforeTheFirstTable)
{
    Capture capture;
    MergeCase c(QStringLiteral("merge-order"));
    const QByteArray packet = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">new</x:xmpmeta>";
    const QByteArray rest = kDqt + frameAndScan();
    ASSERT_TRUE(writeTestFile(c.jpeg, soi() + kApp0 + kExif + segment(0xE1, {}) + rest));
    ASSERT_TRUE(writeTestFile(c.xmp, packet));
    setModificationTime(c.jpeg, 1500000000, 123456789);

    ASSERT_TRUE(mergeXmpIntoJpeg(c.jpeg));
    EXPECT_EQ(readTestFile(c.jpeg),
              soi() + kApp0 + kExif + segment(0xE1, xmpPayload(packet)) + rest);
    EXPECT_FALSE(QFile::exists(c.xmp));
    EXPECT_FALSE(QFile::exists(c.jpeg + QStringLiteral("-zqtmp")));
    const timespec kept = modificationTime(c.jpeg);
    EXPECT_EQ(kept.tv_sec, 1500000000);
    EXPECT_EQ(kept.tv_nsec, 123456789);
    EXPECT_TRUE(capture.console().isEmpty());

    // The packet lands before DHT too, after extra fill bytes; an APP1 holding only a prefix of
    // the identifier (or the extension identifier) is someone else's and stays.
    MergeCase d(QStringLiteral("merge-dht"));
    const QByteArray prefix = segment(0xE1, "http://ns.adobe.com/xa");
    const QByteArray extension =
        segment(0xE1, QByteArray("http://ns.adobe.com/xmp/extension/\0x", 36));
    ASSERT_TRUE(writeTestFile(d.jpeg, soi() + prefix + QByteArray("\xFF\xFF", 2) + extension +
                                          kDht + frameAndScan()));
    ASSERT_TRUE(writeTestFile(d.xmp, "<a/>"));
    ASSERT_TRUE(mergeXmpIntoJpeg(d.jpeg));
    EXPECT_EQ(readTestFile(d.jpeg), soi() + prefix + extension + segment(0xE1, xmpPayload("<a/>")) +
                                        kDht + frameAndScan());
}

TEST(JpegXmpMerger, EmptyOrMissingXmpFiles)
{
    Capture capture;
    // An empty XMP file adds nothing and leaves the packet already there as it was.
    MergeCase c(QStringLiteral("merge-empty"));
    const QByteArray withPacket = soi() + segment(0xE1, xmpPayload("old")) + kDqt + frameAndScan();
    ASSERT_TRUE(writeTestFile(c.jpeg, withPacket));
    ASSERT_TRUE(writeTestFile(c.xmp, {}));
    ASSERT_TRUE(mergeXmpIntoJpeg(c.jpeg));
    EXPECT_EQ(readTestFile(c.jpeg), withPacket);
    EXPECT_FALSE(QFile::exists(c.xmp));

    // No XMP file at all: nothing happens. A plain ".xmp" is taken when ".xmpjpg" is absent,
    // and the text stops at its first zero byte.
    const QByteArray original = soi() + kDqt + frameAndScan();
    ASSERT_TRUE(writeTestFile(c.jpeg, original));
    EXPECT_TRUE(mergeXmpIntoJpeg(c.jpeg));
    EXPECT_EQ(readTestFile(c.jpeg), original);
    const QString sidecar = c.jpeg.left(c.jpeg.size() - 4) + QStringLiteral(".xmp");
    ASSERT_TRUE(writeTestFile(sidecar, QByteArray("<b/>\0junk", 9)));
    ASSERT_TRUE(mergeXmpIntoJpeg(c.jpeg));
    EXPECT_EQ(readTestFile(c.jpeg),
              soi() + segment(0xE1, xmpPayload("<b/>")) + kDqt + frameAndScan());
    EXPECT_FALSE(QFile::exists(sidecar));
    EXPECT_TRUE(mergeXmpIntoJpeg(QStringLiteral("a.jp")));
}

TEST(JpegXmpMerger, DamagedFilesAreLeftAloneWithTheirMessage)
{
    struct Row
    {
        const char *name;
        QByteArray content;
        bool result;
        const char *message;
    };
    const Row rows[] = {
        {"garbage", soi() + kApp0 + "junk" + kDqt + frameAndScan(), false,
         "\n\ngarbage data found in JPEG file\n"},
        {"sos-first", soi() + kApp0 + segment(0xDA, "x") + kDqt, false,
         "\n\nSOS without prior SOFn"},
        {"bad-length", soi() + QByteArray("\xFF\xE0\x00\x01", 4) + kDqt, false,
         "\n\nErroneous JPEG marker length"},
        {"bad-app1-length", soi() + QByteArray("\xFF\xE1\x00\x00", 4) + kDqt, false,
         "\n\nErroneous JPEG marker length"},
        {"truncated", soi() + kApp0.left(10), false, "\n\nPremature EOF in JPEG file"},
        {"one-byte", QByteArray("\xFF", 1), false, "\n\nPremature EOF in JPEG file"},
        {"not-a-jpeg", QByteArray("GIF89a and more"), true, ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        Capture capture;
        MergeCase c(QStringLiteral("merge-bad-") + row.name);
        ASSERT_TRUE(writeTestFile(c.jpeg, row.content));
        ASSERT_TRUE(writeTestFile(c.xmp, "<a/>"));
        EXPECT_EQ(mergeXmpIntoJpeg(c.jpeg), row.result);
        EXPECT_EQ(capture.console(), QString::fromLatin1(row.message));
        EXPECT_EQ(readTestFile(c.jpeg), row.content);
        EXPECT_TRUE(QFile::exists(c.xmp));
        EXPECT_EQ(QDir(QFileInfo(c.jpeg).path()).entryList(QDir::Files).size(), 2);
    }
}

TEST(JpegXmpMerger, TooLongTextIsKeptAsSidecarAndTheLongestThatFitsIsMerged)
{
    Capture capture;
    MergeCase c(QStringLiteral("merge-long"));
    const QByteArray original = soi() + kApp0 + kDqt + frameAndScan();
    const QByteArray fits(kMaxXmpTextInSegment, 'a');
    ASSERT_TRUE(writeTestFile(c.jpeg, original));
    ASSERT_TRUE(writeTestFile(c.xmp, fits));
    ASSERT_TRUE(mergeXmpIntoJpeg(c.jpeg));
    const QByteArray merged = readTestFile(c.jpeg);
    EXPECT_EQ(merged.mid(2 + kApp0.size(), 4), QByteArray("\xFF\xE1\xFF\xFF", 4));
    EXPECT_EQ(merged, soi() + kApp0 + segment(0xE1, xmpPayload(fits)) + kDqt + frameAndScan());

    const QByteArray tooLong = fits + 'b';
    ASSERT_TRUE(writeTestFile(c.jpeg, original));
    ASSERT_TRUE(writeTestFile(c.xmp, tooLong));
    EXPECT_FALSE(mergeXmpIntoJpeg(c.jpeg));
    EXPECT_EQ(readTestFile(c.jpeg), original);
    const QString sidecar = c.jpeg.left(c.jpeg.size() - 4) + QStringLiteral(".xmp");
    EXPECT_EQ(readTestFile(sidecar), tooLong);
    EXPECT_FALSE(QFile::exists(c.xmp));
    EXPECT_TRUE(capture.console().contains(QStringLiteral("too long")));

    // A sidecar that is already there (a raw file's) is never replaced: the text goes under
    // the name of the whole file instead.
    ASSERT_TRUE(writeTestFile(sidecar, "raw sidecar"));
    ASSERT_TRUE(writeTestFile(c.xmp, tooLong));
    EXPECT_FALSE(mergeXmpIntoJpeg(c.jpeg));
    EXPECT_EQ(readTestFile(sidecar), "raw sidecar");
    EXPECT_EQ(readTestFile(c.jpeg + ".xmp"), tooLong);
    EXPECT_FALSE(QFile::exists(c.xmp));
}

// A real JPEG merged beside a planted link: the link is never followed, the image decodes and
// keeps its permissions.
TEST(JpegXmpMerger, MergedRealJpegKeepsItsPermissionsAndNeverFollowsAPlantedLink)
{
    Capture capture;
    MergeCase c(QStringLiteral("merge-real"));
    const QString victim = makeTestFolder(QStringLiteral("merge-victim")) + "/victim.txt";
    ASSERT_TRUE(writeTestFile(victim, "precious"));
    ASSERT_TRUE(writeQtJpeg(c.jpeg, 333, 211));
    ::chmod(QFile::encodeName(c.jpeg).constData(), 0640);
    ASSERT_TRUE(writeTestFile(c.xmp, "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>"));
    // The names a merge used to write through.
    ASSERT_TRUE(QFile::link(victim, c.jpeg + "-zqtmp"));
    ASSERT_TRUE(mergeXmpIntoJpeg(c.jpeg)) << capture.console().toStdString();
    EXPECT_EQ(readTestFile(victim), "precious");
    EXPECT_FALSE(QFileInfo(c.jpeg).isSymLink());
    EXPECT_TRUE(readTestFile(c.jpeg).contains("http://ns.adobe.com/xap/1.0/"));
    EXPECT_TRUE(decodesFully(c.jpeg));
    EXPECT_EQ(permissions(c.jpeg), 0640);
    // Nothing but the image and the planted link is left.
    EXPECT_EQ(QDir(QFileInfo(c.jpeg).path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              (QStringList{"image.jpg", "image.jpg-zqtmp"}));
}

TEST(JpegXmpMerger, PacketAlreadyThereKeepsWhatTheNewTextDoesNotSet)
{
    Capture capture;
    MergeCase c(QStringLiteral("merge-keep"));
    const QByteArray camera =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
        "xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
        "exif:DateTimeOriginal=\"2023-07-14T09:30:12\"><dc:format>image/jpeg</dc:format>"
        "<dc:title>old</dc:title></rdf:Description></rdf:RDF></x:xmpmeta>";
    const QByteArray ours =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>new</dc:title></rdf:Description>"
        "</rdf:RDF></x:xmpmeta>";
    const QByteArray rest = kDqt + frameAndScan();
    ASSERT_TRUE(writeTestFile(c.jpeg, soi() + kApp0 + segment(0xE1, xmpPayload(camera)) + rest));
    ASSERT_TRUE(writeTestFile(c.xmp, ours));
    ASSERT_TRUE(mergeXmpIntoJpeg(c.jpeg)) << capture.console().toStdString();
    const QByteArray merged = readTestFile(c.jpeg);
    EXPECT_TRUE(merged.startsWith(soi() + kApp0 + "\xFF\xE1"));
    EXPECT_TRUE(merged.endsWith(rest));
    // Which properties stay and which go is the packet merge's rule; here it reaches the file.
    EXPECT_EQ(merged.count("http://ns.adobe.com/xap/1.0/"), 1);
    EXPECT_TRUE(merged.contains("exif:DateTimeOriginal=\"2023-07-14T09:30:12\""));
    EXPECT_TRUE(merged.contains("<dc:title>new</dc:title>"));

    // A packet that does not parse cannot be merged: the JPEG keeps it untouched and the new
    // text is kept as the sidecar.
    const QByteArray broken = soi() + segment(0xE1, xmpPayload("<x:xmpmeta>cut")) + rest;
    ASSERT_TRUE(writeTestFile(c.jpeg, broken));
    ASSERT_TRUE(writeTestFile(c.xmp, ours));
    capture.pane.clear();
    EXPECT_FALSE(mergeXmpIntoJpeg(c.jpeg));
    EXPECT_EQ(readTestFile(c.jpeg), broken);
    const QString sidecar = c.jpeg.left(c.jpeg.size() - 4) + QStringLiteral(".xmp");
    EXPECT_EQ(readTestFile(sidecar), ours);
    EXPECT_FALSE(QFile::exists(c.xmp));
    EXPECT_TRUE(capture.console().contains("could not be merged"))
        << capture.console().toStdString();
    EXPECT_TRUE(capture.console().endsWith("XMP kept in " + sidecar + "\n"));
}

TEST(JpegXmpMerger, OnePassCopyWritesTheMergersBytes)
{
    const QString data = sharedTestData();
    if (data.isEmpty())
        GTEST_SKIP() << "no shared test data";
    const QByteArray camera =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
        "xmp:Rating=\"%1\"><dc:title>old</dc:title></rdf:Description></rdf:RDF></x:xmpmeta>";
    const QByteArray ours =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><dc:title>new</dc:title></rdf:Description>"
        "</rdf:RDF></x:xmpmeta>";
    const QByteArray packet1 = QByteArray(camera).replace("%1", "3");
    const QByteArray packet2 = QByteArray(camera).replace("%1", "5").replace("old", "older");
    const QByteArray nikon = readTestFile(data + "/images/Nikon/D90/DSC_0003.JPG");
    const QByteArray canon = readTestFile(data + "/images/Canon/EOS_40D/Canon_40D.jpg");
    ASSERT_FALSE(nikon.isEmpty());
    ASSERT_FALSE(canon.isEmpty());
    const QByteArray afterSoi = nikon.mid(2);
    // Camera packets ahead of the Exif segment, and heads longer than the first read of a copy.
    const QByteArray bigApp2 = segment(0xE2, QByteArray(65000, '\x07'));
    const struct
    {
        const char *name;
        QByteArray bytes;
    } cases[] = {
        {"plain", nikon},
        {"other-camera", canon},
        {"camera-packet", soi() + segment(0xE1, xmpPayload(packet1)) + afterSoi},
        {"two-packets-long-head", soi() + segment(0xE1, xmpPayload(packet1)) + bigApp2 + bigApp2 +
                                      segment(0xE1, xmpPayload(packet2 + QByteArray(9, '\0'))) +
                                      afterSoi},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QString folder = makeTestFolder(QStringLiteral("one-pass-") + c.name);
        const QString source = folder + "/card.jpg";
        ASSERT_TRUE(writeTestFile(source, c.bytes));
        setModificationTime(source, 1600000000, 5000);

        // Two passes: a plain copy, then the merger over it.
        const QString twoPass = folder + "/two.jpg";
        SafeCopier copier;
        QString error;
        ASSERT_TRUE(copier.copyFile(source, twoPass, &error)) << error.toStdString();
        ASSERT_TRUE(writeTestFile(folder + "/two.xmpjpg", ours));
        ASSERT_TRUE(mergeXmpIntoJpeg(twoPass));

        CopyOptions options;
        options.rewriteHead = [&ours](const QByteArray &head, bool complete) {
            return jpegHeadWithXmp(head, ours, complete);
        };
        const CopyReport report = copier.copy(source, folder + "/one.jpg", options);
        ASSERT_TRUE(report.ok()) << report.error.toStdString();
        EXPECT_TRUE(report.rewritten);
        EXPECT_TRUE(report.verified);
        const QByteArray merged = readTestFile(twoPass);
        EXPECT_EQ(readTestFile(folder + "/one.jpg"), merged);
        EXPECT_EQ(report.hash, FileHash::ofBytes(merged));
        EXPECT_EQ(report.size, merged.size());
        EXPECT_EQ(modificationTime(folder + "/one.jpg").tv_sec, 1600000000);
        EXPECT_EQ(modificationTime(folder + "/one.jpg").tv_nsec, 5000);
        EXPECT_EQ(merged.count(xmpPayload({})), 1); // one packet, every property merged into it
        EXPECT_EQ(merged.contains("xmp:Rating"), QByteArray(c.name).contains("packet"));
        EXPECT_TRUE(decodesFully(folder + "/one.jpg"));
    }

    // What the head cannot be made for is copied as it is, for the merger to report.
    const QString folder = makeTestFolder(QStringLiteral("one-pass-declined"));
    const QByteArray broken = soi() + segment(0xE1, xmpPayload("<x:xmpmeta>cut")) + afterSoi;
    for (const QByteArray &bytes :
         {broken, nikon.left(2) + "junk" + afterSoi, QByteArray("GIF8")}) {
        ASSERT_TRUE(writeTestFile(folder + "/card.jpg", bytes));
        QFile::remove(folder + "/one.jpg");
        CopyOptions options;
        options.rewriteHead = [&ours](const QByteArray &head, bool complete) {
            return jpegHeadWithXmp(head, ours, complete);
        };
        SafeCopier copier;
        const CopyReport report = copier.copy(folder + "/card.jpg", folder + "/one.jpg", options);
        ASSERT_TRUE(report.ok());
        EXPECT_FALSE(report.rewritten);
        EXPECT_EQ(readTestFile(folder + "/one.jpg"), bytes);
    }
}
