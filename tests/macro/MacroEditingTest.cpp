#include "items/ThumbItem.h"
#include "macro/MacroProcessor.h"
#include "macro/MacroSyntax.h"
#include "macro/MacroViewController.h"
#include "platform/NotificationCenter.h"
#include "presets/Setup.h"
#include "support/InstalledUserInterface.h"

#include <QImage>
#include <QTimer>

#include <gtest/gtest.h>

// Arrangements are checked before they are stored: the message names the character where the
// faulty macro begins.
TEST(MacroSyntax, UnterminatedAndNamelessMacrosAreFoundWithTheirPosition)
{
    for (const char *good : {"", "plain", "{@DateImage:YYYY/MM-DD}/{@Index:4}", "a{b}{@X}c",
                             "{ not a macro }", "{@UserName@Nobody}", "{@A{@B}}"})
        EXPECT_FALSE(MacroSyntax::check(QString::fromUtf8(good)).has_value()) << good;

    const auto open = MacroSyntax::check(QStringLiteral("Trip-{@DateImage:YYYY"));
    ASSERT_TRUE(open.has_value());
    EXPECT_EQ(open->position, 6);
    EXPECT_EQ(open->message, QStringLiteral("unterminated macro at character 6: {@DateImage:YYYY"));

    const auto second = MacroSyntax::check(QStringLiteral("{@Index:4}-{@FileNameOriginal"));
    ASSERT_TRUE(second.has_value());
    EXPECT_EQ(second->position, 12);

    const auto nameless = MacroSyntax::check(QStringLiteral("x{@:4}"));
    ASSERT_TRUE(nameless.has_value());
    EXPECT_EQ(nameless->position, 2);
    EXPECT_TRUE(nameless->message.startsWith(QStringLiteral("macro without a name")));
    EXPECT_TRUE(MacroSyntax::check(QStringLiteral("{@@default}")).has_value());
}

// The macro view waits for a camera image's properties and says so when they never come.
TEST(MacroViewController, WaitsForCameraMetadataAndReportsATimeOut)
{
    InstalledUserInterface ui;
    ui.waitTimeoutMs = 200;
    MacroProcessor processor;
    const ::Setup setup;
    MacroViewController view;

    // Properties that arrive while the wait window is up end the wait at once.
    auto camera = ThumbItem::initWithImage(QImage(8, 8, QImage::Format_RGB32));
    camera->metadata.reset(); // not arrived yet
    QTimer::singleShot(20, [camera] {
        camera->metadata = QVariantMap{{"{TIFF}", QVariantMap{{"Make", "Nikon"}}}};
        NotificationCenter::defaultCenter().post(QStringLiteral("MetadataHasArrived"), nullptr);
    });
    view.setupPanel(camera, processor, setup);
    ASSERT_EQ(ui.waits.size(), 1);
    EXPECT_EQ(ui.waits[0].message, QStringLiteral("Reading metadata..."));
    EXPECT_EQ(ui.waits[0].outcome, WaitOutcome::Ended);
    EXPECT_FALSE(view.timedOut());
    EXPECT_TRUE(view.text().contains(QStringLiteral("\nTIFF.Make = Nikon\n")));
    EXPECT_TRUE(ui.alerts.isEmpty());

    // None arrive: the alert, then the listing with what there is.
    auto silent = ThumbItem::initWithImage(QImage(8, 8, QImage::Format_RGB32));
    silent->metadata.reset();
    silent->index = 1;
    view.setupPanel(silent, processor, setup);
    EXPECT_TRUE(view.timedOut());
    EXPECT_EQ(ui.alertTexts(), QStringList{"Unable to retrieve metadata for image.: "});
    EXPECT_TRUE(view.text().contains(QStringLiteral("Index:4 = 0001\n")));
    EXPECT_TRUE(view.text().contains(QStringLiteral("Space =  \n")));
    EXPECT_TRUE(view.text().contains(QStringLiteral("Required = {@Required}\n")));
    EXPECT_TRUE(view.text().contains(QStringLiteral("\n\nImage Metadata:\n")));
}
