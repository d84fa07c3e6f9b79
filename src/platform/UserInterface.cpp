#include "platform/UserInterface.h"

#include "platform/RecordingUserInterface.h"

#include <atomic>

namespace {
std::atomic<UserInterface *> g_instance{nullptr};
}

UserInterface &UserInterface::instance()
{
    if (UserInterface *ui = g_instance.load())
        return *ui;
    static RecordingUserInterface fallback;
    return fallback;
}

void UserInterface::setInstance(UserInterface *ui)
{
    g_instance.store(ui);
}
