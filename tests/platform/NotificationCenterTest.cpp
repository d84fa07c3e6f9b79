#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

TEST(NotificationCenter, DeliversByNameAndSenderInRegistrationOrder)
{
    NotificationCenter center;
    QStringList seen;
    int a = 0, b = 0, chooser = 0, other = 0;
    center.addObserver(&a, "ThumbHasArrived", [&](const Notification &n) {
        seen << "a:" + n.userInfo.value("name").toString();
    });
    center.addObserver(
        &b, "ThumbHasArrived", [&](const Notification &) { seen << "b"; }, &chooser);
    center.addObserver(&a, "IngestionComplete", [&](const Notification &) { seen << "done"; });

    center.post("ThumbHasArrived", &chooser, {{"name", "IMG_1.JPG"}});
    center.post("ThumbHasArrived", &other);
    center.post("Unrelated");
    center.post("IngestionComplete");
    EXPECT_EQ(seen, (QStringList{"a:IMG_1.JPG", "b", "a:", "done"}));

    seen.clear();
    center.removeObserver(&a, "ThumbHasArrived");
    center.post("ThumbHasArrived", &chooser);
    center.post("IngestionComplete");
    EXPECT_EQ(seen, (QStringList{"b", "done"}));

    seen.clear();
    center.removeObserver(&a);
    center.post("IngestionComplete");
    EXPECT_TRUE(seen.isEmpty());
}

TEST(NotificationCenter, ObserverRemovedDuringDeliveryIsNotCalledAgain)
{
    NotificationCenter center;
    int first = 0, second = 0;
    int calls = 0;
    center.addObserver(&first, "X", [&](const Notification &) {
        ++calls;
        center.removeObserver(&second);
        // A post from inside a handler is delivered at once, before the outer one goes on.
        center.post("Y");
    });
    center.addObserver(&second, "X", [&](const Notification &) { calls += 100; });
    center.addObserver(&first, "Y", [&](const Notification &) { calls += 10; });
    center.post("X");
    EXPECT_EQ(calls, 11);
}
