#include "cli/CommandRegistry.h"
#include "platform/Format.h"
#include "platform/ImageProperties.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const char *const kUsage =
    "Usage: brindlewick-cli info [--json] FILE...\n"
    "\n"
    "Prints the image properties of each FILE (the groups {Exif}, {TIFF}, {GPS},\n"
    "{ExifAux}, maker groups, and the top-level values) as the macros see\n"
    "them. With --json: one JSON object with nested groups, numbers as\n"
    "numbers and lists as arrays; for several files, an array of such objects,\n"
    "each with the file's path under \"SourceFile\". A damaged file gives what\n"
    "could be read and a line on standard error naming what could not.\n";

int runInfo(const QStringList &args);

BRINDLEWICK_CLI_COMMAND(infoCommand,
                        {QStringLiteral("info"), QStringLiteral("print an image's properties"),
                         QString::fromUtf8(kUsage), &runInfo});

// The properties of one file, or nullopt after a message on standard error.
std::optional<QVariantMap> readOne(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        printErr(QStringLiteral("brindlewick-cli info: %1: no such file\n").arg(path));
        return std::nullopt;
    }
    QStringList problems;
    const auto properties = ImageProperties::exif(path, &problems);
    if (!problems.isEmpty()) {
        printErr(QStringLiteral("brindlewick-cli info: %1: damaged: %2\n")
                     .arg(path, problems.join(QLatin1String("; "))));
    }
    if (!properties) {
        printErr(QStringLiteral("brindlewick-cli info: %1: no image properties could be read\n")
                     .arg(path));
    }
    return properties;
}

int runInfo(const QStringList &args)
{
    const CliCommand &self = *CommandRegistry::find(QStringLiteral("info"));
    QStringList files = args;
    const bool json = files.removeAll(QStringLiteral("--json")) > 0;
    if (files.isEmpty())
        return usageError(self, QStringLiteral("expected at least one FILE"));
    for (const QString &file : files) {
        if (file.startsWith(QLatin1Char('-')) && file != QLatin1String("-"))
            return usageError(self, QStringLiteral("unknown option %1").arg(file));
    }

    int status = ExitSuccess;
    if (files.size() == 1) {
        const auto properties = readOne(files.first());
        if (!properties)
            return ExitError;
        if (json)
            printOut(QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(*properties))
                                           .toJson(QJsonDocument::Indented)));
        else
            printOut(describePropertyTree(*properties) + QLatin1Char('\n'));
        return status;
    }
    QJsonArray all;
    for (const QString &file : files) {
        const auto properties = readOne(file);
        if (!properties)
            status = ExitError;
        if (json) {
            QJsonObject object = QJsonObject::fromVariantMap(properties.value_or(QVariantMap()));
            object.insert(QStringLiteral("SourceFile"), file);
            all.append(object);
        } else if (properties) {
            printOut(file + QStringLiteral(":\n") + describePropertyTree(*properties) +
                     QLatin1Char('\n'));
        }
    }
    if (json)
        printOut(QString::fromUtf8(QJsonDocument(all).toJson(QJsonDocument::Indented)));
    return status;
}

} // namespace
