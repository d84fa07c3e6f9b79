// The properties the macros read, compared with what exiftool reads from the same real camera
// files: make, model, capture date, aperture, exposure time, ISO, focal length and position.
// Skipped when the shared sample folder or exiftool is missing.
#include "platform/ImageProperties.h"
#include "platform/Process.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

namespace {

// The comparable value of one field: a number, a text, or nothing.
struct Value
{
    std::optional<double> number;
    QString text;
    bool present() const { return number || !text.isEmpty(); }
    std::string show() const
    {
        return number ? QString::number(*number, 'g', 10).toStdString()
                      : (text.isEmpty() ? std::string("(none)") : text.toStdString());
    }
};

Value textValue(const QJsonValue &v)
{
    return {std::nullopt, v.isString() ? v.toString().trimmed() : QString()};
}

Value numberValue(const QJsonValue &v)
{
    if (v.isDouble())
        return {v.toDouble(), {}};
    if (v.isArray() && !v.toArray().isEmpty())
        return numberValue(v.toArray().first());
    if (v.isString()) {
        // Printed forms such as "200, 0" or "0 200": the first number.
        bool ok = false;
        const double n = v.toString()
                             .split(QRegularExpression(QStringLiteral("[ ,]+")), Qt::SkipEmptyParts)
                             .value(0)
                             .toDouble(&ok);
        if (ok)
            return {n, {}};
    }
    return {};
}

Value dateValue(const QJsonValue &v)
{
    return {std::nullopt, v.isString() ? v.toString().left(19) : QString()};
}

std::optional<double> signedDegrees(const QJsonObject &gps, const char *value, const char *ref,
                                    const char *negative)
{
    if (!gps.contains(QLatin1String(value)))
        return std::nullopt;
    const double sign =
        gps.value(QLatin1String(ref)).toString() == QLatin1String(negative) ? -1 : 1;
    return sign * gps.value(QLatin1String(value)).toDouble();
}

bool agree(const char *field, const Value &theirs, const Value &ours)
{
    if (theirs.number && ours.number) {
        const double a = *theirs.number, b = *ours.number;
        if (QByteArray(field) == "ISO")
            return std::fabs(a - b) <= 1.0;
        if (QByteArray(field).startsWith("GPS"))
            return std::fabs(a - b) <= 1e-4;
        return std::fabs(a - b) <= std::max(1e-6, std::fabs(a) * 0.01);
    }
    return theirs.number == ours.number && theirs.text == ours.text;
}

QStringList sampleFiles(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (suffix != QLatin1String("tsv") && suffix != QLatin1String("md") &&
            suffix != QLatin1String("gpx"))
            files << path;
    }
    files.sort();
    return files;
}

} // namespace

TEST(ExiftoolAgreement, PropertiesAgreeWithExiftoolOnTheSampleFiles)
{
    const QString data = sharedTestData();
    if (data.isEmpty())
        GTEST_SKIP() << "no shared sample files beside the project";
    const auto exiftool = Process::findProgram(QStringLiteral("exiftool"));
    if (!exiftool)
        GTEST_SKIP() << "exiftool is not installed";
    const QStringList files = sampleFiles(data);
    ASSERT_FALSE(files.isEmpty());

    // exiftool: numbers unformatted ("#"), except ISO, whose raw maker-note forms are codes;
    // QuickTime dates in this computer's zone, as the program shows them.
    ProcessRequest request;
    request.program = *exiftool;
    request.arguments = QStringLiteral("-json -api QuickTimeUTC -Make# -Model# -DateTimeOriginal# "
                                       "-CreationDate# -ContentCreateDate# -CreateDate# "
                                       "-FNumber# -ExposureTime# -ISO -FocalLength# "
                                       "-GPSLatitude# -GPSLongitude#")
                            .split(QLatin1Char(' '));
    request.arguments << files;
    request.captureStdout = true;
    request.captureStderr = true;
    const ProcessResult theirsRun = Process::run(request);
    ASSERT_TRUE(theirsRun.started);
    QHash<QString, QJsonObject> theirs;
    for (const QJsonValue &v : QJsonDocument::fromJson(theirsRun.stdoutData).array())
        theirs.insert(v.toObject().value("SourceFile").toString(), v.toObject());

    int compared = 0;
    int agreed = 0;
    for (const QString &file : files) {
        // The groups as the tool's "info --json" prints them.
        const QJsonObject ours =
            QJsonObject::fromVariantMap(ImageProperties::exif(file).value_or(QVariantMap()));
        const QJsonObject e = theirs.value(file);
        const QJsonObject tiff = ours.value("{TIFF}").toObject();
        const QJsonObject exif = ours.value("{Exif}").toObject();
        const QJsonObject gps = ours.value("{GPS}").toObject();

        QJsonValue theirDate;
        for (const char *key :
             {"DateTimeOriginal", "CreationDate", "ContentCreateDate", "CreateDate"}) {
            if (e.contains(QLatin1String(key))) {
                theirDate = e.value(QLatin1String(key));
                break;
            }
        }
        QJsonValue ourDate = exif.value("DateTimeOriginal");
        if (ourDate.isUndefined())
            ourDate = exif.value("DateTimeDigitized");
        if (ourDate.isUndefined())
            ourDate = tiff.value("DateTime");
        const auto lat = signedDegrees(gps, "Latitude", "LatitudeRef", "S");
        const auto lon = signedDegrees(gps, "Longitude", "LongitudeRef", "W");

        const std::pair<const char *, std::pair<Value, Value>> fields[] = {
            {"Make", {textValue(e.value("Make")), textValue(tiff.value("Make"))}},
            {"Model", {textValue(e.value("Model")), textValue(tiff.value("Model"))}},
            {"Date", {dateValue(theirDate), dateValue(ourDate)}},
            {"FNumber", {numberValue(e.value("FNumber")), numberValue(exif.value("FNumber"))}},
            {"ExposureTime",
             {numberValue(e.value("ExposureTime")), numberValue(exif.value("ExposureTime"))}},
            {"ISO", {numberValue(e.value("ISO")), numberValue(exif.value("ISOSpeedRatings"))}},
            {"FocalLength",
             {numberValue(e.value("FocalLength")), numberValue(exif.value("FocalLength"))}},
            {"GPSLatitude", {numberValue(e.value("GPSLatitude")), Value{lat, {}}}},
            {"GPSLongitude", {numberValue(e.value("GPSLongitude")), Value{lon, {}}}},
        };
        for (const auto &[field, values] : fields) {
            const auto &[theirValue, ourValue] = values;
            if (!theirValue.present() && !ourValue.present())
                continue; // neither tool finds it: nothing to compare
            ++compared;
            if (agree(field, theirValue, ourValue)) {
                ++agreed;
                continue;
            }
            std::printf("disagree: %s: %s: exiftool %s, brindlewick %s\n",
                        QDir(data).relativeFilePath(file).toUtf8().constData(), field,
                        theirValue.show().c_str(), ourValue.show().c_str());
        }
    }
    const double share = compared > 0 ? 100.0 * agreed / compared : 0.0;
    std::printf("agreement with exiftool: %d of %d fields (%.1f%%) over %lld files\n", agreed,
                compared, share, static_cast<long long>(files.size()));
    EXPECT_GT(compared, 100);
    EXPECT_GE(share, 99.0);
}
