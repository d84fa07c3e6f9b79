#include "app/InfoPane.h"

#include "items/ThumbItem.h"
#include "support/QtPrinters.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

TEST(InfoPane, ImageDataShowsEachKnownPairEscapedAndFormatted)
{
    EXPECT_TRUE(InfoPane::imageDataHtml(nullptr).isEmpty());
    const QString folder = makeTestFolder("info");
    // Markup in a name is shown, not obeyed.
    ASSERT_TRUE(writeTestFile(folder + "/<b>&.jpg", "not an image"));
    auto item = ThumbItem::initWithPath(folder + "/<b>&.jpg");
    const QString html = InfoPane::imageDataHtml(item.get());
    EXPECT_EQ(html, "<body style='font-family: Lucida Grande, Helvetica; font-size: 10;'>"
                    "Folder:<font color=blue> " +
                        folder +
                        "</font><br>"
                        "Filename:<font color=blue> &lt;b&gt;&amp;.jpg</font><br></body>");

    // An item with properties: every pair in its place, numbers formatted as designed.
    auto shot = ThumbItem::initWithPath(folder + "/shot.jpg");
    shot->metadata = QVariantMap{
        {"PixelWidth", 6000},
        {"PixelHeight", 4000},
        {"{Exif}", QVariantMap{{"ExposureTime", 0.004},
                               {"FNumber", 2.8},
                               {"FocalLength", QStringLiteral("50.0 mm")},
                               {"ISOSpeedRatings", QVariantList{200, 400}}}},
        {"{TIFF}", QVariantMap{{"Make", "NIKON"}, {"Model", "Z 6"}}},
    };
    const QString blue = "</font>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;";
    EXPECT_EQ(InfoPane::imageDataHtml(shot.get()),
              "<body style='font-family: Lucida Grande, Helvetica; font-size: 10;'>"
              "Folder:<font color=blue> " +
                  folder +
                  "</font><br>"
                  "Filename:<font color=blue> shot.jpg</font><br>"
                  "PixelWidth:<font color=blue> 6000" +
                  blue +
                  "PixelHeight:<font color=blue> 4000</font><br>"
                  "ExposureTime:<font color=blue> 1/250" +
                  blue +
                  "FNumber:<font color=blue> 2.8</font><br>"
                  "FocalLength:<font color=blue> 50.0" +
                  blue +
                  "ISO:<font color=blue> 200</font><br>"
                  "Make:<font color=blue> NIKON" +
                  blue + "Model:<font color=blue> Z 6</font><br></body>");
    EXPECT_EQ(shot->metadataReads, 0);
}
