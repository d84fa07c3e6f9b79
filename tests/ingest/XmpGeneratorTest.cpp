#include "ingest/XmpGenerator.h"

#include "ingest/XmpPacket.h"

#include "ingest/ExifToolWriter.h"
#include "ingest/MetadataWriter.h"
#include "items/ThumbItem.h"
#include "log/IngestionLogController.h"
#include "platform/Defaults.h"

#include "ingest/MetadataWriterFixtures.h"
#include "support/TestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

using namespace fixtures;

namespace {

QString realTemplate()
{
    return QString::fromUtf8(
        readTestFile(QStringLiteral(BRINDLEWICK_TESTS_DIR "/../resources/XMPtemplate.xmp")));
}

QString gpsTemplate()
{
    return QStringLiteral("<r xmlns:exif=\"e\"><exif:GPSLatitude>{@GPS.Lat}</exif:GPSLatitude>"
                          "<exif:GPSLongitude>{@GPS.Lon}</exif:GPSLongitude>"
                          "<exif:GPSAltitudeRef>{@GPS.AltRef}</exif:GPSAltitudeRef>"
                          "<exif:GPSAltitude>{@GPS.Alt}</exif:GPSAltitude></r>");
}

ThumbItem describedItem()
{
    ThumbItem item;
    item.path = QStringLiteral("/card/DCIM/IMG_0001.JPG");
    item.metadataGenerated = {
        {"IPTC.Caption/Abstract", "Tom & Jerry <1>"},
        {"IPTC.Keywords", "sky; ;sea,"},
        {"IPTC.City", "Bath"},
        {"IPTC.CopyrightNotice", "(c) Ann O'Neil"},
    };
    return item;
}

struct EmbeddedGps
{
    explicit EmbeddedGps(bool on) { Defaults::set("WantEmbeddedGPS", on); }
    ~EmbeddedGps() { Defaults::remove("WantEmbeddedGPS"); }
};

} // namespace

TEST(XmpGenerator, EntitiesKeywordsAndPlaceholders)
{
    EXPECT_EQ(addEntities("Tom & Jerry <1>"), "Tom &amp; Jerry &lt;1&gt;");
    EXPECT_EQ(addEntities("&lt; 'a' \"b\""), "&amp;lt; &apos;a&apos; &quot;b&quot;");
    // Padding NULs and control characters cannot be carried by XML; a carriage return can.
    EXPECT_EQ(addEntities(QString::fromLatin1("D7000\0\0 a\x01"
                                              "b\r\nc\td",
                                              17)),
              "D7000 ab&#xD;\nc\td");
    EXPECT_EQ(buildSubDict().size(), 38);
    EXPECT_EQ(buildSubDict().value("{@IPTC.ImageCity}"), "IPTC.City");

    ThumbItem item = describedItem();
    const QString templ =
        "<r xmlns:rdf=\"r\"><c>{@IPTC.Caption}</c><k><rdf:li>{@IPTC.Keywords}</rdf:li></k>"
        "<u>{@Unknown}</u><d>{@IPTC.Headline}</d></r>";
    const auto filled = buildXMP(item, templ, true);
    ASSERT_TRUE(filled);
    EXPECT_EQ(*filled, "<r xmlns:rdf=\"r\"><c>Tom &amp; Jerry &lt;1&gt;</c>"
                       "<k><rdf:li>sky</rdf:li><rdf:li>sea</rdf:li></k>"
                       "<u></u><d></d></r>");

    item.metadataGenerated["IPTC.Keywords"] = "a, b;;c";
    // An unmatched "{@" is copied as it is.
    const auto kept =
        buildXMP(item, "<k xmlns:rdf=\"r\"><rdf:li>{@IPTC.Keywords}{@ x</rdf:li></k>", true);
    ASSERT_TRUE(kept);
    EXPECT_EQ(*kept,
              "<k xmlns:rdf=\"r\"><rdf:li>a</rdf:li><rdf:li>b</rdf:li><rdf:li>c{@ x</rdf:li></k>");
}

