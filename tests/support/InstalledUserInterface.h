#pragma once

#include "platform/RecordingUserInterface.h"

// A recording user interface that is the process-wide one while it lives, so that no test
// waits on a real window and every alert, progress and wait can be checked.
struct InstalledUserInterface : RecordingUserInterface
{
    InstalledUserInterface() { UserInterface::setInstance(this); }
    ~InstalledUserInterface() override { UserInterface::setInstance(nullptr); }
    InstalledUserInterface(const InstalledUserInterface &) = delete;
    InstalledUserInterface &operator=(const InstalledUserInterface &) = delete;
};
