#include "SourcesFixtures.h"

#include "platform/Process.h"

#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

ProcessResult cameras(const QStringList &args)
{
    return runCli(QStringList{"cameras"} + args);
}

} // namespace

TEST(CamerasCommand, ListsFolderCamerasAndTheirFiles)
{
    const QString card = makeTestFolder("clicard");
    const QString empty = makeTestFolder("cliempty");
    const QDateTime shot = QDateTime::fromSecsSinceEpoch(1714557600);
    writeJpeg(card + "/DCIM/IMG_0001.JPG", Qt::red, shot);
    writeJpeg(card + "/DCIM/IMG_0002.JPG", Qt::green, shot.addSecs(60));
    qputenv(CameraService::kDiskCamerasVariable, (card + ":" + empty).toLocal8Bit());

    const ProcessResult list = cameras({});
    EXPECT_EQ(list.exitCode, 0) << list.stderrData.constData();
    const QString cardName = QFileInfo(card).fileName();
    const QString emptyName = QFileInfo(empty).fileName();
    EXPECT_TRUE(list.stdoutData.contains((cardName + "\t2 files\n").toUtf8()))
        << list.stdoutData.constData();
    EXPECT_TRUE(list.stdoutData.contains((emptyName + "\t0 files\n").toUtf8()));

    const ProcessResult files = cameras({"files", cardName});
    EXPECT_EQ(files.exitCode, 0) << files.stderrData.constData();
    const QString expected =
        shot.toLocalTime().toString("yyyy-MM-dd HH:mm:ss") + "\t/DCIM/IMG_0001.JPG\n" +
        shot.addSecs(60).toLocalTime().toString("yyyy-MM-dd HH:mm:ss") + "\t/DCIM/IMG_0002.JPG\n";
    EXPECT_EQ(QString::fromUtf8(files.stdoutData), expected);
    // The folder itself names the camera too.
    EXPECT_EQ(cameras({"files", card}).stdoutData, files.stdoutData);

    EXPECT_EQ(cameras({"files", "No Such Camera"}).exitCode, 1);
    EXPECT_EQ(cameras({"files"}).exitCode, 2);
    EXPECT_EQ(cameras({"bogus"}).exitCode, 2);
    qunsetenv(CameraService::kDiskCamerasVariable);
}
