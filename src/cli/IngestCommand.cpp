#include "cli/CliOutput.h"
#include "cli/CommandRegistry.h"
#include "cli/PresetChoice.h"
#include "cli/TerminalUserInterface.h"
#include "geo/TimeZoneValue.h"
#include "geo/TrackManagerController.h"
#include "ingest/IngestFiles.h"
#include "ingest/MetadataPreviewController.h"
#include "items/SelectionEditor.h"
#include "metadata/Metadata.h"
#include "platform/NotificationCenter.h"
#include "presets/SetupController.h"
#include "sources/CameraLookup.h"
#include "sources/ChooseInput.h"

#include <QEventLoop>
#include <QFileInfo>

namespace {

const char *const kOptionsHelp =
    "SOURCE is a folder (a mounted card) or camera:NAME (see \"brindlewick-cli cameras\").\n"
    "Every offered file is ticked unless the preset's file-type filter excludes it.\n"
    "\n"
    "Options:\n"
    "  --preset NAME          use this preset (default: the desktop program's current one)\n"
    "  --newest-day           tick only the files of the newest day\n"
    "  --caption TEXT         the caption of every ticked file\n"
    "  --keywords TEXT        the keywords of every ticked file\n"
    "  --set FIELD=VALUE      any catalogue or custom field (repeatable)\n"
    "  --timezone \"ZONE[ DST]\" the camera clock's zone, e.g. \"Europe/Berlin DST\"\n"
    "  --time-adjust SECONDS  camera-clock correction (true time minus camera time)\n"
    "  --no-verify-copies     do not read copies back to compare them with their sources\n"
    "                         (the preference \"VerifyCopies\" is used otherwise)\n"
    "  --json                 (ingest) end with a JSON summary on standard output; the\n"
    "                         console lines go to standard error then\n"
    "\n"
    "Exit status: 0 success, 1 error, 2 usage, 3 cancelled, 4 missing required data.\n";

const QString kIngestUsage = QStringLiteral("Usage: brindlewick-cli ingest [OPTIONS] SOURCE\n\n"
                                            "Ingests SOURCE as the desktop program's Ingest "
                                            "button does. Ctrl-C stops after the\n"
                                            "current file.\n\n") +
                             QString::fromUtf8(kOptionsHelp);
const QString kPreviewUsage =
    QStringLiteral("Usage: brindlewick-cli preview [OPTIONS] SOURCE\n\n"
                   "Prints the preview text of every ticked file and how many lack required\n"
                   "data, copying nothing (exit status 4 when some do).\n\n") +
    QString::fromUtf8(kOptionsHelp);

const QString kTimeZoneKey = QStringLiteral("TimeZone");

struct RunOptions
{
    QString source;
    std::optional<QString> preset;
    bool newestDay = false;
    QVariantMap values; // field key to value, for every ticked item
    qint64 timeAdjust = 0;
    bool noVerifyCopies = false;
    bool json = false;
};

// Parses the shared options; an error text on a usage fault.
std::optional<QString> parseOptions(const QStringList &args, RunOptions &out)
{
    QStringList rest;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        const bool takesValue =
            arg == QLatin1String("--preset") || arg == QLatin1String("--caption") ||
            arg == QLatin1String("--keywords") || arg == QLatin1String("--set") ||
            arg == QLatin1String("--timezone") || arg == QLatin1String("--time-adjust");
        if (arg == QLatin1String("--newest-day")) {
            out.newestDay = true;
            continue;
        }
        if (arg == QLatin1String("--no-verify-copies")) {
            out.noVerifyCopies = true;
            continue;
        }
        if (arg == QLatin1String("--json")) {
            out.json = true;
            continue;
        }
        if (!takesValue) {
            if (arg.startsWith(QLatin1String("--")))
                return QStringLiteral("unknown option \"%1\"").arg(arg);
            rest.append(arg);
            continue;
        }
        if (i + 1 >= args.size())
            return QStringLiteral("%1 needs a value").arg(arg);
        const QString value = args[++i];
        if (arg == QLatin1String("--preset")) {
            out.preset = value;
        } else if (arg == QLatin1String("--caption")) {
            out.values[SelectionEditor::kCaptionKey] = value;
        } else if (arg == QLatin1String("--keywords")) {
            out.values[SelectionEditor::kKeywordsKey] = value;
        } else if (arg == QLatin1String("--timezone")) {
            out.values[kTimeZoneKey] = value;
        } else if (arg == QLatin1String("--time-adjust")) {
            bool ok = false;
            out.timeAdjust = value.toLongLong(&ok);
            if (!ok)
                return QStringLiteral("--time-adjust needs whole seconds");
        } else {
            const qsizetype eq = value.indexOf(QLatin1Char('='));
            if (eq <= 0)
                return QStringLiteral("--set needs FIELD=VALUE");
            const auto key = Metadata::catalogueKeyFor(value.left(eq));
            if (!key)
                return QStringLiteral("unknown field \"%1\"").arg(value.left(eq));
            out.values[*key] = value.mid(eq + 1);
        }
    }
    // A zone the time-zone database does not know would geotag every image hours off.
    if (out.values.contains(kTimeZoneKey)) {
        const QString zone = out.values.value(kTimeZoneKey).toString();
        const std::optional<QString> known = TimeZoneValue::normalized(zone);
        if (!known && !zone.trimmed().isEmpty())
            return TimeZoneValue::unknownZoneMessage(zone) + QLatin1Char(' ') +
                   TimeZoneValue::expectedForm();
        if (!known)
            return QStringLiteral("the time zone is empty");
        out.values[kTimeZoneKey] = *known;
    }
    if (rest.size() != 1)
        return QStringLiteral("expected one SOURCE");
    out.source = rest[0];
    return std::nullopt;
}