TEST(XmpGenerator, PositionEntersTheTextOnlyWithoutEmbeddedGps)
{
    ThumbItem item;
    item.gpsLat = -33.5;
    item.metadataGenerated = {{"GPS.Lon", "151.2E"}, {"GPS.Alt", "12"}};
    const auto off = buildXMP(item, gpsTemplate(), false);
    ASSERT_TRUE(off);
    EXPECT_EQ(*off, "<r xmlns:exif=\"e\"><exif:GPSLatitude>33.500000S</exif:GPSLatitude>"
                    "<exif:GPSLongitude>151.2E</exif:GPSLongitude>"
                    "<exif:GPSAltitude>12</exif:GPSAltitude></r>");
    item.metadataGenerated.clear();
    EXPECT_EQ(*buildXMP(item, gpsTemplate(), false),
              "<r xmlns:exif=\"e\"><exif:GPSLatitude>33.500000S</exif:GPSLatitude></r>");
    EXPECT_EQ(*buildXMP(item, gpsTemplate(), true), "<r xmlns:exif=\"e\"></r>");

    item.gpsLat = 51.5;
    item.gpsLon = -0.12;
    item.gpsEle = -3;
    EXPECT_EQ(*buildXMP(item, gpsTemplate(), false),
              "<r xmlns:exif=\"e\"><exif:GPSLatitude>51.500000N</exif:GPSLatitude>"
              "<exif:GPSLongitude>0.120000W</exif:GPSLongitude>"
              "<exif:GPSAltitudeRef>1</exif:GPSAltitudeRef>"
              "<exif:GPSAltitude>3.000000</exif:GPSAltitude></r>");
    {
        EmbeddedGps on(true);
        EXPECT_EQ(*buildXMP(item, gpsTemplate()), "<r xmlns:exif=\"e\"></r>");
    }
    // The shipped template carries every placeholder and stays well-formed when empty.
    const QString templ = realTemplate();
    for (auto it = buildSubDict().cbegin(); it != buildSubDict().cend(); ++it)
        EXPECT_TRUE(templ.contains(it.key())) << it.key().toStdString();
    EXPECT_TRUE(templ.contains("<rdf:li>{@IPTC.Keywords}</rdf:li>"));
    ThumbItem empty;
    const auto blank = buildXMP(empty, templ, true);
    ASSERT_TRUE(blank);
    EXPECT_FALSE(blank->contains("GPSLatitude"));
    EXPECT_FALSE(blank->contains("{@"));
}

TEST(XmpGenerator, MalformedTextIsReportedAndNothingIsWritten)
{
    Capture capture;
    ThumbItem item = describedItem();
    const QString copy = makeTestFolder("xmp-malformed") + "/IMG.CR2";
    writeTestFile(copy, "raw");
    MetadataWriteContext context;
    context.xmpTemplate = "<a>{@IPTC.ImageCity}</b>";
    EXPECT_FALSE(writeMetadataFor(item, copy, context));
    EXPECT_FALSE(QFile::exists(makeTestFolder("xmp-malformed") + "/IMG.xmp"));
    EXPECT_TRUE(capture.console().startsWith("Error parsing XMP: "));
    EXPECT_TRUE(capture.console().endsWith("\nSidecar not written."));
    const QStringList months = IngestionLogController::readLogFiles();
    ASSERT_FALSE(months.isEmpty());
    EXPECT_TRUE(IngestionLogController::readMonth(months.last())->contains("<a>Bath</b>"));
    EXPECT_TRUE(capture.ui.alerts.isEmpty());
    EXPECT_FALSE(checkXML(QString(QChar(0xD800))));
}

TEST(XmpGenerator, SidecarThatCannotBeWrittenAlertsAndTheRunGoesOn)
{
    Capture capture;
    EmbeddedGps off(false);
    ThumbItem item = describedItem();
    MetadataWriteContext context;
    context.xmpTemplate = realTemplate();

    EXPECT_FALSE(writeMetadataFor(item, "/nonexistent/folder/IMG.CR2", context));
    ASSERT_EQ(capture.ui.alerts.size(), 1);
    EXPECT_EQ(capture.ui.alerts[0].title, "Error writing XMP sidecar.");
    EXPECT_TRUE(
        capture.console().startsWith("\nERROR writing XMP sidecar for image IMG_0001.JPG: "));
    EXPECT_FALSE(context.hadError);
}

