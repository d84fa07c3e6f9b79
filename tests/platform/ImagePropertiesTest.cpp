#include "platform/ImageProperties.h"

#include "PropertyExpectations.h"
#include "support/ImageFixtures.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTextStream>

#include <exiv2/exiv2.hpp>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <thread>

#include <sys/stat.h>

namespace {

QString makeImage(const QString &folder, const QString &name, const char *format,
                  QSize size = QSize(64, 48))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    const QString path = folder + QLatin1Char('/') + name;
    EXPECT_TRUE(image.save(path, format));
    return path;
}

// A baseline RGB TIFF (Qt has no TIFF writer here): one strip of grey pixels after the directory.
QString makeTiff(const QString &path, int width, int height)
{
    using namespace MediaFixtures;
    const quint32 bytes = quint32(width * height * 3);
    const auto directory = [&](quint32 stripAt) {
        return tiff({longs(256, {quint32(width)}), longs(257, {quint32(height)}),
                     shorts(258, {8, 8, 8}), shorts(259, {1}), shorts(262, {2}),
                     longs(273, {stripAt}), shorts(277, {3}), longs(278, {quint32(height)}),
                     longs(279, {bytes})});
    };
    const QByteArray head = directory(quint32(directory(0).size()));
    EXPECT_TRUE(writeTestFile(path, head + QByteArray(int(bytes), char(0x80))));
    return path;
}

void writeExif(const QString &path, const std::function<void(Exiv2::ExifData &)> &fill,
               bool withXmp = false)
{
    ImageProperties::initializeExiv2(); // before any XMP work, so the toolkit gets its lock
    auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
    image->readMetadata();
    fill(image->exifData());
    if (withXmp)
        image->xmpData()["Xmp.dc.title"] = "lang=x-default A title";
    image->writeMetadata();
}

void fillCommon(Exiv2::ExifData &d)
{
    d["Exif.Image.Model"] = "Test Body  ";
    d["Exif.Image.DateTime"] = "2024:05:06 07:08:10";
    d["Exif.Image.Orientation"] = uint16_t(1);
    d["Exif.Photo.DateTimeOriginal"] = "2024:05:06 07:08:09";
    d["Exif.Photo.DateTimeDigitized"] = "2024:05:06 07:08:09";
    d["Exif.Photo.SubSecTimeOriginal"] = "42";
    d["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 250);
    d["Exif.Photo.FNumber"] = Exiv2::URational(56, 10);
    d["Exif.Photo.ExposureBiasValue"] = Exiv2::Rational(-2, 3);
    d["Exif.Photo.ISOSpeedRatings"] = uint16_t(200);
    d["Exif.Photo.FocalLengthIn35mmFilm"] = uint16_t(75);
    d["Exif.Photo.UserComment"] = "charset=Ascii Ingested by hand";
    d["Exif.Photo.BodySerialNumber"] = "SN-0042";
    d["Exif.Photo.LensModel"] = "Test Lens 50mm";
    d["Exif.Photo.LensSerialNumber"] = "L-77";
}

} // namespace