// The preset as the run uses it: the fields given on the command line join its "Metadata" (with
// an empty text, so the given value is the one generated) and reach every file even when the
// preset does not carry them. The preset file itself is not changed.
Setup withGivenFields(const Setup &preset, const QVariantMap &values)
{
    Setup setup = preset;
    if (values.isEmpty())
        return setup;
    const QString metadataKey = QLatin1String(SetupKeys::Metadata);
    QVariantMap metadata = setup.paramDict(metadataKey);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        if (!metadata.contains(it.key()))
            metadata.insert(it.key(), QString());
    setup.setParam(metadataKey, metadata);
    return setup;
}

// Everything a run needs alive until it ends: the preset manager, the chooser, the camera.
struct Session
{
    SetupController presets;
    ThumbItemList items;
    ChooseInput chooser;
    CameraDevice *camera = nullptr;
};

// Loads the preset and fills `session.items` from the source, filtered and ticked as the
// desktop program leaves them; the exit status on failure.
std::optional<int> prepare(const CliCommand &self, const RunOptions &options, Session &session)
{
    if (const auto status = choosePreset(self, session.presets, options.preset, ExitUsage))
        return *status;
    Setup &setup = session.presets.currentSetup();
    const QSet<QString> inclusions =
        SelectionEditor::parseInclusions(setup.paramString(QStringLiteral("Inclusions")));

    session.chooser.setMImageBrowserController(&session.items);
    session.chooser.setInclusions(inclusions);
    if (options.source.startsWith(QLatin1String("camera:"))) {
        const QString wanted = options.source.mid(7);
        session.camera = CameraLookup::findCamera(CameraLookup::detectCameras(), wanted);
        if (!session.camera) {
            printErr(
                QStringLiteral("brindlewick-cli %1: no camera \"%2\"\n").arg(self.name, wanted));
            return ExitError;
        }
        if (const auto error = CameraLookup::openAndWait(session.camera)) {
            printErr(QStringLiteral("brindlewick-cli %1: %2\n").arg(self.name, *error));
            return ExitError;
        }
        CameraLookup::waitForExtras(session.camera);
        session.items.clear();
        for (const CameraFilePtr &file : session.camera->mediaFiles()) {
            ThumbItemPtr item = ThumbItem::initWithImage(file->thumbnail());
            item->cameraFile = file;
            item->metadata = file->metadata();
            session.items.append(item);
        }
    } else {
        if (!QFileInfo(options.source).isDir()) {
            printErr(QStringLiteral("brindlewick-cli %1: %2: no such folder\n")
                         .arg(self.name, options.source));
            return ExitError;
        }
        if (!session.chooser.doPath(QFileInfo(options.source).absoluteFilePath()))
            return ExitError;
    }
    for (const ThumbItemPtr &item : std::as_const(session.items))
        item->setExclusionFlag(inclusions);

    if (options.newestDay) {
        SelectionEditor::checkNone(session.items);
        const QStringList days = SelectionEditor::datesOf(session.items);
        if (!days.isEmpty())
            for (int i : SelectionEditor::indexesOfDate(session.items, days.last()))
                if (!session.items[i]->excluded)
                    session.items[i]->checked = true;
    } else {
        SelectionEditor::checkAll(session.items);
    }
    for (const ThumbItemPtr &item : std::as_const(session.items)) {
        if (!item->checked || options.values.isEmpty())
            continue;
        QVariantMap user = item->metadataUser.value_or(QVariantMap());
        user.insert(options.values);
        item->metadataUser = user;
    }
    TrackManagerController::sharedInstance().setTimeAdjustment(options.timeAdjust);
    return std::nullopt;
}

// A run that went well over a card with unreadable sub-folders did not take the whole card:
// the status says so (the folders were named when the card was listed).
int skippedFoldersStatus(const CliCommand &self, const Session &session)
{
    const qsizetype skipped = session.chooser.skippedFolders().size();
    if (skipped == 0)
        return ExitSuccess;
    printErr(QStringLiteral("brindlewick-cli %1: %2 folder(s) of the source could not be read; "
                            "their files were not offered\n")
                 .arg(self.name)
                 .arg(skipped));
    return ExitError;
}

