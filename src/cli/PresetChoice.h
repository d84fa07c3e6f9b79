#pragma once

#include "cli/CommandRegistry.h"

#include <QString>

#include <optional>

class SetupController;

// Makes the preset a command runs with current: the one named (in any letter case) or, without
// a name, the desktop program's current one. When it cannot, the reason goes to standard error
// and the exit status comes back: `unknownStatus` for a name no preset has, ExitError for a
// preset whose file is damaged (never the defaults in its place).
std::optional<int> choosePreset(const CliCommand &self, SetupController &presets,
                                const std::optional<QString> &wanted, int unknownStatus);