TEST(XmpGenerator, EmbeddedGpsRunsExifToolAfterTheMerge)
{
    Capture capture;
    EmbeddedGps on(true);
    ThumbItem item = describedItem();
    item.gpsLat = 51.5;
    item.gpsLon = -0.12;
    item.gpsEle = -3;
    MetadataWriteContext context;
    context.xmpTemplate = realTemplate();
    const QString jpeg = makeTestFolder("xmp-gps") + "/G 1.jpg";
    ASSERT_TRUE(writeQtJpeg(jpeg));
    ASSERT_TRUE(writeMetadataFor(item, jpeg, context)) << capture.console().toStdString();
    EXPECT_EQ(context.numTaggedByExifTool, 1);
    const QJsonObject read = exiftoolRead(jpeg, {"-GPS:GPSLatitude", "-XMP-photoshop:City"}, true);
    EXPECT_DOUBLE_EQ(read.value("GPSLatitude").toDouble(), 51.5);
    EXPECT_EQ(read.value("City").toString(), "Bath");
}

namespace {

// What a phone writes when it keeps its capture data only in XMP: attribute and element
// properties, a namespace of its own, a caption the user is about to replace.
const QByteArray kCameraPacket =
    "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\" x:xmptk=\"Phone 1.0\">\n"
    " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
    "  <rdf:Description rdf:about=\"\"\n"
    "    xmlns:exif=\"http://ns.adobe.com/exif/1.0/\"\n"
    "    xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\"\n"
    "    xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"\n"
    "    xmlns:GCamera=\"http://ns.google.com/photos/1.0/camera/\"\n"
    "    exif:DateTimeOriginal=\"2023-07-14T09:30:12\"\n"
    "    xmp:Rating=\"4\"\n"
    "    GCamera:MicroVideo=\"1\">\n"
    "   <tiff:Model>Pixel 7</tiff:Model>\n"
    "   <exif:GPSLatitude>59,54.6N</exif:GPSLatitude>\n"
    "   <dc:description xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><rdf:Alt>"
    "<rdf:li xml:lang=\"x-default\">camera caption</rdf:li></rdf:Alt></dc:description>\n"
    "  </rdf:Description>\n"
    " </rdf:RDF>\n"
    "</x:xmpmeta>\n"
    "<?xpacket end=\"w\"?>";

const QStringList kReadBack{"-XMP-exif:DateTimeOriginal",
                            "-XMP-tiff:Model",
                            "-XMP-exif:GPSLatitude",
                            "-XMP-GCamera:MicroVideo",
                            "-XMP-dc:Description",
                            "-XMP-photoshop:City",
                            "-Warning"};

void expectCameraDataAndOurs(const QJsonObject &read)
{
    EXPECT_EQ(read.value("DateTimeOriginal").toString(), "2023:07:14 09:30:12");
    EXPECT_EQ(read.value("Model").toString(), "Pixel 7");
    EXPECT_NEAR(read.value("GPSLatitude").toDouble(), 59.91, 1e-9);
    EXPECT_EQ(read.value("MicroVideo").toInt(), 1);
    EXPECT_EQ(read.value("Description").toString(), "Tom & Jerry <1>");
    EXPECT_EQ(read.value("City").toString(), "Bath");
    EXPECT_FALSE(read.contains("Warning")) << read.value("Warning").toString().toStdString();
}

} // namespace

