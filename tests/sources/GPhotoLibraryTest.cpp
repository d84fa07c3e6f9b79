// Kept apart from the camera service's tests: libgphoto2's headers declare a CameraFile of their
// own.

#include "sources/GPhotoLibrary.h"

#include <gtest/gtest.h>

// The camera library is opened at run time: a missing library, or one without a function the
// worker calls, is refused with a reason naming it, never half-resolved.
TEST(GPhotoLibraryLoading, RefusesMissingLibrariesAndFunctionsByName)
{
    QString error;
    EXPECT_FALSE(GPhotoLibrary::load("libbrindlewick-absent.so.6", &error));
    EXPECT_TRUE(error.startsWith(
        QStringLiteral("The camera library (libbrindlewick-absent.so.6) could not be loaded: ")))
        << error.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("cannot open shared object file")))
        << error.toStdString();

    // A real library that is not libgphoto2.
    EXPECT_FALSE(GPhotoLibrary::load("libz.so.1", &error));
    EXPECT_TRUE(error.endsWith(QStringLiteral("it has no function gp_abilities_list_detect")))
        << error.toStdString();

    const GPhotoLibrary *system = GPhotoLibrary::system(&error);
    ASSERT_NE(system, nullptr) << error.toStdString();
    EXPECT_EQ(system, GPhotoLibrary::system());
    // A call goes through (the text itself follows the locale).
    const char *text = system->gp_result_as_string(GP_ERROR_CANCEL);
    ASSERT_NE(text, nullptr);
    EXPECT_NE(text[0], '\0');
}
