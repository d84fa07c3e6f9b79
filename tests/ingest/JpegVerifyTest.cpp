#include "IngestFixture.h"

#include "ingest/JpegVerify.h"

#include <gtest/gtest.h>

namespace {

bool verdict(const QString &path, JpegDecodeScale scale)
{
    return verifyJpegFile(QFile::encodeName(path).constData(), scale);
}

// The check beside a copy, fed in pieces of `piece` bytes as a copy would feed it.
bool streamVerdict(JpegStreamCheck &check, const QByteArray &bytes, qsizetype piece)
{
    check.begin();
    for (qsizetype at = 0; at < bytes.size(); at += piece)
        check.add(bytes.constData() + at, std::min(piece, bytes.size() - at));
    return check.finished();
}

// Offsets spread over the entropy-coded part (after the headers, before the end marker).
QList<qsizetype> spread(const QByteArray &jpeg, int count)
{
    const qsizetype start = jpeg.indexOf(QByteArray("\xff\xda", 2)) + 20;
    QList<qsizetype> at;
    for (int i = 0; i < count; ++i)
        at << start + (jpeg.size() - 2 - start) * i / count;
    return at;
}

} // namespace

TEST(JpegVerify, DamageIsFoundAtFullAndAtEighthScaleAlike)
{
    const QString folder = makeTestFolder(QStringLiteral("mutants"));
    const QList<std::pair<const char *, JpegShape>> shapes = {
        {"baseline", JpegShape{160, 120, false, 0, false}},
        {"restart", JpegShape{160, 120, false, 1, false}},
        {"progressive", JpegShape{160, 120, true, 0, false}},
        {"grey", JpegShape{96, 80, false, 0, true}},
    };
    int mutants = 0;
    int rejected = 0;
    JpegStreamCheck stream;
    for (const auto &[label, shape] : shapes) {
        const QByteArray good = encodeJpeg(5, shape);
        const QString goodPath = folder + "/" + label + ".jpg";
        writeTestFile(goodPath, good);
        EXPECT_TRUE(verdict(goodPath, JpegDecodeScale::Full)) << label;
        EXPECT_TRUE(verdict(goodPath, JpegDecodeScale::Eighth)) << label;
        EXPECT_TRUE(streamVerdict(stream, good, 4096)) << label;

        QList<std::pair<QString, QByteArray>> variants;
        for (qsizetype at : spread(good, 8)) {
            variants.append({QStringLiteral("truncated@%1").arg(at), good.left(at)});
            QByteArray flipped = good;
            flipped[at] = static_cast<char>(flipped[at] ^ 0x10);
            variants.append({QStringLiteral("flipped@%1").arg(at), flipped});
            variants.append({QStringLiteral("deleted@%1").arg(at), QByteArray(good).remove(at, 3)});
            QByteArray zeroed = good;
            for (qsizetype i = at; i < std::min(at + 32, good.size() - 2); ++i)
                zeroed[i] = 0;
            variants.append({QStringLiteral("zeroed@%1").arg(at), zeroed});
        }
        variants.append({QStringLiteral("no-end-marker"), good.left(good.size() - 2)});
        variants.append({QStringLiteral("header-only"), good.left(good.indexOf("\xff\xda"))});
        for (const auto &[name, bytes] : variants) {
            const QString path = folder + "/" + label + "-" + name + ".jpg";
            writeTestFile(path, bytes);
            const bool full = verdict(path, JpegDecodeScale::Full);
            EXPECT_EQ(full, verdict(path, JpegDecodeScale::Eighth))
                << label << " " << name.toStdString();
            // The bytes decoded while they are copied get the file's verdict, whatever the
            // pieces; one check serves attempt after attempt.
            EXPECT_EQ(full, streamVerdict(stream, bytes, 1 + (mutants % 3) * 700))
                << label << " " << name.toStdString();
            ++mutants;
            rejected += full ? 0 : 1;
        }
    }
    // The mutations really damage the files: most of them are refused.
    EXPECT_GT(rejected, mutants / 2);
    EXPECT_FALSE(verifyJpegFile(QFile::encodeName(folder + "/absent.jpg").constData()));
    writeTestFile(folder + "/text.jpg", "not a jpeg at all");
    EXPECT_FALSE(verdict(folder + "/text.jpg", JpegDecodeScale::Full));
    // Nothing given is no JPEG; a check abandoned half way (a copy that failed) ends cleanly.
    EXPECT_FALSE(streamVerdict(stream, QByteArray(), 1));
    JpegStreamCheck abandoned;
    abandoned.begin();
    abandoned.add("\xff\xd8", 2);
}
