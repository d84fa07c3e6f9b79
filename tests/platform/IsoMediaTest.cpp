// Properties of the files current cameras and phones write: HEIF/HEIC/AVIF, Canon CR3, MP4/MOV
// (with their sidecars) and Sigma X3F, built byte by byte; and what damaged ones give.
#include "platform/IsoMedia.h"
#include "platform/ByteSource.h"
#include "platform/ImageProperties.h"
#include "platform/MovieSidecars.h"

#include "PropertyExpectations.h"
#include "support/ImageFixtures.h"
#include "support/MediaFixtures.h"
#include "support/RunFixtures.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <cmath>

using namespace MediaFixtures;

namespace {

QString writeFile(const QString &folder, const QString &name, const QByteArray &bytes)
{
    const QString path = folder + QLatin1Char('/') + name;
    EXPECT_TRUE(writeTestFile(path, bytes));
    return path;
}

const QMap<QString, QString> kPhoneExif = {
    {"Exif.Image.Make", "Apple"},          {"Exif.Image.Model", "iPhone 7"},
    {"Exif.Image.Orientation", "6"},       {"Exif.Photo.DateTimeOriginal", "2018:09:10 12:16:13"},
    {"Exif.Photo.FNumber", "18/10"},       {"Exif.Photo.ExposureTime", "1/4000"},
    {"Exif.Photo.ISOSpeedRatings", "20"},  {"Exif.Photo.FocalLength", "399/100"},
    {"Exif.GPSInfo.GPSLatitudeRef", "S"},  {"Exif.GPSInfo.GPSLatitude", "34/1 47/1 5082/100"},
    {"Exif.GPSInfo.GPSLongitudeRef", "W"}, {"Exif.GPSInfo.GPSLongitude", "134/1 45/1 5268/100"},
};

const QByteArray kXmpPacket =
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
    "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
    "<rdf:Description rdf:about=\"\" xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" "
    "xmlns:tiff=\"http://ns.adobe.com/tiff/1.0/\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
    "exif:DateTimeOriginal=\"2022-07-01T09:30:05.12+02:00\" tiff:Make=\"Google\" "
    "tiff:Model=\"Pixel 6\" exif:FNumber=\"185/100\" exif:GPSLatitude=\"48,51.4N\" "
    "exif:GPSLongitude=\"2,17,40.2W\" xmp:CreateDate=\"2022-07-01T09:30:05\">"
    "<exif:ISOSpeedRatings><rdf:Seq><rdf:li>125</rdf:li></rdf:Seq></exif:ISOSpeedRatings>"
    "</rdf:Description></rdf:RDF></x:xmpmeta>";

} // namespace

