#include "app/BrowserGeometry.h"

#include <gtest/gtest.h>

using namespace BrowserGeometry;

TEST(BrowserGeometry, PictureFitsTheContainerAndHangsFromItsTop)
{
    // A container of 200 x 185 after the 8-point inset: cell 216 wide, 185 + 16 + 15 high.
    const QRectF cell(100, 50, 216, 216);
    const QRectF frame = imageFrame(cell, QSizeF(3000, 2000));
    EXPECT_EQ(frame.width(), 200);
    EXPECT_EQ(frame.height(), 134);
    EXPECT_EQ(frame.x(), 108);
    // The top of the container is 8 below the cell's top.
    EXPECT_EQ(frame.y(), 58);

    // A tall picture is centred across and fills the height.
    const QRectF tall = imageFrame(cell, QSizeF(1000, 2000));
    EXPECT_EQ(tall.height(), 185);
    EXPECT_NEAR(tall.center().x(), cell.center().x(), 1);

    EXPECT_TRUE(imageFrame(cell, QSizeF(0, 10)).isEmpty());
    EXPECT_TRUE(imageFrame(QRectF(0, 0, 40, 30), QSizeF(10, 10)).isEmpty());
}

TEST(BrowserGeometry, BadgesTitleAndClickZonesSitWhereTheCellLayoutSays)
{
    const QRectF cell(0, 0, 160, 160);
    // Tick badge at the top-left corner, reaching 3 points above the cell.
    EXPECT_EQ(badgeRect(cell, Badge::Ticked), QRectF(0, -3, 20, 20));
    EXPECT_EQ(badgeRect(cell, Badge::Ingested), QRectF(143, -3, 20, 20));
    // Info badge just above the title strip.
    EXPECT_EQ(badgeRect(cell, Badge::Info), QRectF(0, 120, 20, 20));
    EXPECT_EQ(badgeRect(cell, Badge::Gloss), QRectF(0, 0, 160, 145));
    EXPECT_EQ(tickZone(cell), QRectF(0, 0, 20, 20));
    EXPECT_EQ(infoZone(cell), QRectF(0, 120, 20, 20));
    EXPECT_EQ(selectionFrame(cell), QRectF(-5, -5, 170, 170));
    // The title is 3 above the bottom and at least 7 in from the left.
    const QRectF title = titleFrame(cell, QRectF(0, 0, 160, 12));
    EXPECT_EQ(title, QRectF(7, 145, 146, 12));
    EXPECT_EQ(titleFrame(cell, QRectF(20, 0, 120, 12)), QRectF(20, 145, 120, 12));
}
