#include "IngestFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

TEST(SafeCopy, CopiesContentAndTimeButNeverReplaces)
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

    SafeCopier copier;
    int chunks = 0;
    QString error;
    ASSERT_TRUE(copier.copyFile(source, folder + "/copy.bin", &error, [&] { ++chunks; }))
        << error.toStdString();
    EXPECT_EQ(readTestFile(folder + "/copy.bin"), big);
    EXPECT_EQ(QFileInfo(folder + "/copy.bin").lastModified().toSecsSinceEpoch(),
              old.toSecsSinceEpoch());
    EXPECT_EQ(chunks, 2); // turns between chunks of a large file

    // An existing file under the final name is left exactly as it was.
    writeTestFile(folder + "/taken.bin", "mine");
    EXPECT_FALSE(copier.copyFile(source, folder + "/taken.bin", &error));
    EXPECT_TRUE(error.contains(QStringLiteral("already exists")));
    EXPECT_EQ(readTestFile(folder + "/taken.bin"), QByteArray("mine"));

    // A missing source and a folder as source fail with their reasons.
    EXPECT_FALSE(copier.copyFile(folder + "/none", folder + "/n.bin", &error));
    EXPECT_TRUE(error.contains(QStringLiteral("No such file")));
    EXPECT_FALSE(copier.copyFile(folder, folder + "/d.bin", &error));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

TEST(SafeCopy, InterruptedCopyLeavesNothingAndNextRunSweepsStrays)
{
    const QString folder = makeTestFolder(QStringLiteral("full"));
    writeTestFile(folder + "/src.jpg", QByteArray(300000, 'a'));
    const QString target = makeTestFolder(QStringLiteral("target"));

    SafeCopier::setFailAfterBytes(100000);
    SafeCopier copier;
    QString error;
    EXPECT_FALSE(copier.copyFile(folder + "/src.jpg", target + "/dst.jpg", &error));
    SafeCopier::setFailAfterBytes(-1);
    EXPECT_TRUE(error.contains(QStringLiteral("No space left on device"))) << error.toStdString();
    EXPECT_EQ(QDir(target).entryList(QDir::Files | QDir::Hidden), QStringList());

    // What a crash would leave: a hidden temporary. The next run writing here removes it, and
    // only then (another folder is not touched, an ordinary hidden file stays).
    const QString stray = target + "/" + SafeCopier::temporaryPrefix() + "Ab12Cd";
    writeTestFile(stray, "partial");
    writeTestFile(target + "/.hidden", "keep");
    const QString other = makeTestFolder(QStringLiteral("other"));
    writeTestFile(other + "/" + SafeCopier::temporaryPrefix() + "Zz", "partial");
    SafeCopier next;
    next.beginRun();
    ASSERT_TRUE(next.copyFile(folder + "/src.jpg", target + "/dst.jpg", &error));
    EXPECT_FALSE(QFileInfo::exists(stray));
    EXPECT_TRUE(QFileInfo::exists(target + "/.hidden"));
    EXPECT_EQ(QDir(other).entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_EQ(QDir(target).entryList(QDir::Files | QDir::Hidden),
              (QStringList{".hidden", "dst.jpg"}));
}