TEST(IsoMediaTest, HeifAndAvifPicturesGiveTheirExifXmpAndSize)
{
    const QString folder = makeTestFolder(QStringLiteral("heif"));

    Heif heic;
    heic.exif = exifBlock(kPhoneExif);
    heic.rotationSteps = 3; // a quarter turn clockwise to show upright
    const QString path = writeFile(folder, QStringLiteral("IMG_0001.HEIC"), heif(heic));
    QStringList problems;
    const auto props = ImageProperties::exif(path, &problems);
    ASSERT_TRUE(props);
    EXPECT_TRUE(problems.isEmpty()) << problems.join(';').toStdString();
    expectProps(*props, {{"{TIFF}", "Make", "Apple"},
                         {"{TIFF}", "Model", "iPhone 7"},
                         {"{Exif}", "DateTimeOriginal", "2018:09:10 12:16:13"},
                         {"{Exif}", "FNumber", 1.8},
                         {"{Exif}", "ExposureTime", 0.00025},
                         {"{Exif}", "ISOSpeedRatings", QVariantList{20}},
                         {nullptr, "PixelWidth", 4032},
                         {nullptr, "PixelHeight", 3024},
                         {nullptr, "Orientation", 6}});
    EXPECT_NEAR(signedLatitude(*props), -34.79745, 1e-5);
    EXPECT_NEAR(signedLongitude(*props), -134.76463, 1e-5);
    // The same bytes from memory, as a camera download gives them.
    EXPECT_EQ(ImageProperties::fromData(heif(heic)), props);
    const IsoMedia::Contents contents = IsoMedia::read(MemoryByteSource(heif(heic)));
    EXPECT_EQ(contents.kind, IsoMedia::Kind::Heif);
    EXPECT_EQ(contents.rotation, 90);

    // AVIF with its metadata in the item data box and no "Exif" prefix.
    Heif avif;
    avif.brand = "avif";
    avif.exif = exifBlock({{"Exif.Image.Make", "Google"}, {"Exif.Photo.ISOSpeedRatings", "50"}});
    avif.metadataInIdat = true;
    avif.exifPrefix = false;
    expectProps(ImageProperties::fromData(heif(avif)).value_or(QVariantMap()),
                {{"{TIFF}", "Make", "Google"}, {"{Exif}", "ISOSpeedRatings", QVariantList{50}}});
    EXPECT_EQ(IsoMedia::read(MemoryByteSource(heif(avif))).kind, IsoMedia::Kind::Avif);

    // Only an XMP packet: capture date, camera, exposure and position come from it.
    Heif xmpOnly;
    xmpOnly.xmp = kXmpPacket;
    const auto xmpProps = ImageProperties::fromData(heif(xmpOnly));
    ASSERT_TRUE(xmpProps);
    expectProps(*xmpProps, {{"{Exif}", "DateTimeOriginal", "2022:07:01 09:30:05"},
                            {"{TIFF}", "Make", "Google"},
                            {"{TIFF}", "Model", "Pixel 6"},
                            {"{Exif}", "FNumber", 1.85},
                            {"{Exif}", "ISOSpeedRatings", QVariantList{125}}});
    EXPECT_NEAR(signedLatitude(*xmpProps), 48.85667, 1e-5);
    EXPECT_NEAR(signedLongitude(*xmpProps), -2.29450, 1e-5);
}

TEST(IsoMediaTest, CanonRawJoinsItsFourBlocksAndKeepsItsPreviews)
{
    CanonRaw raw;
    raw.ifd0 = tiff({ascii(0x010f, "Canon"), ascii(0x0110, "Canon EOS R6"),
                     ascii(0x0132, "2021:05:12 12:21:21"), shorts(0x0112, {1})});
    raw.exif = tiff({rational(0x829a, 1, 4), rational(0x829d, 28, 10),
                     ascii(0x9003, "2021:05:12 12:21:21"), rational(0x920a, 200, 1)});
    // Camera settings with the ISO written as the value itself (bit 14), a lens name.
    QList<quint16> settings(40, 0);
    settings[0] = 80;
    settings[16] = 0x4000 | 400;
    raw.makerNote = tiff({shorts(0x0001, settings), ascii(0x0095, "RF70-200mm F2.8 L IS USM"),
                          longs(0x000c, {4357})});
    raw.gps = tiff({ascii(0x0001, "S"), rationals(0x0002, {{33, 1}, {52, 1}, {1800, 100}}),
                    ascii(0x0003, "E"), rationals(0x0004, {{151, 1}, {12, 1}, {0, 1}})});
    raw.thumbnail = jpeg(160, 120);
    raw.preview = jpeg(320, 213);
    raw.created = 1620814881; // 2021-05-12 10:21:21 UTC, two hours before the camera's clock
    const QByteArray bytes = canonRaw(raw);

    const auto props = ImageProperties::fromData(bytes);
    ASSERT_TRUE(props);
    expectProps(*props, {{"{TIFF}", "Make", "Canon"},
                         {"{TIFF}", "Model", "Canon EOS R6"},
                         // The camera's own date wins over the movie header's UTC time.
                         {"{Exif}", "DateTimeOriginal", "2021:05:12 12:21:21"},
                         {"{QuickTime}", "CreateDate", "2021:05:12 10:21:21"},
                         {"{Exif}", "ExposureTime", 0.25},
                         {"{Exif}", "FNumber", 2.8},
                         {"{Exif}", "FocalLength", 200.0},
                         // No standard ISO tag: the maker note's setting fills it.
                         {"{Exif}", "ISOSpeedRatings", QVariantList{400}},
                         {"{MakerCanon}", "LensModel", "RF70-200mm F2.8 L IS USM"},
                         {"{ExifAux}", "LensModel", "RF70-200mm F2.8 L IS USM"}});
    EXPECT_NEAR(signedLatitude(*props), -33.87167, 1e-5);
    EXPECT_NEAR(signedLongitude(*props), 151.2, 1e-5);

    const IsoMedia::Contents contents = IsoMedia::read(MemoryByteSource(bytes));
    EXPECT_EQ(contents.kind, IsoMedia::Kind::CanonRaw);
    ASSERT_EQ(contents.pictures.size(), 2);
    EXPECT_EQ(bytes.mid(contents.pictures[0].where.offset, contents.pictures[0].where.length),
              raw.thumbnail);
    EXPECT_EQ(bytes.mid(contents.pictures[1].where.offset, contents.pictures[1].where.length),
              raw.preview);

    // Header only (the file cut right after its metadata): the properties are all there.
    const qsizetype moovEnd = bytes.indexOf("uuid", bytes.indexOf("mvhd")) - 4;
    QStringList problems;
    expectProps(ImageProperties::fromData(bytes.left(moovEnd), &problems).value_or(QVariantMap()),
                {{"{TIFF}", "Model", "Canon EOS R6"}});
}