// Written fresh, then merged into the packet or sidecar a camera left: never replaced.
TEST(XmpGenerator, SidecarsAndPacketsAreWrittenOrMergedAndReadBackByExifTool)
{
    Capture capture;
    EmbeddedGps off(false);
    MetadataWriteContext context;
    context.xmpTemplate = realTemplate();
    ThumbItem item = describedItem();
    const QString written = makeTestFolder("xmp-write");

    // Nothing generated and no position: no file at all.
    ThumbItem bare;
    writeTestFile(written + "/bare.tif", "t");
    EXPECT_TRUE(writeMetadataFor(bare, written + "/bare.tif", context));
    EXPECT_EQ(QDir(written).entryList(QDir::Files), QStringList{"bare.tif"});

    const QString raw = written + "/IMG_1.CR2";
    const QString jpeg = written + "/IMG_1.JPG";
    const QString jpegLong = written + "/IMG_2.jpeg";
    writeTestFile(raw, "raw");
    ASSERT_TRUE(writeQtJpeg(jpeg));
    ASSERT_TRUE(writeQtJpeg(jpegLong));
    for (const QString &path : {raw, jpeg, jpegLong})
        ::chmod(QFile::encodeName(path).constData(), 0600);
    setModificationTime(jpeg, 1400000000);
    for (const QString &path : {raw, jpeg, jpegLong})
        EXPECT_TRUE(writeMetadataFor(item, path, context)) << capture.console().toStdString();

    EXPECT_EQ(QDir(written).entryList(QDir::Files),
              (QStringList{"bare.tif", "IMG_1.CR2", "IMG_1.JPG", "IMG_1.xmp", "IMG_2.jpeg",
                           "IMG_2.xmp"}));
    for (const QString &path : {raw, jpeg, jpegLong, written + "/IMG_1.xmp"})
        EXPECT_EQ(permissions(path), 0644) << path.toStdString();
    EXPECT_EQ(modificationTime(jpeg).tv_sec, 1400000000);
    EXPECT_TRUE(decodesFully(jpeg));

    const QStringList tags{"-XMP-dc:Description", "-XMP-dc:Subject", "-XMP-photoshop:City",
                           "-XMP-dc:Rights"};
    for (const QString &source : {written + "/IMG_1.xmp", jpeg}) {
        SCOPED_TRACE(source.toStdString());
        const QJsonObject read = exiftoolRead(source, tags);
        EXPECT_EQ(read.value("Description").toString(), "Tom & Jerry <1>");
        EXPECT_EQ(read.value("Subject").toArray(), (QJsonArray{"sky", "sea"}));
        EXPECT_EQ(read.value("City").toString(), "Bath");
        EXPECT_EQ(read.value("Rights").toString(), "(c) Ann O'Neil");
    }
    EXPECT_TRUE(capture.ui.alerts.isEmpty());

    const QString folder = makeTestFolder("xmp-merge");

    const QString phone = folder + "/PXL_1.jpg";
    ASSERT_TRUE(writeQtJpeg(phone));
    const QByteArray plain = readTestFile(phone);
    ASSERT_TRUE(
        writeTestFile(phone, soi() + segment(0xE1, xmpPayload(kCameraPacket)) + plain.mid(2)));
    ASSERT_TRUE(writeMetadataFor(item, phone, context)) << capture.console().toStdString();
    expectCameraDataAndOurs(exiftoolRead(phone, kReadBack, true));
    EXPECT_TRUE(decodesFully(phone));

    // The same for a sidecar that stands beside a raw file already.
    const QString dng = folder + "/PXL_2.DNG";
    writeTestFile(dng, "raw");
    ASSERT_TRUE(writeTestFile(folder + "/PXL_2.xmp", kCameraPacket));
    ASSERT_TRUE(writeMetadataFor(item, dng, context)) << capture.console().toStdString();
    expectCameraDataAndOurs(exiftoolRead(folder + "/PXL_2.xmp", kReadBack, true));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"PXL_1.jpg", "PXL_2.DNG", "PXL_2.xmp"}));

    // A sidecar that cannot be read is left as it is, and the failure is told.
    const QString other = folder + "/PXL_3.NEF";
    writeTestFile(other, "raw");
    ASSERT_TRUE(writeTestFile(folder + "/PXL_3.xmp", "<x:xmpmeta>cut"));
    EXPECT_FALSE(writeMetadataFor(item, other, context));
    EXPECT_EQ(readTestFile(folder + "/PXL_3.xmp"), "<x:xmpmeta>cut");
    ASSERT_EQ(capture.ui.alerts.size(), 1);
    EXPECT_EQ(capture.ui.alerts[0].title, "Error writing XMP sidecar.");
    EXPECT_TRUE(capture.ui.alerts[0].message.startsWith(folder + "/PXL_3.xmp was left unchanged"));
}

