#include "platform/PropertyList.h"
#include "platform/Process.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

QVariantMap sample()
{
    QVariantMap inner{{QStringLiteral("Caption"), QStringLiteral("Zürich {@Date}")},
                      {QStringLiteral("Empty"), QString()}};
    return QVariantMap{
        {QStringLiteral("Name"), QStringLiteral("Trips")},
        {QStringLiteral("Count"), qint64(42)},
        {QStringLiteral("Ratio"), 2.5},
        {QStringLiteral("Flag"), true},
        {QStringLiteral("When"), QDateTime(QDate(2011, 6, 1), QTime(17, 2, 41), QTimeZone::utc())},
        {QStringLiteral("Blob"), QByteArray("\x00\x01\xff", 3)},
        {QStringLiteral("List"), QVariantList{QStringLiteral("a"), qint64(1), QVariantList{}}},
        {QStringLiteral("Metadata"), inner},
    };
}

} // namespace

TEST(PropertyList, XmlRoundTripKeepsEveryKindNested)
{
    const QString path = makeTestFolder(QStringLiteral("plist")) + QStringLiteral("/Trips.plist");
    ASSERT_TRUE(PropertyList::writeXml(path, sample()));
    const auto back = PropertyList::read(path);
    ASSERT_TRUE(back.has_value());
    // Every value, the kinds included (a flag stays a flag, not the number 1).
    EXPECT_EQ(back->toMap(), sample());
    EXPECT_EQ(back->toMap().value("Flag").typeId(), QMetaType::Bool);
    EXPECT_EQ(back->toMap().value("Name").typeId(), QMetaType::QString);
}

TEST(PropertyList, ReadsBinaryListsWrittenByPlistutil)
{
    const auto plistutil = Process::findProgram(QStringLiteral("plistutil"));
    if (!plistutil)
        GTEST_SKIP() << "plistutil not installed";
    const QString dir = makeTestFolder(QStringLiteral("bplist"));
    ASSERT_TRUE(PropertyList::writeXml(dir + "/a.plist", sample()));
    ProcessRequest req;
    req.program = *plistutil;
    req.arguments = {"-i", dir + "/a.plist", "-o", dir + "/b.plist", "-f", "bin"};
    ASSERT_TRUE(Process::run(req).succeeded());
    ASSERT_TRUE(readTestFile(dir + "/b.plist").startsWith("bplist00"));
    const auto back = PropertyList::read(dir + "/b.plist");
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->toMap(), sample());
}

TEST(PropertyList, DamagedMissingAndForeignFilesReadAsAbsent)
{
    const QString dir = makeTestFolder(QStringLiteral("bad"));
    const QByteArray good = PropertyList::toXml(sample());
    const QList<QByteArray> bad = {
        QByteArray(),
        QByteArray("just some text\n"),
        good.left(good.size() / 2),
        QByteArray("bplist00") + QByteArray(60, '\xff'),
        QByteArray("bplist00"),
        QByteArray("<?xml version=\"1.0\"?><plist><dict><key>a</key></plist>"),
        QByteArray("\xff\xd8\xff\xe0 not a plist at all"),
        // Binary lists whose UTF-16 key or string holds a NUL (libplist aborts on reading them).
        QByteArray::fromHex("62706c6973743030d101026300e4000000625178080b12000000000000010100"
                            "0000000000000300000000000000000000000000000014"),
        QByteArray::fromHex("62706c6973743030d10102516b6300e400000062080b0d00000000000001010000"
                            "00000000000300000000000000000000000000000014"),
    };
    int i = 0;
    for (const QByteArray &bytes : bad) {
        const QString path = dir + QStringLiteral("/%1.plist").arg(i++);
        writeTestFile(path, bytes);
        EXPECT_FALSE(PropertyList::read(path).has_value()) << "case " << i - 1;
    }
    EXPECT_FALSE(PropertyList::read(dir + "/missing.plist").has_value());
    // Every prefix of a valid list: never a crash.
    for (int n = 0; n < good.size(); n += 7)
        (void)PropertyList::fromData(good.left(n));
}