TEST(ImagePropertiesTest, JpegTagsComeOutWithTheirKindsAndValues)
{
    const QString folder = makeTestFolder(QStringLiteral("props"));
    const QString path = makeImage(folder, QStringLiteral("nikon.jpg"), "JPEG");
    writeExif(path, [](Exiv2::ExifData &d) {
        d["Exif.Image.Make"] = "NIKON CORPORATION";
        fillCommon(d);
        // South and west, below sea level.
        d["Exif.GPSInfo.GPSLatitudeRef"] = "S";
        d["Exif.GPSInfo.GPSLatitude"] = "33/1 52/1 1800/100";
        d["Exif.GPSInfo.GPSLongitudeRef"] = "W";
        d["Exif.GPSInfo.GPSLongitude"] = "70/1 30/1 0/1";
        d["Exif.GPSInfo.GPSAltitudeRef"] = "1";
        d["Exif.GPSInfo.GPSAltitude"] = "415/10";
        d["Exif.GPSInfo.GPSTimeStamp"] = "13/1 4/1 5/1";
        d["Exif.Nikon3.ShutterCount"] = uint32_t(4242);
        d["Exif.Nikon3.Quality"] = "FINE   ";
        d["Exif.Nikon3.ISOSpeed"] = "0 400";
        d["Exif.Nikon3.LensType"] = "6";
        d["Exif.Image.Artist"] = std::string("Jos\xe9"); // Latin-1, as older cameras write
    });

    const auto props = ImageProperties::exif(path);
    ASSERT_TRUE(props);
    EXPECT_TRUE(props->contains(QStringLiteral("DPIWidth")));
    // Renamed tags appear once; tags gathered in {ExifAux} keep their own place as well.
    EXPECT_FALSE(props->value("{Exif}").toMap().contains(QStringLiteral("SubSecTimeOriginal")));
    EXPECT_FALSE(props->contains(QStringLiteral("{MakerCanon}")));
    expectProps(*props, {{nullptr, "PixelWidth", 64},
                         {nullptr, "PixelHeight", 48},
                         {nullptr, "Orientation", 1},
                         {nullptr, "ColorModel", "RGB"},
                         {nullptr, "Depth", 8},
                         {"{TIFF}", "Make", "NIKON CORPORATION"},
                         {"{TIFF}", "Model", "Test Body"},
                         {"{TIFF}", "Artist", QString::fromUtf8("José")},
                         {"{TIFF}", "DateTime", "2024:05:06 07:08:10"},
                         {"{Exif}", "DateTimeOriginal", "2024:05:06 07:08:09"},
                         {"{Exif}", "SubsecTimeOriginal", "42"},
                         {"{Exif}", "ExposureTime", 0.004},
                         {"{Exif}", "FNumber", 5.6},
                         {"{Exif}", "ExposureBiasValue", -0.6667, 1e-3},
                         {"{Exif}", "ISOSpeedRatings", QVariantList{200}},
                         {"{Exif}", "FocalLenIn35mmFilm", 75},
                         {"{Exif}", "UserComment", "Ingested by hand"},
                         {"{Exif}", "BodySerialNumber", "SN-0042"},
                         {"{ExifAux}", "SerialNumber", "SN-0042"},
                         {"{ExifAux}", "LensModel", "Test Lens 50mm"},
                         {"{ExifAux}", "LensSerialNumber", "L-77"},
                         {"{GPS}", "Latitude", 33.871667, 1e-6},
                         {"{GPS}", "LatitudeRef", "S"},
                         {"{GPS}", "Longitude", 70.5},
                         {"{GPS}", "LongitudeRef", "W"},
                         {"{GPS}", "Altitude", 41.5},
                         {"{GPS}", "AltitudeRef", 1},
                         {"{GPS}", "TimeStamp", "13:04:05"},
                         {"{MakerNikon}", "ShutterCount", 4242},
                         {"{MakerNikon}", "Quality", "FINE"},
                         {"{MakerNikon}", "ISOSetting", QVariantList{0, 400}},
                         {"{MakerNikon}", "LensType", 6}});

    // Canon maker notes, north and east, the serial number from the maker note.
    const QString canon = makeImage(folder, QStringLiteral("canon.jpg"), "JPEG");
    writeExif(canon, [](Exiv2::ExifData &d) {
        d["Exif.Image.Make"] = "Canon";
        d["Exif.Image.Model"] = "Canon EOS Test";
        d["Exif.GPSInfo.GPSLatitudeRef"] = "N";
        d["Exif.GPSInfo.GPSLatitude"] = "48/1 30/1 0/1";
        d["Exif.GPSInfo.GPSLongitudeRef"] = "E";
        d["Exif.GPSInfo.GPSLongitude"] = "2/1 15/1 36/1";
        d["Exif.GPSInfo.GPSAltitudeRef"] = "0";
        d["Exif.GPSInfo.GPSAltitude"] = "120/1";
        d["Exif.Canon.SerialNumber"] = uint32_t(1234567);
        d["Exif.Canon.ModelID"] = uint32_t(0x80000250);
        d["Exif.Canon.OwnerName"] = "Pat Photographer";
        d["Exif.Canon.LensModel"] = "EF50mm f/1.8 II";
    });
    const auto canonProps = ImageProperties::exif(canon);
    ASSERT_TRUE(canonProps);
    EXPECT_FALSE(canonProps->contains(QStringLiteral("{MakerNikon}")));
    expectProps(*canonProps, {{"{GPS}", "Latitude", 48.5},
                              {"{GPS}", "LatitudeRef", "N"},
                              {"{GPS}", "Longitude", 2.26, 1e-9},
                              {"{GPS}", "LongitudeRef", "E"},
                              {"{GPS}", "AltitudeRef", 0},
                              {"{ExifAux}", "SerialNumber", "1234567"},
                              {"{ExifAux}", "OwnerName", "Pat Photographer"},
                              {"{ExifAux}", "LensModel", "EF50mm f/1.8 II"},
                              {"{MakerCanon}", "UniqueModelID", 0x80000250LL},
                              {"{MakerCanon}", "LensModel", "EF50mm f/1.8 II"}});
}