TEST(IsoMediaTest, MoviesTakeTheirCaptureDateFromTheBestSourceTheyHave)
{
    const ScopedTimeZone tokyo("Asia/Tokyo"); // movie dates depend on it
    const qint64 created =
        QDateTime(QDate(2023, 12, 31), QTime(20, 0, 0), QTimeZone::utc()).toSecsSinceEpoch();

    // Only the movie header: UTC by definition, shown in this computer's zone (Tokyo, +9).
    Movie plain;
    plain.created = created;
    plain.rotation = 90;
    plain.width = 1080;
    plain.height = 1920;
    QStringList problems;
    const auto props = ImageProperties::fromData(movie(plain), &problems);
    ASSERT_TRUE(props);
    EXPECT_TRUE(problems.isEmpty()) << problems.join(';').toStdString();
    expectProps(*props, {{"{Exif}", "DateTimeOriginal", "2024:01:01 05:00:00"},
                         {"{QuickTime}", "CreateDate", "2023:12:31 20:00:00"},
                         {"{QuickTime}", "Rotation", 90},
                         {"{QuickTime}", "Duration", 2.4},
                         {nullptr, "PixelWidth", 1080}});
    // Movie header after the media data, as most cameras write it.
    plain.movieBoxFirst = false;
    EXPECT_EQ(ImageProperties::fromData(movie(plain)), props);

    // A phone's own creation date keeps the wall clock of the place; camera and position too.
    Movie phone;
    phone.created = created;
    phone.keys = {{"com.apple.quicktime.creationdate", "2023-12-31T21:00:00+0100"},
                  {"com.apple.quicktime.make", "Apple"},
                  {"com.apple.quicktime.model", "iPhone 12 Pro"},
                  {"com.apple.quicktime.location.ISO6709", "+34.0596-084.6817+281.005/"}};
    const auto phoneProps = ImageProperties::fromData(movie(phone));
    ASSERT_TRUE(phoneProps);
    expectProps(*phoneProps, {{"{Exif}", "DateTimeOriginal", "2023:12:31 21:00:00"},
                              {"{Exif}", "OffsetTimeOriginal", "+01:00"},
                              {"{TIFF}", "Make", "Apple"},
                              {"{TIFF}", "Model", "iPhone 12 Pro"},
                              {"{GPS}", "Altitude", 281.005}});
    EXPECT_NEAR(signedLatitude(*phoneProps), 34.0596, 1e-6);
    EXPECT_NEAR(signedLongitude(*phoneProps), -84.6817, 1e-6);

    // User-data texts (cameras and Android phones).
    Movie camera;
    camera.created = created;
    camera.userData = {{copyrightName("day"), "2023-12-30T08:15:00Z"},
                       {copyrightName("mak"), "GoPro"},
                       {copyrightName("xyz"), "+4851.400-00217.670/"}};
    const auto cameraProps = ImageProperties::fromData(movie(camera));
    ASSERT_TRUE(cameraProps);
    expectProps(*cameraProps, {{"{Exif}", "DateTimeOriginal", "2023:12:30 17:15:00"}, // from UTC
                               {"{TIFF}", "Make", "GoPro"}});
    EXPECT_NEAR(signedLatitude(*cameraProps), 48.85667, 1e-5);
    EXPECT_NEAR(signedLongitude(*cameraProps), -2.29450, 1e-5);

    // No movie box: nothing to read, and the reader says why.
    Movie broken;
    broken.created = created;
    broken.withMovieBox = false;
    problems.clear();
    EXPECT_FALSE(ImageProperties::fromData(movie(broken), &problems));
    EXPECT_TRUE(problems.join(';').contains("moov")) << problems.join(';').toStdString();
}