int runIngestOrPreview(const QStringList &args, bool preview)
{
    const CliCommand &self =
        *CommandRegistry::find(preview ? QStringLiteral("preview") : QStringLiteral("ingest"));
    RunOptions options;
    if (const auto error = parseOptions(args, options))
        return usageError(self, *error);
    if (options.json && preview)
        return usageError(self, QStringLiteral("--json is for ingest"));
    StdoutLogPane::setToStderr(options.json);

    TerminalUserInterface ui;
    UserInterface::setInstance(&ui);
    struct Reset
    {
        ~Reset() { UserInterface::setInstance(nullptr); }
    } reset;
    TerminalUserInterface::installInterruptHandler();

    Session session;
    if (const auto status = prepare(self, options, session))
        return *status;
    const Setup setup = withGivenFields(session.presets.currentSetup(), options.values);

    IngestFiles engine;
    engine.setItems(session.items);
    if (options.noVerifyCopies)
        engine.setVerifyCopies(false);
    if (session.camera) {
        CameraDevice *camera = session.camera;
        engine.setCameraDownloader([camera, &engine](const ThumbItemPtr &item,
                                                     const QString &folder, const QString &name) {
            if (!item->cameraFile)
                return false;
            DownloadOptions request{folder, name};
            request.verify = engine.verifyCopies();
            camera->requestDownloadFile(
                item->cameraFile, request, [&engine, item](const DownloadResult &result) {
                    QVariantMap done;
                    done[IngestFiles::DownloadFolderKey] = result.options.downloadsDirectory;
                    done[IngestFiles::SavedFilenameKey] = result.options.saveAsFilename;
                    engine.didDownloadFile(result.error, done, item);
                });
            return true;
        });
    }

    if (preview) {
        if (SelectionEditor::countChecked(session.items) == 0) {
            ui.alert(QStringLiteral("Nothing to preview."),
                     QStringLiteral("Choose some images to ingest."), AlertStyle::Informational);
            return ExitError;
        }
        engine.go(setup, true);
        MetadataPreviewController controller;
        controller.items = engine.items();
        controller.numMissingData = engine.numMissingData();
        if (!controller.go())
            return ExitError;
        for (const ThumbItemPtr &item : std::as_const(controller.itemsChecked))
            printOut(MetadataPreviewController::formatMetadata(*item) + QStringLiteral("\n\n"));
        printOut(QStringLiteral("%1 photos had missing data\n").arg(engine.numMissingData()));
        if (engine.numMissingData() > 0)
            return ExitMissingData;
        return skippedFoldersStatus(self, session);
    }

    // Camera downloads finish after go() returns; the run's end is its notification.
    bool complete = false;
    QEventLoop waitForEnd;
    int token = 0;
    NotificationCenter::defaultCenter().addObserver(&token, QStringLiteral("IngestionComplete"),
                                                    [&](const Notification &) {
                                                        complete = true;
                                                        waitForEnd.quit();
                                                    });
    // Announced only once a run has got past the template and the required-data check.
    bool started = false;
    NotificationCenter::defaultCenter().addObserver(&started, QStringLiteral("UpdateImageMarkers"),
                                                    [&](const Notification &) { started = true; });
    engine.go(setup, false);
    if (!complete && session.camera)
        waitForEnd.exec();
    NotificationCenter::defaultCenter().removeObserver(&token);
    NotificationCenter::defaultCenter().removeObserver(&started);

    int status = ExitError;
    QString statusName = QStringLiteral("error");
    if (engine.cancelled()) {
        status = ExitCancelled;
        statusName = QStringLiteral("cancelled");
    } else if (engine.hadError()) {
        status = ExitError;
    } else if (engine.numMetadataNotWritten() > 0) {
        // Copied but without the caption, keywords or position asked for: not a success.
        status = ExitError;
    } else if (engine.numMissingData() > 0) {
        status = ExitMissingData;
        statusName = QStringLiteral("missing-data");
    } else if (started) {
        status = skippedFoldersStatus(self, session);
        if (status == ExitSuccess)
            statusName = QStringLiteral("success");
    }
    if (options.json)
        printOut(QString::fromUtf8(engine.totals().json(statusName, engine.numCopiedToBackup(),
                                                        engine.numCopiedToBackup2())));
    return status;
}

BRINDLEWICK_CLI_COMMAND(ingestCommand,
                        {QStringLiteral("ingest"),
                         QStringLiteral("ingest a card, folder or camera with a preset"),
                         kIngestUsage,
                         [](const QStringList &args) { return runIngestOrPreview(args, false); }});
BRINDLEWICK_CLI_COMMAND(previewCommand,
                        {QStringLiteral("preview"),
                         QStringLiteral("show what an ingestion would write, copying nothing"),
                         kPreviewUsage,
                         [](const QStringList &args) { return runIngestOrPreview(args, true); }});

} // namespace
