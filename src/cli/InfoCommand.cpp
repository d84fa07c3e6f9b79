#include "cli/CommandRegistry.h"
#include "platform/Format.h"
#include "platform/ImageProperties.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char *const kUsage =
    "Usage: brindlewick-cli info [--json] FILE\n"
    "\n"
    "Prints the image properties of FILE (the groups {Exif}, {TIFF}, {GPS},\n"
    "{ExifAux}, maker groups, and the top-level values) as the macros see\n"
    "them. With --json: one JSON object with nested groups, numbers as\n"
    "numbers and lists as arrays.\n";

int runInfo(const QStringList &args);

BRINDLEWICK_CLI_COMMAND(infoCommand,
                        {QStringLiteral("info"), QStringLiteral("print an image's properties"),
                         QString::fromUtf8(kUsage), &runInfo});

int runInfo(const QStringList &args)
{
    const CliCommand &self = *CommandRegistry::find(QStringLiteral("info"));
    if (wantsHelp(args)) {
        printOut(self.usage);
        return ExitSuccess;
    }
    QStringList rest = args;
    const bool json = rest.removeAll(QStringLiteral("--json")) > 0;
    if (rest.size() != 1 || rest[0].startsWith(QLatin1Char('-')))
        return usageError(self, QStringLiteral("expected one FILE"));
    const QString path = rest[0];
    if (!QFileInfo(path).isFile()) {
        printErr(QStringLiteral("brindlewick-cli info: %1: no such file\n").arg(path));
        return ExitError;
    }
    const auto properties = ImageProperties::exif(path);
    if (!properties) {
        printErr(QStringLiteral("brindlewick-cli info: %1: no image properties could be read\n")
                     .arg(path));
        return ExitError;
    }
    if (json) {
        printOut(QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(*properties))
                                       .toJson(QJsonDocument::Indented)));
    } else {
        printOut(describePropertyTree(*properties) + QLatin1Char('\n'));
    }
    return ExitSuccess;
}

} // namespace