TEST(IsoMediaTest, MovieSidecarsFillWhatTheMovieLacks)
{
    const ScopedTimeZone utc("UTC");
    const QString folder = makeTestFolder(QStringLiteral("sidecars"));
    Movie bare;
    bare.created = 1700000000; // 2023-11-14 22:13:20 UTC

    // Canon: MVI_0001.MOV with MVI_0001.THM, a small JPEG with the clip's full Exif.
    const QString canon = writeFile(folder, QStringLiteral("MVI_0001.MOV"), movie(bare));
    ASSERT_TRUE(ImageFixtures::writeJpeg(folder + QStringLiteral("/MVI_0001.THM"), {160, 120},
                                         {{"Exif.Image.Make", "Canon"},
                                          {"Exif.Image.Model", "Canon EOS 5D Mark II"},
                                          {"Exif.Photo.DateTimeOriginal", "2023:11:14 23:13:20"},
                                          {"Exif.Photo.ISOSpeedRatings", "800"}}));
    const auto canonProps = ImageProperties::exif(canon);
    ASSERT_TRUE(canonProps);
    expectProps(*canonProps, {{"{TIFF}", "Model", "Canon EOS 5D Mark II"},
                              {"{Exif}", "DateTimeOriginal", "2023:11:14 23:13:20"},
                              {"{Exif}", "ISOSpeedRatings", QVariantList{800}},
                              {nullptr, "PixelWidth", 1920}}); // the movie's own, not the THM's

    // Sony: C0001.MP4 with C0001M01.xml (letter case as a copy left it).
    const QString sony = writeFile(folder, QStringLiteral("C0001.MP4"), movie(bare));
    writeFile(
        folder, QStringLiteral("C0001M01.xml"),
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<NonRealTimeMeta xmlns=\"urn:schemas-professionalDisc:nonRealTimeMeta:ver.2.00\">"
        "<CreationDate value=\"2023-11-15T07:13:20+09:00\"/>"
        "<Device manufacturer=\"Sony\" modelName=\"ILCE-7M3\" serialNo=\"123\"/>"
        "<Lens modelName=\"FE 24-70mm F2.8 GM\"/>"
        "<AcquisitionRecord><Group name=\"ExifGPS\">"
        "<Item name=\"LatitudeRef\" value=\"N\"/><Item name=\"Latitude\" value=\"35:39:32.4\"/>"
        "<Item name=\"LongitudeRef\" value=\"E\"/><Item name=\"Longitude\" value=\"139:44:45\"/>"
        "</Group></AcquisitionRecord></NonRealTimeMeta>\n");
    EXPECT_EQ(MovieMetadata::sidecarPaths(sony),
              QStringList{folder + QStringLiteral("/C0001M01.xml")});
    const auto sonyProps = ImageProperties::exif(sony);
    ASSERT_TRUE(sonyProps);
    expectProps(*sonyProps, {{"{TIFF}", "Model", "ILCE-7M3"},
                             {"{ExifAux}", "LensModel", "FE 24-70mm F2.8 GM"},
                             // The sidecar's local time beats the movie header's UTC time.
                             {"{Exif}", "DateTimeOriginal", "2023:11:15 07:13:20"}});
    EXPECT_NEAR(signedLatitude(*sonyProps), 35.659, 1e-6);
    EXPECT_NEAR(signedLongitude(*sonyProps), 139.74583, 1e-5);

    // Without sidecars the movie header is all there is.
    const QString alone = writeFile(folder, QStringLiteral("PXL_0002.mp4"), movie(bare));
    EXPECT_TRUE(MovieMetadata::sidecarPaths(alone).isEmpty());
    expectProps(ImageProperties::exif(alone).value_or(QVariantMap()),
                {{"{Exif}", "DateTimeOriginal", "2023:11:14 22:13:20"}});
}

