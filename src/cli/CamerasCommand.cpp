#include "cli/CommandRegistry.h"
#include "platform/Format.h"
#include "sources/CameraLookup.h"

namespace {

const char *const kUsage =
    "Usage: brindlewick-cli cameras\n"
    "       brindlewick-cli cameras files NAME\n"
    "\n"
    "(no action)  the connected cameras, one a line, with their number of files\n"
    "files NAME   the files of the camera NAME (or its port) with their dates\n"
    "\n"
    "Folders named in BRINDLEWICK_DISK_CAMERAS (separated by \":\") and in the preference\n"
    "\"DiskCameras\" are shown as cameras too.\n";

int runCameras(const QStringList &args);

BRINDLEWICK_CLI_COMMAND(camerasCommand,
                        {QStringLiteral("cameras"),
                         QStringLiteral("list the connected cameras or one camera's files"),
                         QString::fromUtf8(kUsage), &runCameras});

int listCameras()
{
    const QList<CameraDevice *> cameras = CameraLookup::detectCameras();
    int status = ExitSuccess;
    for (CameraDevice *camera : cameras) {
        const auto error = CameraLookup::openAndWait(camera);
        if (error) {
            printErr(formatMessage("brindlewick-cli cameras: %@: %@\n", camera->name(), *error));
            status = ExitError;
            continue;
        }
        const qsizetype count = camera->mediaFiles().size();
        printOut(formatMessage("%@\t%ld %@\n", camera->name(), long(count),
                               count == 1 ? "file" : "files"));
        camera->requestCloseSession();
    }
    return status;
}

int listFiles(const QString &name)
{
    CameraDevice *camera = CameraLookup::findCamera(CameraLookup::detectCameras(), name);
    if (!camera) {
        printErr(formatMessage("brindlewick-cli cameras: no camera named \"%@\"\n", name));
        return ExitError;
    }
    if (const auto error = CameraLookup::openAndWait(camera)) {
        printErr(formatMessage("brindlewick-cli cameras: %@: %@\n", camera->name(), *error));
        return ExitError;
    }
    for (const CameraFilePtr &file : camera->mediaFiles()) {
        const auto *onCamera = static_cast<const CameraDeviceFile *>(file.get());
        const QDateTime date = file->modificationDate();
        const QString when =
            date.isValid() ? date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                           : QStringLiteral("-");
        QString folder = onCamera->folder();
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        printOut(formatMessage("%@\t%@%@\n", when, folder, file->name()));
    }
    camera->requestCloseSession();
    return ExitSuccess;
}

int runCameras(const QStringList &args)
{
    const CliCommand &self = *CommandRegistry::find(QStringLiteral("cameras"));
    // Only the file lists are wanted here; thumbnails would only cost time.
    CameraService::instance().setFetchesThumbnails(false);
    if (args.isEmpty())
        return listCameras();
    if (args[0] == QLatin1String("files")) {
        if (args.size() != 2)
            return usageError(self, QStringLiteral("files needs one camera name"));
        return listFiles(args[1]);
    }
    return usageError(self, QStringLiteral("unknown action \"%1\"").arg(args[0]));
}

} // namespace
