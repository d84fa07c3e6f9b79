#include "IngestFixture.h"

#include <gtest/gtest.h>

// Content and time are copied, a large file gives turns between its chunks, nothing is ever
// replaced, and the remains of an interrupted copy go at the next run writing beside them.
TEST(SafeCopy, CopiesContentAndTimeNeverReplacesAndSweepsStrays)
{
    const QString folder = makeTestFolder(QStringLiteral("safe"));
    const QString source = folder + "/src.bin";
    QByteArray big(SafeCopier::chunkBytes * 2 + 12345, 'x');
    for (qsizetype i = 0; i < big.size(); i += 4096)
        big[i] = static_cast<char>(i / 4096);
    writeTestFile(source, big);
    const QDateTime old = QDateTime::currentDateTime().addDays(-30);
    {
        QFile f(source);
        f.open(QIODevice::ReadWrite);
        f.setFileTime(old, QFileDevice::FileModificationTime);
    }
    // What a crash would leave: a hidden temporary. The next run writing here removes it, and
    // only then (another folder is not touched, an ordinary hidden file stays).
    const QString target = makeTestFolder(QStringLiteral("target"));
    const QString stray = target + "/" + SafeCopier::temporaryPrefix() + "Ab12Cd";
    writeTestFile(stray, "partial");
    writeTestFile(target + "/.hidden", "keep");
    writeTestFile(folder + "/" + SafeCopier::temporaryPrefix() + "Zz", "partial");

    SafeCopier copier;
    copier.beginRun();
    int chunks = 0;
    QString error;
    ASSERT_TRUE(copier.copyFile(source, target + "/copy.bin", &error, [&] { ++chunks; }))
        << error.toStdString();
    EXPECT_EQ(readTestFile(target + "/copy.bin"), big);
    EXPECT_EQ(QFileInfo(target + "/copy.bin").lastModified().toSecsSinceEpoch(),
              old.toSecsSinceEpoch());
    EXPECT_EQ(chunks, 2); // turns between chunks of a large file
    EXPECT_EQ(QDir(target).entryList(QDir::Files | QDir::Hidden),
              (QStringList{".hidden", "copy.bin"}));

    // An existing file under the final name is left exactly as it was.
    writeTestFile(target + "/taken.bin", "mine");
    EXPECT_FALSE(copier.copyFile(source, target + "/taken.bin", &error));
    EXPECT_TRUE(error.contains(QStringLiteral("already exists")));
    EXPECT_EQ(readTestFile(target + "/taken.bin"), QByteArray("mine"));

    // A missing source and a folder as source fail with their reasons.
    EXPECT_FALSE(copier.copyFile(folder + "/none", target + "/n.bin", &error));
    EXPECT_TRUE(error.contains(QStringLiteral("No such file")));
    EXPECT_FALSE(copier.copyFile(folder, target + "/d.bin", &error));
    EXPECT_EQ(QDir(target).entryList(QDir::Files | QDir::Hidden).size(), 3);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2);
}
