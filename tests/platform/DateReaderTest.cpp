#include "platform/DateReader.h"

#include <gtest/gtest.h>

TEST(DateReader, CameraAndGpxLayoutsShareOneUtcScaleAndTheRestIsRefused)
{
    const double gpx = *DateReader::read(u"2011-06-01T17:02:41Z");
    EXPECT_DOUBLE_EQ(*DateReader::read(u"2011-06-01 17:02:41"), gpx);
    EXPECT_DOUBLE_EQ(*DateReader::read(u"2011-06-01T17:02:41.250Z"), gpx);
    EXPECT_DOUBLE_EQ(*DateReader::read(u"2011-06-01T17:02:41+02:00"), gpx); // zone left aside
    EXPECT_DOUBLE_EQ(*DateReader::read(u"2011-06-01T17:02:41"), gpx);
    EXPECT_DOUBLE_EQ(*DateReader::read(u"2011:06:01 17:02:41"), gpx);
    EXPECT_DOUBLE_EQ(*DateReader::read(u"2001-01-01T00:00:00Z"), 0.0);
    EXPECT_DOUBLE_EQ(*DateReader::read(u"2001-01-01T00:01:00Z"), 60.0);
    EXPECT_LT(*DateReader::read(u"1999-12-31T23:59:59Z"), 0.0);

    for (const char16_t *bad :
         {u"", u"0000:00:00 00:00:00", u"2011-13-01T00:00:00Z", u"2011-06-01", u"yesterday at noon",
          u"2011-06-01T17:02:41 junk", u"2011-06-31T10:00:00Z"})
        EXPECT_FALSE(DateReader::read(bad).has_value()) << QString::fromUtf16(bad).toStdString();
}
