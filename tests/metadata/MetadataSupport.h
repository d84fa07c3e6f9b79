#pragma once

#include "metadata/ECPrefsController.h"
#include "metadata/Metadata.h"
#include "platform/Defaults.h"

// Starts each case from an empty preferences store and a fresh preferences instance.
inline void resetPreferences()
{
    for (const Prefs::Key *key : Prefs::all())
        Defaults::remove(QLatin1String(key->name));
    ECPrefsController::init();
}
