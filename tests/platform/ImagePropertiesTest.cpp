#include "platform/ImageProperties.h"

#include "support/ImageFixtures.h"
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

// A baseline RGB TIFF written by hand (Qt has no TIFF writer here): one strip, grey pixels.
QString makeTiff(const QString &path, int width, int height)
{
    QByteArray out("II*\0", 4);
    const auto u16 = [&](quint16 v) { out.append(char(v & 0xff)).append(char(v >> 8)); };
    const auto u32 = [&](quint32 v) {
        for (int i = 0; i < 4; ++i)
            out.append(char((v >> (8 * i)) & 0xff));
    };
    const quint32 pixels = quint32(width * height * 3);
    const quint16 entries = 9;
    const quint32 ifd = 8;
    const quint32 bits = ifd + 2 + entries * 12 + 4;
    const quint32 data = bits + 6;
    u32(ifd);
    u16(entries);
    const auto entry = [&](quint16 tag, quint16 type, quint32 count, quint32 value) {
        u16(tag);
        u16(type);
        u32(count);
        u32(value);
    };
    entry(256, 4, 1, quint32(width));
    entry(257, 4, 1, quint32(height));
    entry(258, 3, 3, bits);
    entry(259, 3, 1, 1);
    entry(262, 3, 1, 2);
    entry(273, 4, 1, data);
    entry(277, 3, 1, 3);
    entry(278, 4, 1, quint32(height));
    entry(279, 4, 1, pixels);
    u32(0);
    u16(8);
    u16(8);
    u16(8);
    out.append(QByteArray(int(pixels), char(0x80)));
    EXPECT_TRUE(writeTestFile(path, out));
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

QVariant at(const QVariantMap &props, const QString &group, const QString &key)
{
    return props.value(group).toMap().value(key);
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
    EXPECT_EQ(props->value(QStringLiteral("PixelWidth")).toInt(), 64);
    EXPECT_EQ(props->value(QStringLiteral("PixelHeight")).toInt(), 48);
    EXPECT_EQ(props->value(QStringLiteral("Orientation")).toInt(), 1);
    EXPECT_EQ(props->value(QStringLiteral("ColorModel")).toString(), QStringLiteral("RGB"));
    EXPECT_EQ(props->value(QStringLiteral("Depth")).toInt(), 8);
    EXPECT_TRUE(props->contains(QStringLiteral("DPIWidth")));

    const QString tiff = QStringLiteral("{TIFF}");
    const QString exif = QStringLiteral("{Exif}");
    EXPECT_EQ(at(*props, tiff, QStringLiteral("Make")).toString(),
              QStringLiteral("NIKON CORPORATION"));
    EXPECT_EQ(at(*props, tiff, QStringLiteral("Model")).toString(), QStringLiteral("Test Body"));
    EXPECT_EQ(at(*props, tiff, QStringLiteral("Artist")).toString(), QString::fromUtf8("José"));
    EXPECT_EQ(at(*props, tiff, QStringLiteral("DateTime")).toString(),
              QStringLiteral("2024:05:06 07:08:10"));
    EXPECT_EQ(at(*props, exif, QStringLiteral("DateTimeOriginal")).toString(),
              QStringLiteral("2024:05:06 07:08:09"));
    EXPECT_EQ(at(*props, exif, QStringLiteral("SubsecTimeOriginal")).toString(),
              QStringLiteral("42"));

    const QVariant exposure = at(*props, exif, QStringLiteral("ExposureTime"));
    EXPECT_EQ(exposure.typeId(), QMetaType::Double);
    EXPECT_DOUBLE_EQ(exposure.toDouble(), 0.004);
    EXPECT_DOUBLE_EQ(at(*props, exif, QStringLiteral("FNumber")).toDouble(), 5.6);
    EXPECT_NEAR(at(*props, exif, QStringLiteral("ExposureBiasValue")).toDouble(), -0.6667, 1e-3);
    EXPECT_EQ(at(*props, exif, QStringLiteral("ISOSpeedRatings")).toList(), QVariantList{200});
    const QVariant focal35 = at(*props, exif, QStringLiteral("FocalLenIn35mmFilm"));
    EXPECT_EQ(focal35.typeId(), QMetaType::Int);
    EXPECT_EQ(focal35.toInt(), 75);
    EXPECT_EQ(at(*props, exif, QStringLiteral("UserComment")).toString(),
              QStringLiteral("Ingested by hand"));

    // Renamed tags appear once; tags gathered in {ExifAux} keep their own place as well.
    EXPECT_FALSE(props->value(exif).toMap().contains(QStringLiteral("SubSecTimeOriginal")));
    EXPECT_EQ(at(*props, exif, QStringLiteral("BodySerialNumber")).toString(),
              QStringLiteral("SN-0042"));

    const QString aux = QStringLiteral("{ExifAux}");
    EXPECT_EQ(at(*props, aux, QStringLiteral("SerialNumber")).toString(),
              QStringLiteral("SN-0042"));
    EXPECT_EQ(at(*props, aux, QStringLiteral("LensModel")).toString(),
              QStringLiteral("Test Lens 50mm"));
    EXPECT_EQ(at(*props, aux, QStringLiteral("LensSerialNumber")).toString(),
              QStringLiteral("L-77"));

    const QVariantMap gps = props->value(QStringLiteral("{GPS}")).toMap();
    EXPECT_NEAR(gps.value(QStringLiteral("Latitude")).toDouble(), 33.871667, 1e-6);
    EXPECT_EQ(gps.value(QStringLiteral("LatitudeRef")).toString(), QStringLiteral("S"));
    EXPECT_NEAR(gps.value(QStringLiteral("Longitude")).toDouble(), 70.5, 1e-9);
    EXPECT_EQ(gps.value(QStringLiteral("LongitudeRef")).toString(), QStringLiteral("W"));
    EXPECT_DOUBLE_EQ(gps.value(QStringLiteral("Altitude")).toDouble(), 41.5);
    EXPECT_EQ(gps.value(QStringLiteral("AltitudeRef")).typeId(), QMetaType::Int);
    EXPECT_EQ(gps.value(QStringLiteral("AltitudeRef")).toInt(), 1);
    EXPECT_EQ(gps.value(QStringLiteral("TimeStamp")).toString(), QStringLiteral("13:04:05"));

    const QString nikon = QStringLiteral("{MakerNikon}");
    EXPECT_EQ(at(*props, nikon, QStringLiteral("ShutterCount")).toInt(), 4242);
    EXPECT_EQ(at(*props, nikon, QStringLiteral("Quality")).toString(), QStringLiteral("FINE"));
    EXPECT_EQ(at(*props, nikon, QStringLiteral("ISOSetting")).toList(), (QVariantList{0, 400}));
    EXPECT_EQ(at(*props, nikon, QStringLiteral("LensType")).toInt(), 6);
    EXPECT_FALSE(props->contains(QStringLiteral("{MakerCanon}")));
}

TEST(ImagePropertiesTest, CanonMakerNotesNorthEastAndSerialFromTheMakerNote)
{
    const QString folder = makeTestFolder(QStringLiteral("props"));
    const QString path = makeImage(folder, QStringLiteral("canon.jpg"), "JPEG");
    writeExif(path, [](Exiv2::ExifData &d) {
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

    const auto props = ImageProperties::exif(path);
    ASSERT_TRUE(props);
    const QVariantMap gps = props->value(QStringLiteral("{GPS}")).toMap();
    EXPECT_DOUBLE_EQ(gps.value(QStringLiteral("Latitude")).toDouble(), 48.5);
    EXPECT_EQ(gps.value(QStringLiteral("LatitudeRef")).toString(), QStringLiteral("N"));
    EXPECT_NEAR(gps.value(QStringLiteral("Longitude")).toDouble(), 2.26, 1e-9);
    EXPECT_EQ(gps.value(QStringLiteral("LongitudeRef")).toString(), QStringLiteral("E"));
    EXPECT_EQ(gps.value(QStringLiteral("AltitudeRef")).toInt(), 0);

    const QString aux = QStringLiteral("{ExifAux}");
    EXPECT_EQ(at(*props, aux, QStringLiteral("SerialNumber")).toString(),
              QStringLiteral("1234567"));
    EXPECT_EQ(at(*props, aux, QStringLiteral("OwnerName")).toString(),
              QStringLiteral("Pat Photographer"));
    EXPECT_EQ(at(*props, aux, QStringLiteral("LensModel")).toString(),
              QStringLiteral("EF50mm f/1.8 II"));
    const QString canon = QStringLiteral("{MakerCanon}");
    EXPECT_EQ(at(*props, canon, QStringLiteral("UniqueModelID")).toLongLong(), 0x80000250LL);
    EXPECT_EQ(at(*props, canon, QStringLiteral("LensModel")).toString(),
              QStringLiteral("EF50mm f/1.8 II"));
    EXPECT_FALSE(props->contains(QStringLiteral("{MakerNikon}")));
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
    const auto nikonProps = ImageProperties::exif(nikon);
    ASSERT_TRUE(nikonProps);
    EXPECT_EQ(at(*nikonProps, QStringLiteral("{Exif}"), QStringLiteral("ISOSpeedRatings")),
              QVariantList{800});

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
    const auto kodakProps = ImageProperties::exif(kodak);
    ASSERT_TRUE(kodakProps);
    EXPECT_EQ(at(*kodakProps, QStringLiteral("{Exif}"), QStringLiteral("ISOSpeedRatings")),
              QVariantList{160});
    EXPECT_DOUBLE_EQ(
        at(*kodakProps, QStringLiteral("{Exif}"), QStringLiteral("FNumber")).toDouble(), 4.8);
    EXPECT_DOUBLE_EQ(
        at(*kodakProps, QStringLiteral("{Exif}"), QStringLiteral("ExposureTime")).toDouble(),
        0.008);

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
    const auto xmpProps = ImageProperties::exif(xmpOnly);
    ASSERT_TRUE(xmpProps);
    EXPECT_EQ(at(*xmpProps, QStringLiteral("{Exif}"), QStringLiteral("DateTimeOriginal")),
              QStringLiteral("2022:07:01 09:30:05"));
    EXPECT_EQ(at(*xmpProps, QStringLiteral("{TIFF}"), QStringLiteral("Make")),
              QStringLiteral("Google"));
    EXPECT_EQ(at(*xmpProps, QStringLiteral("{TIFF}"), QStringLiteral("Model")),
              QStringLiteral("Pixel 6"));
    EXPECT_DOUBLE_EQ(
        at(*xmpProps, QStringLiteral("{Exif}"), QStringLiteral("ExposureTime")).toDouble(), 0.008);
    EXPECT_NEAR(at(*xmpProps, QStringLiteral("{GPS}"), QStringLiteral("Latitude")).toDouble(),
                48.85667, 1e-5);
    EXPECT_EQ(at(*xmpProps, QStringLiteral("{GPS}"), QStringLiteral("LongitudeRef")),
              QStringLiteral("W"));

    const QString both = makeImage(folder, QStringLiteral("both.jpg"), "JPEG");
    writeXmp(both, [](Exiv2::ExifData &d) {
        d["Exif.Image.Make"] = "Canon";
        d["Exif.Photo.ExposureTime"] = Exiv2::URational(1, 250);
    });
    const auto bothProps = ImageProperties::exif(both);
    ASSERT_TRUE(bothProps);
    EXPECT_EQ(at(*bothProps, QStringLiteral("{TIFF}"), QStringLiteral("Make")),
              QStringLiteral("Canon"));
    EXPECT_DOUBLE_EQ(
        at(*bothProps, QStringLiteral("{Exif}"), QStringLiteral("ExposureTime")).toDouble(), 0.004);
    EXPECT_EQ(at(*bothProps, QStringLiteral("{Exif}"), QStringLiteral("DateTimeOriginal")),
              QStringLiteral("2022:07:01 09:30:05")); // absent from the Exif block
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
    EXPECT_EQ(tiff->value(QStringLiteral("PixelWidth")).toInt(), 30);
    EXPECT_EQ(tiff->value(QStringLiteral("PixelHeight")).toInt(), 20);
    EXPECT_EQ(at(*tiff, QStringLiteral("{TIFF}"), QStringLiteral("Artist")).toString(),
              QStringLiteral("A. Artist"));
    EXPECT_EQ(at(*tiff, QStringLiteral("{Exif}"), QStringLiteral("DateTimeOriginal")).toString(),
              QStringLiteral("2023:01:02 03:04:05"));
    // Structure tags stay out of the properties.
    EXPECT_FALSE(
        tiff->value(QStringLiteral("{TIFF}")).toMap().contains(QStringLiteral("StripOffsets")));

    const QString png = makeImage(folder, QStringLiteral("shot.png"), "PNG", QSize(7, 5));
    const auto pngProps = ImageProperties::exif(png);
    ASSERT_TRUE(pngProps);
    EXPECT_EQ(pngProps->value(QStringLiteral("PixelWidth")).toInt(), 7);
    EXPECT_EQ(pngProps->value(QStringLiteral("PixelHeight")).toInt(), 5);
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
    EXPECT_EQ(at(expected[3], QStringLiteral("{MakerNikon}"), QStringLiteral("ShutterCount")),
              QVariant(103));
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
        const qsizetype pathCol = header.indexOf(QStringLiteral("path"));
        const qsizetype makeCol = header.indexOf(QStringLiteral("make"));
        const qsizetype modelCol = header.indexOf(QStringLiteral("model"));
        const qsizetype gpsCol = header.indexOf(QStringLiteral("gps"));
        const qsizetype dateCol = header.indexOf(QStringLiteral("DateTimeOriginal"));
        while (!in.atEnd()) {
            const QStringList row = in.readLine().split(QLatin1Char('\t'));
            if (row.size() <= dateCol || row[makeCol].isEmpty())
                continue;
            const QString path = data + folder + QLatin1Char('/') + row[pathCol];
            if (!QFile::exists(path))
                continue;
            const auto props = ImageProperties::exif(path);
            ASSERT_TRUE(props) << path.toStdString();
            EXPECT_GT(props->value(QStringLiteral("PixelWidth")).toInt(), 0) << path.toStdString();
            EXPECT_EQ(at(*props, QStringLiteral("{TIFF}"), QStringLiteral("Make")).toString(),
                      row[makeCol])
                << path.toStdString();
            EXPECT_EQ(at(*props, QStringLiteral("{TIFF}"), QStringLiteral("Model")).toString(),
                      row[modelCol])
                << path.toStdString();
            if (!row[dateCol].isEmpty()) {
                EXPECT_EQ(at(*props, QStringLiteral("{Exif}"), QStringLiteral("DateTimeOriginal"))
                              .toString(),
                          row[dateCol])
                    << path.toStdString();
            }
            // "yes (lat,lon)" or "lat lon": signed degrees from positive values and references.
            QStringList pair;
            if (row[gpsCol].startsWith(QStringLiteral("yes (")))
                pair = row[gpsCol].mid(5).chopped(1).split(QLatin1Char(','));
            else if (row[gpsCol].contains(QLatin1Char(' ')) && row[gpsCol][0].isDigit())
                pair = row[gpsCol].split(QLatin1Char(' '));
            if (pair.size() == 2) {
                const QVariantMap gps = props->value(QStringLiteral("{GPS}")).toMap();
                const double lat =
                    gps.value(QStringLiteral("Latitude")).toDouble() *
                    (gps.value(QStringLiteral("LatitudeRef")) == QStringLiteral("S") ? -1 : 1);
                const double lon =
                    gps.value(QStringLiteral("Longitude")).toDouble() *
                    (gps.value(QStringLiteral("LongitudeRef")) == QStringLiteral("W") ? -1 : 1);
                EXPECT_NEAR(lat, pair[0].toDouble(), 1e-4) << path.toStdString();
                EXPECT_NEAR(lon, pair[1].toDouble(), 1e-4) << path.toStdString();
            }
            ++checked;
        }
    }
    EXPECT_GT(checked, 5);

    // Maker-note values recorded for particular files.
    const auto nef = ImageProperties::exif(data + QStringLiteral("/raw/NEF/Nikon.nef"));
    if (nef) {
        EXPECT_EQ(at(*nef, QStringLiteral("{MakerNikon}"), QStringLiteral("ShutterCount")), 3619);
        EXPECT_FALSE(at(*nef, QStringLiteral("{ExifAux}"), QStringLiteral("LensModel"))
                         .toString()
                         .isEmpty());
    }
    const auto misnamed =
        ImageProperties::exif(data + QStringLiteral("/broken/misnamed/Issue 247-1.nef"));
    if (misnamed) {
        EXPECT_EQ(at(*misnamed, QStringLiteral("{MakerNikon}"), QStringLiteral("ShutterCount")),
                  2870);
        // No standard ISO tag: the maker note's (0, ISO) pair gives it.
        EXPECT_EQ(at(*misnamed, QStringLiteral("{Exif}"), QStringLiteral("ISOSpeedRatings")),
                  QVariantList{200});
    }
    // Only the maker note's ISO information, in twelfths of a stop.
    const auto d90 = ImageProperties::exif(data + QStringLiteral("/images/Nikon/D90/DSC_0003.JPG"));
    if (d90) {
        EXPECT_EQ(at(*d90, QStringLiteral("{Exif}"), QStringLiteral("ISOSpeedRatings")),
                  QVariantList{159});
    }
    const auto cr2 = ImageProperties::exif(data + QStringLiteral("/raw/CR2/CanonRaw.cr2"));
    if (cr2) {
        EXPECT_TRUE(
            at(*cr2, QStringLiteral("{MakerCanon}"), QStringLiteral("UniqueModelID")).isValid());
        EXPECT_EQ(at(*cr2, QStringLiteral("{Exif}"), QStringLiteral("ISOSpeedRatings")).toList(),
                  QVariantList{400});
    }
}
