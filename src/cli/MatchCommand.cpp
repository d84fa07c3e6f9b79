#include "cli/CommandRegistry.h"
#include "cli/TerminalAlerts.h"
#include "geo/TimeZoneValue.h"
#include "geo/TrackManagerController.h"
#include "items/ThumbItem.h"
#include "macro/MacroProcessor.h"
#include "platform/DateReader.h"

#include <QFileInfo>

namespace {

const char *const kUsage =
    "Usage: brindlewick-cli match [--zone ZONE] [--adjust SECONDS] IMAGE...\n"
    "\n"
    "Matches each image's capture time against the stored GPX tracks, as an ingestion with\n"
    "geotagging would, and prints the outcome and the position found.\n"
    "\n"
    "--zone ZONE        the camera clock's time zone, e.g. \"Europe/Berlin\" or\n"
    "                   \"Europe/Berlin DST\" (default: this computer's zone)\n"
    "--adjust SECONDS   the camera-clock correction to add (true time minus camera time)\n"
    "\n"
    "Exit status: 1 when an image is missing or a GPX file could not be read, 2 for a usage\n"
    "fault such as an unknown time zone.\n";

int runMatch(const QStringList &args);

BRINDLEWICK_CLI_COMMAND(matchCommand,
                        {QStringLiteral("match"),
                         QStringLiteral("show where the stored tracks place some images"),
                         QString::fromUtf8(kUsage), &runMatch});

int runMatch(const QStringList &args)
{
    const CliCommand &self = *CommandRegistry::find(QStringLiteral("match"));
    std::optional<QString> zone;
    qint64 adjustment = 0;
    QStringList images;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--zone") || args[i] == QLatin1String("--adjust")) {
            if (i + 1 >= args.size())
                return usageError(self, QStringLiteral("%1 needs a value").arg(args[i]));
            if (args[i] == QLatin1String("--zone")) {
                zone = args[++i];
            } else {
                bool ok = false;
                adjustment = args[++i].toLongLong(&ok);
                if (!ok)
                    return usageError(self, QStringLiteral("--adjust needs whole seconds"));
            }
        } else {
            images.append(args[i]);
        }
    }
    if (images.isEmpty())
        return usageError(self, QStringLiteral("no image given"));
    if (zone) {
        const std::optional<QString> known = TimeZoneValue::normalized(*zone);
        if (!known)
            return usageError(self, TimeZoneValue::unknownZoneMessage(*zone) + QLatin1Char(' ') +
                                        TimeZoneValue::expectedForm());
        zone = known;
    }

    TerminalAlerts alerts;
    MacroProcessor macros;
    TrackManagerController &store = TrackManagerController::sharedInstance();
    store.setTimeAdjustment(adjustment);
    int result = ExitSuccess;
    for (const QString &image : std::as_const(images)) {
        const QString path = QFileInfo(image).absoluteFilePath();
        if (!QFileInfo(path).isFile()) {
            printErr(QStringLiteral("brindlewick-cli match: no such file: %1\n").arg(image));
            result = ExitError;
            continue;
        }
        const ThumbItemPtr item = ThumbItem::initWithPath(path);
        // The camera time is read exactly as an ingestion reads it before geotagging.
        const bool hasTime = macros.getExifDatetime(*item);
        store.geotag(*item, zone);
        QString line = item->title() + QStringLiteral(": ");
        line += hasTime ? DateReader::fromReference(item->exifDatetime)
                              .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                        : QStringLiteral("no capture time");
        line += QStringLiteral(": ") + item->gpsMessage;
        if (item->gpsMessage == QLatin1String("Automatically geotagged"))
            line += QString::asprintf(" %.6f %.6f %.1f", item->gpsLat, item->gpsLon, item->gpsEle);
        printOut(line + QLatin1Char('\n'));
    }
    // A GPX file that could not be read was alerted: the outcomes above may be incomplete.
    if (!alerts.alerts.isEmpty())
        result = ExitError;
    return result;
}

} // namespace
