#include "sources/CardArrivals.h"

#include "metadata/Prefs.h"
#include "platform/Format.h"
#include "presets/SetupController.h"

#include <QDir>

namespace {

const QString kAutoIngest = QLatin1String(SetupKeys::AutoIngest);

bool isMarked(const QVariantMap &dict)
{
    return Setup(dict).paramBool(kAutoIngest);
}

} // namespace

bool CardArrivals::isOffered(const RemovableVolume &volume, bool anyVolume)
{
    if (!volume.isMounted())
        return false;
    if (anyVolume)
        return true;
    // Cameras write "DCIM"; file systems that ignore case show it as the camera wrote it.
    const QStringList folders =
        QDir(volume.mountPoint).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &folder : folders)
        if (folder.compare(QLatin1String("DCIM"), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

QString CardArrivals::autoIngestPreset(SetupController &presets)
{
    const QString current = presets.currentSetupName();
    QStringList order = presets.presets();
    if (order.contains(current)) {
        order.removeAll(current);
        order.prepend(current);
    }
    for (const QString &name : std::as_const(order)) {
        if (presets.presetFileProblem(name))
            continue;
        if (const auto dict = Setup::readFile(presets.presetPath(name)); dict && isMarked(*dict))
            return name;
    }
    return QString();
}

std::optional<QString> CardArrivals::setAutoIngestPreset(SetupController &presets,
                                                         const QString &name)
{
    const auto marked = [](QVariantMap dict, bool on) {
        if (on)
            dict.insert(kAutoIngest, QStringLiteral("YES"));
        else
            dict.remove(kAutoIngest);
        return dict;
    };
    for (const QString &preset : presets.presets()) {
        const bool wanted = preset == name;
        const QString path = presets.presetPath(preset);
        const std::optional<QVariantMap> dict = Setup::readFile(path);
        if (!dict || isMarked(*dict) == wanted)
            continue;
        // The preset in use is saved as the preset window saves it, so it keeps the mark
        // and the next save from the window is not taken for someone else's change on disk.
        if (preset == presets.currentSetupName() && preset == presets.loadedName()) {
            const QVariantMap before = presets.currentSetup().dict();
            presets.currentSetup().setDict(marked(before, wanted));
            if (!presets.newOrUpdatePreset(preset)) {
                presets.currentSetup().setDict(before);
                return formatMessage("The preset \"%@\" was not saved.", preset);
            }
            continue;
        }
        if (!Setup::writeFile(path, marked(*dict, wanted)))
            return formatMessage("The preset \"%@\" could not be saved to %@.", preset, path);
    }
    return std::nullopt;
}

bool CardArrivals::mounted(const RemovableVolume &volume)
{
    if (!Prefs::boolean(Prefs::OfferCards) ||
        !isOffered(volume, Prefs::boolean(Prefs::OfferAnyRemovableVolume)))
        return false;
    for (const RemovableVolume &waiting : std::as_const(m_waiting))
        if (waiting.objectPath == volume.objectPath)
            return true;
    m_waiting.append(volume);
    return true;
}

void CardArrivals::unmounted(const RemovableVolume &volume)
{
    m_waiting.removeIf(
        [&](const RemovableVolume &waiting) { return waiting.objectPath == volume.objectPath; });
}

std::optional<CardOffer> CardArrivals::takeNext(SetupController &presets)
{
    if (m_waiting.isEmpty())
        return std::nullopt;
    CardOffer offer;
    offer.volume = m_waiting.takeFirst();
    if (Prefs::boolean(Prefs::AutoIngestCards))
        offer.autoIngestPreset = autoIngestPreset(presets);
    return offer;
}

QString CardArrivals::promptText(const RemovableVolume &volume)
{
    return formatMessage("Ingest from %@?", volume.name());
}

EjectReport CardArrivals::ejectReport(const RemovableVolume &volume, const EjectResult &result)
{
    EjectReport report;
    const QString name = volume.name();
    switch (result.status) {
    case EjectResult::Ejected:
        report.logLine = formatMessage("\nCard \"%@\" ejected: it can be removed now.\n", name);
        break;
    case EjectResult::Busy:
        report.failed = true;
        report.alertTitle = formatMessage("Can't eject \"%@\".", name);
        report.alertMessage = QStringLiteral(
            "The card is in use: a program or a window still has files or folders on it open. "
            "Close them and eject the card again.");
        break;
    case EjectResult::Failed:
        report.failed = true;
        report.alertTitle = formatMessage("Can't eject \"%@\".", name);
        report.alertMessage = result.detail;
        break;
    }
    if (report.failed)
        report.logLine = formatMessage("\nERROR: %@ %@\n", report.alertTitle, report.alertMessage);
    return report;
}