TEST(IsoMediaTest, DateAndPositionTexts)
{
    const ScopedTimeZone utc("UTC");
    struct DateCase
    {
        const char *text;
        const char *wallClock; // empty: not a date
        const char *offset;
    };
    for (const DateCase &c : std::initializer_list<DateCase>{
             {"2020-05-11T16:18:35+0200", "2020:05:11 16:18:35", "+02:00"},
             {"2020-05-11T16:18:35-07:00", "2020:05:11 16:18:35", "-07:00"},
             {"2020-05-11 16:18:35", "2020:05:11 16:18:35", ""},
             {"2020:05:11 16:18:35", "2020:05:11 16:18:35", ""},
             {"2020-05-11T16:18:35.250Z", "2020:05:11 16:18:35", ""},
             {"2020", "", ""},
             {"2020-05-11", "", ""},
             {"2020-13-11T16:18:35", "", ""},
             {"", "", ""}}) {
        const auto date = MovieMetadata::parseDate(QString::fromLatin1(c.text));
        if (*c.wallClock == '\0') {
            EXPECT_FALSE(date) << c.text;
            continue;
        }
        ASSERT_TRUE(date) << c.text;
        EXPECT_EQ(date->wallClock, QLatin1String(c.wallClock)) << c.text;
        EXPECT_EQ(date->offset, QLatin1String(c.offset)) << c.text;
    }

    struct PlaceCase
    {
        const char *text;
        bool valid;
        double lat, lon;
    };
    for (const PlaceCase &c :
         std::initializer_list<PlaceCase>{{"+34.7974+134.7646+011.567/", true, 34.7974, 134.7646},
                                          {"-33.8688+151.2093/", true, -33.8688, 151.2093},
                                          {"+4851.400-00217.670/", true, 48.85667, -2.29450},
                                          {"+485124.0-0021740.2/", true, 48.85667, -2.29450},
                                          {"+95.0000+010.0000/", false, 0, 0},
                                          {"34.7974,134.7646", false, 0, 0},
                                          {"", false, 0, 0}}) {
        const auto p = MovieMetadata::parseIso6709(QString::fromLatin1(c.text));
        EXPECT_EQ(bool(p), c.valid) << c.text;
        if (p && c.valid) {
            EXPECT_NEAR(p->latitude, c.lat, 1e-4) << c.text;
            EXPECT_NEAR(p->longitude, c.lon, 1e-4) << c.text;
        }
    }
}

TEST(IsoMediaTest, SigmaRawGivesItsPropertyList)
{
    const QByteArray file = x3f({{"CAMMANUF", "SIGMA"},
                                 {"CAMMODEL", "SIGMA DP2"},
                                 {"ISO", "200"},
                                 {"APERTURE", "5.6"},
                                 {"SHUTTER", "0.008"},
                                 {"FLENGTH", "24.2"},
                                 {"TIME", "1262347200"}},
                                {});
    const auto props = ImageProperties::fromData(file);
    ASSERT_TRUE(props);
    expectProps(*props, {{"{TIFF}", "Make", "SIGMA"},
                         {"{TIFF}", "Model", "SIGMA DP2"},
                         {"{Exif}", "ISOSpeedRatings", QVariantList{200}},
                         {"{Exif}", "FNumber", 5.6},
                         {"{Exif}", "ExposureTime", 0.008},
                         {"{Exif}", "DateTimeOriginal", "2010:01:01 12:00:00"},
                         {nullptr, "PixelWidth", 2640}});

    // Cut before its directory: not readable, and the reader says why.
    QStringList problems;
    EXPECT_FALSE(ImageProperties::fromData(file.left(file.size() - 30), &problems));
    EXPECT_FALSE(problems.isEmpty());
}