TEST(ImagePropertiesTest, MakerNoteAndXmpValuesFillOnlyWhatTheStandardTagsLack)
{
    const QString folder = makeTestFolder(QStringLiteral("fallbacks"));

    // ISO kept only in a Nikon maker note.
    const QString nikon = makeImage(folder, QStringLiteral("nikon.jpg"), "JPEG");
    writeExif(nikon, [](Exiv2::ExifData &d) {
        d["Exif.Image.Make"] = "NIKON CORPORATION";
        d["Exif.Image.Model"] = "NIKON D70s";
        d["Exif.Photo.DateTimeOriginal"] = "2010:03:01 21:50:21";
        d["Exif.Nikon3.ISOSpeed"] = "0 800";
    });
    expectProps(ImageProperties::exif(nikon).value_or(QVariantMap()),
                {{"{Exif}", "ISOSpeedRatings", QVariantList{800}}});

    // Aperture, shutter and focal length kept only in Pentax and Canon maker notes.
    const QString pentax = makeImage(folder, QStringLiteral("pentax.jpg"), "JPEG");
    writeExif(pentax, [](Exiv2::ExifData &d) {
        d["Exif.Image.Make"] = "PENTAX Corporation";
        d["Exif.Pentax.FNumber"] = uint16_t(56);
        d["Exif.Pentax.ExposureTime"] = uint32_t(400);
        d["Exif.Pentax.FocalLength"] = uint32_t(5000);
    });
    expectProps(ImageProperties::exif(pentax).value_or(QVariantMap()),
                {{"{Exif}", "FNumber", 5.6},
                 {"{Exif}", "ExposureTime", 0.004},
                 {"{Exif}", "FocalLength", 50.0}});
    const QString canon = makeImage(folder, QStringLiteral("canon.jpg"), "JPEG");
    writeExif(canon, [](Exiv2::ExifData &d) {
        d["Exif.Image.Make"] = "Canon";
        d["Exif.CanonSi.ApertureValue"] = int16_t(160);     // Av 5: f/5.7
        d["Exif.CanonSi.ShutterSpeedValue"] = int16_t(256); // Tv 8: 1/256 s
    });
    expectProps(ImageProperties::exif(canon).value_or(QVariantMap()),
                {{"{Exif}", "FNumber", 5.7}, {"{Exif}", "ExposureTime", 1.0 / 256, 1e-6}});

    // A Kodak compact's binary maker note (big-endian here): ISO 160, f/4.8, 1/125 s.
    QByteArray note("KDK INFO", 8);
    QByteArray table(112, '\0');
    table.replace(0, 8, "CX7530  ");
    table[16] = char(2005 >> 8), table[17] = char(2005 & 0xff), table[18] = 8, table[19] = 13;
    table[30] = 0x01, table[31] = char(0xe0);                         // 480 / 100
    table[32] = 0, table[33] = 0, table[34] = 0x03, table[35] = 0x20; // 800 / 100000
    table[96] = 0, table[97] = char(160);
    note += table;
    QStringList noteBytes;
    for (char c : note)
        noteBytes << QString::number(quint8(c));
    const QString kodak = makeImage(folder, QStringLiteral("kodak.jpg"), "JPEG");
    ASSERT_TRUE(ImageFixtures::setExif(kodak, {{"Exif.Image.Make", "EASTMAN KODAK COMPANY"},
                                               {"Exif.Photo.MakerNote", noteBytes.join(' ')}}));
    expectProps(ImageProperties::exif(kodak).value_or(QVariantMap()),
                {{"{Exif}", "ISOSpeedRatings", QVariantList{160}},
                 {"{Exif}", "FNumber", 4.8},
                 {"{Exif}", "ExposureTime", 0.008}});

    // Capture data only in XMP (no Exif block at all); and, beside Exif, XMP never wins.
    const auto writeXmp = [](const QString &path,
                             const std::function<void(Exiv2::ExifData &)> &exif) {
        ImageProperties::initializeExiv2();
        auto image = Exiv2::ImageFactory::open(QFile::encodeName(path).toStdString());
        image->readMetadata();
        exif(image->exifData());
        Exiv2::XmpData &x = image->xmpData();
        x["Xmp.exif.DateTimeOriginal"] = "2022-07-01T09:30:05+02:00";
        x["Xmp.tiff.Make"] = "Google";
        x["Xmp.tiff.Model"] = "Pixel 6";
        x["Xmp.exif.GPSLatitude"] = "48,51.4N";
        x["Xmp.exif.GPSLongitude"] = "2,17,40.2W";
        x["Xmp.exif.ExposureTime"] = "1/125";
        image->writeMetadata();
    };
    const QString xmpOnly = makeImage(folder, QStringLiteral("xmp-only.jpg"), "JPEG");
    writeXmp(xmpOnly, [](Exiv2::ExifData &) {});
    expectProps(ImageProperties::exif(xmpOnly).value_or(QVariantMap()),
                {{"{Exif}", "DateTimeOriginal", "2022:07:01 09:30:05"},
                 {"{TIFF}", "Make", "Google"},
                 {"{TIFF}", "Model", "Pixel 6"},
                 {"{Exif}", "ExposureTime", 0.008},
                 {"{GPS}", "Latitude", 48.85667, 1e-5},
                 {"{GPS}", "LongitudeRef", "W"}});

    const QString both = makeImage(folder, QStringLiteral("both.jpg"), "JPEG");
    writeXmp(both, [](Exiv2::ExifData &d) {
        d["Exif.Image.Make"] = "Canon";
        d["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 250);
    });
    expectProps(ImageProperties::exif(both).value_or(QVariantMap()),
                {{"{TIFF}", "Make", "Canon"},
                 {"{Exif}", "ExposureTime", 0.004},
                 {"{Exif}", "DateTimeOriginal", "2022:07:01 09:30:05"}}); // absent from Exif
}

TEST(ImagePropertiesTest, TiffAndPngCarryTheirSizeAndTags)
{
    const QString folder = makeTestFolder(QStringLiteral("props"));
    const QString tiffPath = makeTiff(folder + QStringLiteral("/scan.tif"), 30, 20);
    writeExif(tiffPath, [](Exiv2::ExifData &d) {
        d["Exif.Image.Make"] = "Scanner Co";
        d["Exif.Image.Artist"] = "A. Artist";
        d["Exif.Photo.DateTimeOriginal"] = "2023:01:02 03:04:05";
    });
    const auto tiff = ImageProperties::exif(tiffPath);
    ASSERT_TRUE(tiff);
    expectProps(*tiff, {{nullptr, "PixelWidth", 30},
                        {nullptr, "PixelHeight", 20},
                        {"{TIFF}", "Artist", "A. Artist"},
                        {"{Exif}", "DateTimeOriginal", "2023:01:02 03:04:05"}});
    // Structure tags stay out of the properties.
    EXPECT_FALSE(tiff->value("{TIFF}").toMap().contains(QStringLiteral("StripOffsets")));

    const QString png = makeImage(folder, QStringLiteral("shot.png"), "PNG", QSize(7, 5));
    expectProps(ImageProperties::exif(png).value_or(QVariantMap()),
                {{nullptr, "PixelWidth", 7}, {nullptr, "PixelHeight", 5}});
}

TEST(ImagePropertiesTest, FilesThatAreNotReadableImagesHaveNoProperties)
{
    const QString folder = makeTestFolder(QStringLiteral("props-bad"));
    EXPECT_FALSE(ImageProperties::exif(QString()));
    EXPECT_FALSE(ImageProperties::exif(folder + QStringLiteral("/missing.jpg")));
    EXPECT_FALSE(ImageProperties::exif(folder)); // a folder
    // A named pipe with no writer would block whoever opens it.
    const QString pipe = folder + QStringLiteral("/pipe.jpg");
    ASSERT_EQ(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    EXPECT_FALSE(ImageProperties::exif(pipe));

    const QString empty = folder + QStringLiteral("/empty.jpg");
    ASSERT_TRUE(writeTestFile(empty, QByteArray()));
    EXPECT_FALSE(ImageProperties::exif(empty));

    const QString text = folder + QStringLiteral("/notes.jpg");
    ASSERT_TRUE(writeTestFile(text, QByteArray("These are notes, not a picture.\n")));
    EXPECT_FALSE(ImageProperties::exif(text));

    const QString good = makeImage(folder, QStringLiteral("good.jpg"), "JPEG", QSize(200, 100));
    writeExif(good, [](Exiv2::ExifData &d) { fillCommon(d); });
    const QByteArray bytes = readTestFile(good);
    // Bytes in memory read like the file they came from.
    ASSERT_TRUE(ImageProperties::exif(good));
    EXPECT_EQ(ImageProperties::fromData(bytes), ImageProperties::exif(good));
    EXPECT_FALSE(ImageProperties::fromData(QByteArray()));
    EXPECT_FALSE(ImageProperties::fromData(readTestFile(text)));
    EXPECT_FALSE(ImageProperties::fromData(bytes.left(120)));
    // Cut inside the EXIF segment, and cut right after the start-of-image marker.
    for (const int length : {2, 4, 40, 120}) {
        const QString cut = folder + QStringLiteral("/cut%1.jpg").arg(length);
        ASSERT_TRUE(writeTestFile(cut, bytes.left(length)));
        EXPECT_FALSE(ImageProperties::exif(cut)) << length;
    }
    // Damaged EXIF blocks: bytes flipped all over the header must never crash the reader.
    for (int step = 7; step < 40; step += 6) {
        QByteArray damaged = bytes;
        for (int i = 20; i < qMin<int>(damaged.size(), 600); i += step)
            damaged[i] = static_cast<char>(damaged[i] ^ 0x5a);
        const QString path = folder + QStringLiteral("/damaged%1.jpg").arg(step);
        ASSERT_TRUE(writeTestFile(path, damaged));
        (void)ImageProperties::exif(path);
    }
}

TEST(ImagePropertiesTest, ReadsFromSeveralThreadsAgree)
{
    const QString folder = makeTestFolder(QStringLiteral("props-threads"));
    QStringList paths;
    for (int i = 0; i < 6; ++i) {
        const QString path = makeImage(folder, QStringLiteral("t%1.jpg").arg(i), "JPEG");
        writeExif(
            path,
            [i](Exiv2::ExifData &d) {
                fillCommon(d);
                d["Exif.Image.Make"] = "NIKON CORPORATION";
                d["Exif.Nikon3.ShutterCount"] = uint32_t(100 + i);
            },
            /*withXmp=*/true);
        paths << path;
    }
    std::vector<QVariantMap> expected;
    for (const QString &p : paths)
        expected.push_back(ImageProperties::exif(p).value_or(QVariantMap()));

    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 20; ++round) {
                for (int i = 0; i < paths.size(); ++i) {
                    if (ImageProperties::exif(paths[i]).value_or(QVariantMap()) != expected[i])
                        ++mismatches;
                }
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(mismatches.load(), 0);
    expectProps(expected[3], {{"{MakerNikon}", "ShutterCount", 103}});
}

// Real camera files: make, model, date and GPS signs as recorded beside the samples.
TEST(ImagePropertiesTest, RealCameraFilesMatchTheirRecordedFacts)
{
    const QString data = sharedTestData();
    if (data.isEmpty())
        GTEST_SKIP() << "no shared sample files";
    int checked = 0;
    for (const QString &folder : {QString(), QStringLiteral("/modern")}) {
        QFile sources(data + folder + QStringLiteral("/SOURCES.tsv"));
        if (!sources.open(QIODevice::ReadOnly))
            continue;
        QTextStream in(&sources);
        const QStringList header = in.readLine().split(QLatin1Char('\t'));
        const auto column = [&](const char *name) { return header.indexOf(QLatin1String(name)); };
        const qsizetype pathCol = column("path"), makeCol = column("make");
        const qsizetype modelCol = column("model"), gpsCol = column("gps");
        const qsizetype dateCol = column("DateTimeOriginal");
        while (!in.atEnd()) {
            const QStringList row = in.readLine().split(QLatin1Char('\t'));
            if (row.size() <= dateCol || row[makeCol].isEmpty())
                continue;
            const QString path = data + folder + QLatin1Char('/') + row[pathCol];
            if (!QFile::exists(path))
                continue;
            SCOPED_TRACE(path.toStdString());
            const auto props = ImageProperties::exif(path);
            ASSERT_TRUE(props);
            EXPECT_GT(props->value(QStringLiteral("PixelWidth")).toInt(), 0);
            EXPECT_EQ(propAt(*props, "{TIFF}", "Make").toString(), row[makeCol]);
            EXPECT_EQ(propAt(*props, "{TIFF}", "Model").toString(), row[modelCol]);
            if (!row[dateCol].isEmpty()) {
                EXPECT_EQ(propAt(*props, "{Exif}", "DateTimeOriginal").toString(), row[dateCol]);
            }
            // "yes (lat,lon)" or "lat lon": signed degrees from positive values and references.
            QStringList pair;
            if (row[gpsCol].startsWith(QStringLiteral("yes (")))
                pair = row[gpsCol].mid(5).chopped(1).split(QLatin1Char(','));
            else if (row[gpsCol].contains(QLatin1Char(' ')) && row[gpsCol][0].isDigit())
                pair = row[gpsCol].split(QLatin1Char(' '));
            if (pair.size() == 2) {
                EXPECT_NEAR(signedLatitude(*props), pair[0].toDouble(), 1e-4);
                EXPECT_NEAR(signedLongitude(*props), pair[1].toDouble(), 1e-4);
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 5);

    // Maker-note values recorded for particular files.
    if (const auto nef = ImageProperties::exif(data + QStringLiteral("/raw/NEF/Nikon.nef"))) {
        EXPECT_EQ(propAt(*nef, "{MakerNikon}", "ShutterCount"), 3619);
        EXPECT_FALSE(propAt(*nef, "{ExifAux}", "LensModel").toString().isEmpty());
    }
    // No standard ISO tag: the maker note's (0, ISO) pair gives it.
    if (const auto misnamed =
            ImageProperties::exif(data + QStringLiteral("/broken/misnamed/Issue 247-1.nef"))) {
        EXPECT_EQ(propAt(*misnamed, "{MakerNikon}", "ShutterCount"), 2870);
        EXPECT_EQ(propAt(*misnamed, "{Exif}", "ISOSpeedRatings"), QVariantList{200});
    }
    // Only the maker note's ISO information, in twelfths of a stop.
    if (const auto d90 =
            ImageProperties::exif(data + QStringLiteral("/images/Nikon/D90/DSC_0003.JPG"))) {
        EXPECT_EQ(propAt(*d90, "{Exif}", "ISOSpeedRatings"), QVariantList{159});
    }
    if (const auto cr2 = ImageProperties::exif(data + QStringLiteral("/raw/CR2/CanonRaw.cr2"))) {
        EXPECT_TRUE(propAt(*cr2, "{MakerCanon}", "UniqueModelID").isValid());
        EXPECT_EQ(propAt(*cr2, "{Exif}", "ISOSpeedRatings").toList(), QVariantList{400});
    }
}
