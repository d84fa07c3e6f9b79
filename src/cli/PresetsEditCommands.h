#pragma once

#include "cli/CommandRegistry.h"

#include <optional>

// The presets command's actions that make and change presets: new, set, rename, delete,
// export, import. Nullopt when `args` names none of them.
std::optional<int> runPresetEditAction(const CliCommand &self, const QStringList &args);

// Their lines of the presets command's usage text.
extern const char *const kPresetEditUsage;
