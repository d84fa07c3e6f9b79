#include "cli/PresetChoice.h"

#include "presets/SetupController.h"

std::optional<int> choosePreset(const CliCommand &self, SetupController &presets,
                                const std::optional<QString> &wanted, int unknownStatus)
{
    QString name = presets.currentSetupName();
    if (wanted) {
        bool known = wanted->compare(SetupController::kDefault, Qt::CaseInsensitive) == 0;
        name = known ? SetupController::kDefault : *wanted;
        for (const QString &listed : presets.presets()) {
            if (listed.compare(*wanted, Qt::CaseInsensitive) == 0) {
                name = listed;
                known = true;
            }
        }
        if (!known) {
            printErr(QStringLiteral("brindlewick-cli %1: no preset named \"%2\"\n")
                         .arg(self.name, *wanted));
            return unknownStatus;
        }
    }
    presets.setCurrentSetupName(name);
    if (!presets.makeCurrent(name)) {
        const QString problem = presets.presetFileProblem(name).value_or(
            QStringLiteral("The preset \"%1\" can't be used.").arg(name));
        printErr(QStringLiteral("brindlewick-cli %1: %2\n").arg(self.name, problem));
        return ExitError;
    }
    return std::nullopt;
}