// Truncated, corrupted and hostile containers: never a crash, a hang or a read outside the
// file; what can be read is still given, and the problem is named.
TEST(IsoMediaTest, DamagedContainersGiveWhatCanBeRead)
{
    Heif heic;
    heic.exif = exifBlock(kPhoneExif);
    heic.xmp = kXmpPacket;
    CanonRaw raw;
    raw.ifd0 = tiff({ascii(0x010f, "Canon"), ascii(0x0110, "Canon EOS R6")});
    raw.exif = tiff({ascii(0x9003, "2021:05:12 12:21:21")});
    raw.thumbnail = jpeg(16, 12);
    Movie phone;
    phone.created = 1600000000;
    phone.keys = {{"com.apple.quicktime.make", "Apple"}};
    QList<QByteArray> samples = {heif(heic), canonRaw(raw), movie(phone)};
    const QString data = sharedTestData();
    if (!data.isEmpty()) {
        for (const char *name :
             {"Canon-R6-pruned.CR3", "iphone_7.heic", "Canon.HIF", "example.mp4"}) {
            const QByteArray bytes = readTestFile(data + "/modern/" + name);
            if (!bytes.isEmpty())
                samples << bytes.left(64 * 1024);
        }
    }
    QRandomGenerator random(21);
    for (const QByteArray &sample : samples) {
        for (qsizetype length = 0; length < std::min<qsizetype>(sample.size(), 6000);
             length += 1 + length / 16)
            ImageProperties::fromData(sample.left(length));
        for (int round = 0; round < 150; ++round) {
            QByteArray damaged = sample;
            const qsizetype at = random.bounded(qint64(std::min<qsizetype>(damaged.size(), 4096)));
            damaged[at] = char(random.bounded(256));
            ImageProperties::fromData(damaged);
        }
    }

    // Sizes that lie: a 64-bit size far past the end, a size smaller than its header, a box
    // nested in itself to any depth.
    const QByteArray ftypBox = box("ftyp", QByteArray("heic") + QByteArray(4, '\0') + "mif1");
    QByteArray huge = ftypBox + QByteArray::fromHex("00000001") + "meta" +
                      QByteArray::fromHex("7fffffffffffffff") + QByteArray(64, '\0');
    EXPECT_FALSE(ImageProperties::fromData(huge));
    QByteArray tiny = ftypBox + QByteArray::fromHex("00000004") + "meta" + QByteArray(64, '\0');
    EXPECT_FALSE(ImageProperties::fromData(tiny));
    QByteArray nested = QByteArray(64, '\0');
    for (int i = 0; i < 2000; ++i)
        nested = box("moov", nested);
    EXPECT_FALSE(
        ImageProperties::fromData(box("ftyp", QByteArray("isom") + QByteArray(4, 0)) + nested));

    // An AVIF whose Exif block is garbage keeps its size and its XMP, and says what failed.
    Heif avif;
    avif.brand = "avif";
    avif.exif = QByteArray("II*\0", 4) + QByteArray::fromHex("ffffff7f") + QByteArray(40, '\xee');
    avif.xmp = kXmpPacket;
    QStringList problems;
    const auto avifProps = ImageProperties::fromData(heif(avif), &problems);
    ASSERT_TRUE(avifProps);
    expectProps(*avifProps, {{nullptr, "PixelWidth", 4032}, {"{TIFF}", "Model", "Pixel 6"}});
    EXPECT_FALSE(problems.isEmpty());

    // A HEIC cut inside its media data loses the Exif block there, but not its size.
    const QByteArray whole = heif(heic);
    problems.clear();
    const auto cut = ImageProperties::fromData(whole.left(whole.size() - 200), &problems);
    ASSERT_TRUE(cut);
    expectProps(*cut, {{nullptr, "PixelWidth", 4032}});
    EXPECT_FALSE(problems.isEmpty());
}
