// Makes a sample memory card for demonstrations and end-to-end tests: JPEGs over three days with
// camera-like EXIF, one raw-like file, and a GPX track that covers the last day.
//
//   brindlewick-samplecard CARD_FOLDER [GPX_FILE]
#include "support/ImageFixtures.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTimeZone>

#include <cstdio>

namespace {

QString exifDate(const QDateTime &t)
{
    return t.toString(QStringLiteral("yyyy:MM:dd HH:mm:ss"));
}

bool writeTrack(const QString &path, const QDateTime &start, int minutes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray gpx = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<gpx version=\"1.1\" creator=\"brindlewick-samplecard\" "
                     "xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
                     " <trk><name>Sample walk</name><trkseg>\n";
    for (int i = 0; i <= minutes; ++i) {
        const double lat = 51.5000 + i * 0.0004;
        const double lon = -0.1200 + i * 0.0006;
        gpx +=
            QStringLiteral("  <trkpt lat=\"%1\" lon=\"%2\"><ele>%3</ele><time>%4</time></trkpt>\n")
                .arg(lat, 0, 'f', 6)
                .arg(lon, 0, 'f', 6)
                .arg(12 + i % 7)
                .arg(start.addSecs(i * 60).toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'")))
                .toUtf8();
    }
    gpx += " </trkseg></trk>\n</gpx>\n";
    return file.write(gpx) == gpx.size();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2 || args.size() > 3) {
        std::fprintf(stderr, "usage: brindlewick-samplecard CARD_FOLDER [GPX_FILE]\n");
        return 2;
    }
    const QString card = args[1];
    const QString dcim = card + QStringLiteral("/DCIM/100SAMPL");
    if (!QDir().mkpath(dcim)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(dcim));
        return 1;
    }
    // Camera times are local clock times without a zone, as cameras write them.
    const QDateTime firstDay(QDate(2026, 5, 14), QTime(9, 0, 0), QTimeZone::utc());
    int number = 1001;
    const QColor tints[] = {QColor(200, 120, 60), QColor(60, 160, 90), QColor(70, 110, 210)};
    for (int day = 0; day < 3; ++day) {
        for (int shot = 0; shot < 10; ++shot, ++number) {
            const QDateTime taken = firstDay.addDays(day).addSecs(shot * 11 * 60 + 17);
            const QMap<QString, QString> exif{
                {"Exif.Image.Make", "NIKON CORPORATION"},
                {"Exif.Image.Model", "NIKON D7000"},
                {"Exif.Image.DateTime", exifDate(taken)},
                {"Exif.Photo.DateTimeOriginal", exifDate(taken)},
                {"Exif.Photo.DateTimeDigitized", exifDate(taken)},
                {"Exif.Photo.ExposureTime", shot % 2 ? "1/250" : "1/60"},
                {"Exif.Photo.FNumber", shot % 3 ? "56/10" : "8/1"},
                {"Exif.Photo.ISOSpeedRatings", shot % 2 ? "200" : "400"},
                {"Exif.Photo.FocalLength", "35/1"},
                {"Exif.Photo.BodySerialNumber", "6012345"},
                {"Exif.Photo.LensModel", "35mm f/1.8"},
            };
            const QString name = dcim + QStringLiteral("/DSC_%1.JPG").arg(number);
            if (!ImageFixtures::writeJpeg(name, QSize(640, 427), exif, tints[day])) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
                return 1;
            }
        }
    }
    // A raw-like file: the camera's JPEG content under a raw extension, as some tests need.
    const QString raw = dcim + QStringLiteral("/DSC_%1.NEF").arg(number);
    QFile::copy(dcim + QStringLiteral("/DSC_%1.JPG").arg(number - 1), raw);

    if (args.size() == 3 && !writeTrack(args[2], firstDay.addDays(2).addSecs(-600), 130)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    std::printf("%s\n", qPrintable(card));
    return 0;
}