TEST(XmpGenerator, PropertiesWithoutValueAreLeftOut)
{
    ThumbItem item = describedItem();
    const auto xmp = buildXMP(item, realTemplate(), true);
    ASSERT_TRUE(xmp);
    // No empty date, title or rights that could blank what a catalogue holds.
    for (const char *absent :
         {"photoshop:DateCreated", "dc:title", "dc:creator", "photoshop:Headline",
          "Iptc4xmpCore:CreatorContactInfo", "Iptc4xmpCore:Scene", "xmpRights:UsageTerms",
          "<rdf:li></rdf:li>", "></photoshop:"})
        EXPECT_FALSE(xmp->contains(QLatin1String(absent))) << absent;
    for (const char *present : {"<dc:description>", "<dc:subject>", "<dc:rights>",
                                "<photoshop:City>Bath</photoshop:City>", "<rdf:Description"})
        EXPECT_TRUE(xmp->contains(QLatin1String(present))) << present;
    // One field of a structure keeps the structure with that field only.
    item.metadataGenerated = {{"IPTC.CiAdrCity", "Leeds"}};
    const auto contact = buildXMP(item, realTemplate(), true);
    ASSERT_TRUE(contact);
    EXPECT_TRUE(contact->contains("<Iptc4xmpCore:CiAdrCity>Leeds</Iptc4xmpCore:CiAdrCity>"));
    EXPECT_FALSE(contact->contains("CiAdrCtry"));
    EXPECT_EQ(dropEmptyProperties("<a><b></b>"), "<a><b></b>"); // no XML: left to the check
}

TEST(XmpGenerator, MergeReplacesTheSamePropertiesAndKeepsTheRest)
{
    const QByteArray rdf = "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"";
    const QByteArray ours =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF " + rdf +
        "><rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">"
        "<xmp:Rating>2</xmp:Rating></rdf:Description></rdf:RDF></x:xmpmeta>";
    // Two descriptions sharing one about, the property once as an element and once as an
    // attribute: both go, the rest stays, and ours share the existing about.
    const QByteArray existing =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF " + rdf +
        "><rdf:Description rdf:about=\"uuid:1\" xmlns:xap=\"http://ns.adobe.com/xap/1.0/\" "
        "xap:Rating=\"5\" xap:Label=\"Red\"/><rdf:Description rdf:about=\"uuid:1\" "
        "xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\"><xmp:Rating>3</xmp:Rating>"
        "<xmp:Nickname>n</xmp:Nickname></rdf:Description></rdf:RDF></x:xmpmeta>";
    QString error;
    const auto merged = mergeXmpPackets(existing, ours, &error);
    ASSERT_TRUE(merged) << error.toStdString();
    EXPECT_FALSE(merged->contains(">3<"));
    EXPECT_FALSE(merged->contains("\"5\""));
    EXPECT_TRUE(merged->contains("xap:Label=\"Red\""));
    EXPECT_TRUE(merged->contains("<xmp:Nickname>n</xmp:Nickname>"));
    EXPECT_TRUE(merged->contains("<xmp:Rating>2</xmp:Rating>"));
    EXPECT_EQ(merged->count("rdf:about=\"uuid:1\""), 3);

    // Nothing to keep, or nothing to add.
    EXPECT_EQ(mergeXmpPackets("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>", ours), ours);
    const QByteArray bare = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/>";
    EXPECT_EQ(mergeXmpPackets(existing, bare), existing);
    EXPECT_FALSE(mergeXmpPackets("<a>", ours, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(mergeXmpPackets("<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>", ours));
}
