#include "app/BrowserGeometry.h"

#include <gtest/gtest.h>

using namespace BrowserGeometry;

TEST(BrowserGeometry, PictureAndTitleFitTheCell)
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

    // The title sits 3 above the bottom, at least 7 in from either side. (The badges' places are
    // held by the main window's click and tick-badge tests.)
    const QRectF square(0, 0, 160, 160);
    EXPECT_EQ(titleFrame(square, QRectF(0, 0, 160, 12)), QRectF(7, 145, 146, 12));
    EXPECT_EQ(titleFrame(square, QRectF(20, 0, 120, 12)), QRectF(20, 145, 120, 12));
}
