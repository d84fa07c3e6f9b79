#include "ingest/IngestFiles.h"

#include "geo/Geotag.h"
#include "ingest/DngConverter.h"
#include "ingest/JpegHeadRewrite.h"
#include "ingest/JpegVerify.h"
#include "ingest/MetadataWriter.h"
#include "items/Companions.h"
#include "items/UserValues.h"
#include "log/ConsoleLog.h"
#include "log/IngestionLogController.h"
#include "macro/MacroProcessor.h"
#include "metadata/ECPrefsController.h"
#include "metadata/Metadata.h"
#include "metadata/Prefs.h"
#include "platform/AtomicFile.h"
#include "platform/NotificationCenter.h"
#include "platform/SystemLog.h"
#include "platform/UserInterface.h"
#include "sources/CameraService.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <future>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <system_error>
#include <unistd.h>

namespace {

QString g_templateResource = QStringLiteral(":/XMPtemplate.xmp");
IngestFiles::PropertyReader g_propertyReader;

const QString kRequiredMarker = QStringLiteral("{@Required}");

// The properties that must agree for an existing file to be the same picture as an item.
const char *const kDuplicateProperties[] = {
    "{ExifAux}.FocusDistance", "{ExifAux}.ImageNumber", "{Exif}.DateTimeDigitized",
    "{Exif}.DateTimeOriginal", "{Exif}.ExposureTime",   "{Exif}.FNumber",
    "{GPS}.Latitude",          "{GPS}.Longitude",       "{TIFF}.DateTime"};

// An entry exists under this name, whatever it is (a dangling link counts too).
bool entryExists(const QString &path)
{
    struct stat st;
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

std::optional<QVariant> propertyAt(const QVariantMap &properties, const QString &path)
{
    const int dot = path.indexOf(QLatin1Char('.'));
    const QVariant group = properties.value(path.left(dot));
    if (!group.isValid())
        return std::nullopt;
    const QVariantMap map = group.toMap();
    const auto it = map.constFind(path.mid(dot + 1));
    if (it == map.constEnd() || !it->isValid())
        return std::nullopt;
    return *it;
}

QString joinPath(const QString &folder, const QString &name)
{
    if (folder.isEmpty())
        return name;
    if (name.isEmpty())
        return folder;
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

QString extensionOf(const QString &name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

bool isInside(const QString &path, const QString &root)
{
    const QString base = root.endsWith(QLatin1Char('/')) ? root.chopped(1) : root;
    return path == base || path.startsWith(base + QLatin1Char('/'));
}

// `folder` (inside `root`) relative to `root`.
QString relativeInside(const QString &folder, const QString &root)
{
    QString relative = folder.mid(root.endsWith(QLatin1Char('/')) ? root.size() - 1 : root.size());
    if (relative.startsWith(QLatin1Char('/')))
        relative.remove(0, 1);
    return relative;
}

// Whether a name is one the completion of the copy at `target` may take: its companions,
// sidecars and metadata files are all named from its base name (case-blind, to be safe).
bool mayMeet(const QString &candidate, const QString &target)
{
    const QFileInfo a(candidate);
    const QFileInfo b(target);
    if (a.absolutePath().compare(b.absolutePath(), Qt::CaseInsensitive) != 0)
        return false;
    const auto stem = [](const QString &name) {
        return name.section(QLatin1Char('.'), 0, 0).toCaseFolded();
    };
    const QString x = stem(a.fileName());
    const QString y = stem(b.fileName());
    return x.startsWith(y) || y.startsWith(x);
}

bool sameStamp(const ManifestBook::Stamp &a, const ManifestBook::Stamp &b)
{
    return a.valid && b.valid && a.size == b.size && a.mtimeNs == b.mtimeNs &&
           a.ctimeNs == b.ctimeNs && a.inode == b.inode;
}

void post(const char *name, const IngestFiles *sender)
{
    NotificationCenter::defaultCenter().post(QString::fromLatin1(name), sender);
}

void alertOK(const QString &title, const QString &message = QString())
{
    UserInterface::instance().alert(title, message);
}

} // namespace

const QString IngestFiles::DownloadFolderKey = QStringLiteral("DownloadFolder");
const QString IngestFiles::SavedFilenameKey = QStringLiteral("SavedFilename");

IngestFiles::IngestFiles() : m_macroProcessor(std::make_unique<MacroProcessor>())
{
    m_folderOpener = [](const QString &application, const QString &folder) {
        QProcess::startDetached(application, {folder});
    };
}

IngestFiles::~IngestFiles()
{
    NotificationCenter::defaultCenter().removeObserver(this);
}

void IngestFiles::setTemplateResource(const QString &path)
{
    g_templateResource = path;
}

void IngestFiles::setPropertyReader(PropertyReader reader)
{
    g_propertyReader = std::move(reader);
}

// ---------------------------------------------------------------------------------------------
// Paths

QString IngestFiles::expandTilde(const QString &path)
{
    if (path == QLatin1String("~"))
        return QDir::homePath();
    if (path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

QString IngestFiles::joinInsideRoot(const QString &root, const QString &subFolder)
{
    QStringList kept;
    for (const QString &part : subFolder.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (part != QLatin1String(".") && part != QLatin1String(".."))
            kept << part;
    }
    return joinPath(root, kept.join(QLatin1Char('/')));
}

QString IngestFiles::missingVolume(const QString &path)
{
    const QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (!path.startsWith(QLatin1Char('/')) || parts.isEmpty())
        return QString();
    int depth = 0; // components of the mount point
    if (parts[0] == QLatin1String("Volumes") || parts[0] == QLatin1String("mnt"))
        depth = 2;
    else if (parts[0] == QLatin1String("media"))
        depth = 3;
    else if (parts[0] == QLatin1String("run") && parts.size() > 1 &&
             parts[1] == QLatin1String("media"))
        depth = 4;
    if (depth == 0 || parts.size() < depth)
        return QString();
    const QString mountPoint = QLatin1Char('/') + parts.mid(0, depth).join(QLatin1Char('/'));
    const QString parent = QLatin1Char('/') + parts.mid(0, depth - 1).join(QLatin1Char('/'));
    struct stat mountStat, parentStat;
    // A mount point lies on another device than its parent; a plain folder here would put the
    // card's files on the system disk.
    if (::stat(QFile::encodeName(mountPoint).constData(), &mountStat) != 0 ||
        !S_ISDIR(mountStat.st_mode) ||
        ::stat(QFile::encodeName(parent).constData(), &parentStat) != 0 ||
        mountStat.st_dev == parentStat.st_dev)
        return parts[depth - 1];
    return QString();
}

// ---------------------------------------------------------------------------------------------
// Start of a run

bool IngestFiles::loadTemplate()
{
    if (m_templateLoaded)
        return true;
    QFile file(g_templateResource);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    m_xmpTemplate = QString::fromUtf8(file.readAll());
    m_templateLoaded = file.error() == QFileDevice::NoError;
    return m_templateLoaded;
}

void IngestFiles::go(const Setup &setup, bool preview)
{
    m_preview = preview;
    m_firstFile.clear();
    m_lastFile.clear();
    m_firstImageFolder.clear();
    IngestionLogController::log();
    Geotag::resetTimeZoneWarning();

    const bool haveTemplate = loadTemplate();
    if (!preview) {
        logClear();
        logPuts("Ingestion starting...\n");
    }
    if (!haveTemplate) {
        logPuts("\nERROR: Can't access XMP template -- ingestion can't proceed. Please contact "
                "support.\n");
        IngestionLogController::log(
            "ERROR: Can't access XMP template -- ingestion can't proceed. Please contact support.");
        post("IngestionComplete", this);
        return;
    }

    m_activeSetup = setup;
    waitForMetadata();

    if (!preview && !checkRequired()) {
        alertOK(QStringLiteral("One or more photos have missing data."),
                QStringLiteral("Click Preview button for details."));
        post("IngestionComplete", this);
        return;
    }

    storeIngestedFile(QString(), QString());
    m_numTotal = 0;
    for (const ThumbItemPtr &item : m_items) {
        if (item->checked)
            ++m_numTotal;
        item->ingested = false;
    }
    post("UpdateImageMarkers", this);

    if (!preview) {
        ProgressOptions options;
        options.message = formatMessage("Ingesting %d files.", m_numTotal);
        options.max = m_numTotal;
        m_session = UserInterface::instance().beginProgress(options);
    }

    go2();

    if (preview)
        checkRequired();
    // With camera downloads still to come, the end of the run removes it after the second stage.
    if (m_downloadsCompleted || preview)
        removeTempDir();
}

bool IngestFiles::metadataAvailable()
{
    for (const ThumbItemPtr &item : m_items) {
        item->loadMetadata();
        if (!item->metadata)
            return false;
    }
    return true;
}

void IngestFiles::waitForMetadata()
{
    if (metadataAvailable())
        return;
    UserInterface &ui = UserInterface::instance();
    const int token = NotificationCenter::defaultCenter().addObserver(
        this, QStringLiteral("MetadataHasArrived"), [this, &ui](const Notification &) {
            if (m_showingWaitWindow && metadataAvailable()) {
                m_showingWaitWindow = false;
                ui.endWait();
            }
        });
    m_showingWaitWindow = true;
    const int timeout = static_cast<int>((m_items.size() + 9) / 10);
    const WaitOutcome outcome = ui.waitModally(QStringLiteral("Reading metadata..."), timeout);
    NotificationCenter::defaultCenter().removeObserverToken(token);
    if (outcome == WaitOutcome::TimedOut && m_showingWaitWindow)
        alertOK(QStringLiteral("Unable to retrieve metadata for one or more images."));
    m_showingWaitWindow = false;
}

bool IngestFiles::checkRequired()
{
    m_numMissingData = 0;
    for (const ThumbItemPtr &item : m_items) {
        if (!item->checked)
            continue;
        generateMetadataFor(*item, m_activeSetup);
        bool missing = false;
        for (const QVariant &value : std::as_const(item->metadataGenerated))
            missing = missing || value.toString().contains(kRequiredMarker);
        item->metadataGenerated.insert(QStringLiteral("MissingData"),
                                       missing ? QStringLiteral("yes") : QStringLiteral("no"));
        if (missing)
            ++m_numMissingData;
    }
    if (!m_preview && m_numMissingData > 0) {
        logPrint("%d photos had missing data\n", m_numMissingData);
        IngestionLogController::log("%d photos had missing data", m_numMissingData);
    }
    return m_numMissingData == 0;
}

void IngestFiles::generateMetadataFor(ThumbItem &item, const Setup &setup)
{
    item.metadataGenerated = QVariantMap();
    QVariantMap macros = setup.paramDict(QStringLiteral("Metadata"));
    // A value the user gave for a catalogue field the preset does not carry is still written:
    // what was typed for an image never vanishes because the preset lacks the field.
    if (item.metadataUser) {
        for (auto it = item.metadataUser->cbegin(); it != item.metadataUser->cend(); ++it) {
            if (!macros.contains(it.key()) && Metadata::catalogueKeyFor(it.key()) == it.key())
                macros.insert(it.key(), QString());
        }
    }
    for (auto it = macros.constBegin(); it != macros.constEnd(); ++it) {
        const QString source = UserValues::sourceText(item, it.key(), it.value().toString());
        if (source.isEmpty())
            continue;
        const QString value = m_macroProcessor->expand(source, item, setup);
        if (!value.isEmpty())
            item.metadataGenerated.insert(it.key(), value);
    }
}

void IngestFiles::computeShoot(ThumbItem &item, const Setup &setup)
{
    const QString key = QStringLiteral("Shoot");
    item.shoot = UserValues::sourceText(
        item, key, setup.paramDict(QStringLiteral("Metadata")).value(key).toString());
}

void IngestFiles::geotag(ThumbItem &item)
{
    if (item.gpsManuallyGeotagged)
        return;
    if (m_activeSetup.paramBool(QStringLiteral("GeoTag"))) {
        item.loadMetadata();
        m_macroProcessor->getExifDatetime(item);
        Geotag::geotag(item);
    } else {
        item.gpsLat = 0.0;
        item.gpsLon = 0.0;
        item.gpsEle = 0.0;
        item.gpsMessage.clear();
    }
}

void IngestFiles::storeIngestedFile(const QString &name, const QString &dir)
{
    if (name.isEmpty() && dir.isEmpty()) {
        m_ingestedFiles.clear();
        m_ingestedFolders.clear();
        m_companionCopies.clear();
        return;
    }
    if (name.isEmpty() || dir.isEmpty())
        return;
    if (m_firstImageFolder.isEmpty())
        m_firstImageFolder = dir;
    auto it = m_ingestedFiles.find(dir);
    if (it == m_ingestedFiles.end()) {
        it = m_ingestedFiles.insert(dir, QStringList());
        m_ingestedFolders << dir;
    }
    it->append(name);
}

struct IngestFiles::InFlight
{
    ThumbItemPtr item;
    QString folder;
    QString target;
    qsizetype position = 0;
    std::optional<JpegStreamCheck> jpegCheck;
    std::optional<QByteArray> xmp;
    PendingCopyPtr copy;
    // Whether the copy came out of its sync and read-back clean; nullopt when its settling was
    // left to its landing.
    std::shared_future<std::optional<bool>> settled;

    ~InFlight()
    {
        // The worker lets go of the copy before its temporary can be taken away.
        if (settled.valid())
            settled.wait();
    }
};

void IngestFiles::InFlightDelete::operator()(InFlight *flight) const
{
    delete flight;
}

void IngestFiles::unstoreIngestedFile(const QString &name, const QString &dir, bool forgetDir)
{
    auto it = m_ingestedFiles.find(dir);
    if (it == m_ingestedFiles.end())
        return;
    const qsizetype at = it->lastIndexOf(name);
    if (at >= 0)
        it->removeAt(at);
    if (forgetDir) {
        m_ingestedFiles.erase(it);
        m_ingestedFolders.removeAll(dir);
    }
}

QString IngestFiles::baseNameFor(ThumbItem &item, const QString &fileMacro, bool *keptOriginal)
{
    QString base = m_macroProcessor->expand(fileMacro, item, m_activeSetup);
    const QString extension = extensionOf(item.title());
    *keptOriginal = base.trimmed().isEmpty();
    if (*keptOriginal) {
        // An empty name would make a hidden ".JPG"; the camera's own name is kept instead.
        base = extension.isEmpty() ? item.title() : item.title().chopped(extension.size() + 1);
    }
    return base.replace(QLatin1Char('/'), QLatin1Char('_'))
        .replace(QLatin1Char(':'), QLatin1Char('_'));
}

IngestFiles::NameChoice IngestFiles::chooseName(const ThumbItem &item, const QString &folder,
                                                const QString &base, const QString &extension) const
{
    NameChoice choice;
    for (int n = 0; n < 1000; ++n) {
        QString candidate = n == 0 ? base : base + QStringLiteral("_%1").arg(n);
        if (!extension.isEmpty())
            candidate += QLatin1Char('.') + extension;
        choice.name = candidate;
        const QString candidatePath = joinPath(folder, candidate);
        choice.tried << candidatePath;
        if (!entryExists(candidatePath))
            break;
        if (isDuplicate(item, candidatePath)) {
            choice.duplicate = true;
            break;
        }
    }
    return choice;
}

bool IngestFiles::mayOverlap(const ThumbItem &item, const InFlight &flight, qint64 counter,
                             const QString &folderMacro, const QString &fileMacro)
{
    // The copy in flight must complete without meeting this item's files and without finding
    // the disk fuller than a run in series would have left it. So no companions and no ExifTool
    // run after it; metadata written after the copy (a raw's sidecar, the XMP merged into a JPEG
    // that took no new head) only with room to spare for it besides this item's copies.
    const ThumbItem &done = *flight.item;
    if (!flight.copy || !done.companions.isEmpty() || embedsPositionInCopy(done))
        return false;
    if (item.isCameraItem())
        return false;
    if (hasMetadataToWrite(done) && !SafeCopier::isRewriting(*flight.copy) &&
        !roomBeside(flight, item))
        return false;
    // This item's folder and name, worked out on a copy of it exactly as the loop will.
    ThumbItem probe = item;
    const Setup &setup = m_activeSetup;
    computeShoot(probe, setup);
    probe.index = counter;
    const QString folder =
        joinInsideRoot(m_topFolder, m_macroProcessor->expand(folderMacro, probe, setup));
    if (!missingVolume(folder).isEmpty() || !QFileInfo(folder).isDir() || !m_copier.swept(folder))
        return false;
    bool keptOriginal = false;
    const QString base = baseNameFor(probe, fileMacro, &keptOriginal);
    if (keptOriginal)
        return false;
    const NameChoice choice = chooseName(probe, folder, base, extensionOf(probe.title()));
    if (choice.duplicate || choice.name.isEmpty() || entryExists(joinPath(folder, choice.name)))
        return false;
    for (const QString &path : choice.tried)
        if (mayMeet(path, flight.target))
            return false;
    for (const QString &later : laterTreeFolders(folder, choice.name))
        if (!QFileInfo(later).isDir() || !m_copier.swept(later))
            return false;
    return true;
}

bool IngestFiles::roomBeside(const InFlight &flight, const ThumbItem &item) const
{
    // On the disk of every tree: room for this item's copies (all trees on that disk at worst),
    // for a second whole copy of the one in flight (a JPEG's merge writes one) and a generous
    // margin for a sidecar.
    constexpr qint64 kMargin = 64 << 20;
    const QStringList folders =
        QStringList{flight.folder} + laterTreeFolders(flight.folder, flight.item->targetFilename);
    const qint64 need = QFileInfo(item.path).size() * folders.size() +
                        QFileInfo(flight.item->path).size() + kMargin;
    for (const QString &folder : folders) {
        struct statvfs disk;
        if (::statvfs(QFile::encodeName(folder).constData(), &disk) != 0 ||
            qint64(disk.f_bavail) * qint64(disk.f_frsize) < need)
            return false;
    }
    return true;
}

bool IngestFiles::isDuplicate(const ThumbItem &item, const QString &path) const
{
    if (item.modTime().isEmpty() || !item.metadata || path.isEmpty())
        return false;
    const QFileInfo info(path);
    const QString stamp = ThumbItem::stringFromDate(info.lastModified());
    if (stamp.size() < 19 || stamp.left(19) != item.modTime())
        return false;
    const std::optional<QVariantMap> existing =
        g_propertyReader ? g_propertyReader(path) : ThumbItem::exif(path);
    if (!existing)
        return false;
    int compared = 0;
    for (const char *property : kDuplicateProperties) {
        const QString key = QString::fromLatin1(property);
        const std::optional<QVariant> mine = propertyAt(*item.metadata, key);
        if (!mine)
            continue;
        const std::optional<QVariant> theirs = propertyAt(*existing, key);
        if (!theirs || *theirs != *mine)
            return false;
        ++compared;
    }
    return compared > 4;
}

// ---------------------------------------------------------------------------------------------
// The item loop

bool IngestFiles::giveTurn()
{
    return !m_session || m_session->runOnce();
}

void IngestFiles::removeTempDir()
{
    if (!m_tempDirRoot.isEmpty() && QFileInfo(m_tempDirRoot).isDir() &&
        !QFileInfo(m_tempDirRoot).isSymLink())
        QDir(m_tempDirRoot).removeRecursively();
}

void IngestFiles::go2()
{
    m_cancelled = false;
    m_hadError = false;
    m_downloadsCompleted = false;
    m_numIngested = 0;
    m_numCopiedToBackup = 0;
    m_numCopiedToBackup2 = 0;
    m_numDupes = 0;
    m_numMetadataNotWritten = 0;
    m_downloadsRequested = 0;
    m_downloadsFinished = 0;
    m_writeContext = MetadataWriteContext();
    m_writeContext.xmpTemplate = m_xmpTemplate;
    m_copier.beginRun();
    m_copier.setVerify(verifyCopies());
    m_copier.setGroupFolderSyncs(true);
    m_manifests.clear();
    m_totals = RunTotals();
    m_totals.planned = m_numTotal;
    m_sourceFailures.reset();
    m_copyHashes.clear();
    discardTwins();
    m_duplicateFiles.clear();
    m_duplicateFolders.clear();

    const Setup &setup = m_activeSetup;
    const QString primary = setup.paramString(QStringLiteral("PrimaryRootFolder"));
    if (setup.paramBool(QStringLiteral("WantBackup"))) {
        m_topFolder = setup.paramString(QStringLiteral("BackupRootFolder"));
        if (m_topFolder.isEmpty())
            m_topFolder = joinPath(primary, QStringLiteral("Backup"));
    } else {
        m_topFolder = primary;
    }
    m_topFolder = expandTilde(m_topFolder);

    m_wantRawVerify = setup.paramBool(QStringLiteral("WantRawVerify"));
    if (m_wantRawVerify && !QFileInfo(m_tempDirRoot).isDir()) {
        // A private folder (mkdtemp), never one someone else could have put in place. Without
        // it the raw files cannot be verified; the second stage reports that for each of them.
        // Qt answers an empty path when TMPDIR names no folder; not "/" then.
        const QString temporaryFolders =
            QDir::tempPath().isEmpty() ? QStringLiteral("/tmp") : QDir::tempPath();
        QByteArray pattern = QFile::encodeName(
            temporaryFolders + QStringLiteral("/Brindlewick-%1-XXXXXX").arg(::getpid()));
        m_tempDirRoot.clear();
        m_tempDirError.clear();
        if (::mkdtemp(pattern.data()))
            m_tempDirRoot = QFile::decodeName(pattern);
        else
            m_tempDirError = QFile::decodeName(pattern) + QStringLiteral(": ") +
                             QString::fromLocal8Bit(std::strerror(errno));
    }

    const QString folderMacro = setup.paramString(QStringLiteral("FolderArrangement"));
    const QString fileMacro = setup.paramString(QStringLiteral("FilenameArrangement"));
    qint64 counter = 1;
    m_loopRunning = true;
    const ThumbItemList items = m_items; // completions may not change what the loop walks
    // Ticked items from `from` on, which the run will never try.
    const auto tickedFrom = [&items](qsizetype from) {
        int n = 0;
        for (qsizetype i = from; i < items.size(); ++i)
            n += items[i]->checked ? 1 : 0;
        return n;
    };
    // The copy whose sync and read-back are still out, and how it lands: completed, with
    // everything it reports, and the ticked items after it counted as stopped if it ends the run.
    // Camera downloads complete in whatever turn they arrive, so a run with any stays in series.
    InFlightPtr inFlight;
    const bool overlap =
        !m_preview && std::none_of(items.cbegin(), items.cend(), [](const ThumbItemPtr &i) {
            return i->checked && i->isCameraItem();
        });
    const auto land = [&]() {
        if (!inFlight)
            return false;
        InFlightPtr flight = std::move(inFlight);
        const bool stop = completeFirst(*flight) == Next::Stop;
        if (stop)
            m_totals.stopped += tickedFrom(flight->position + 1);
        return stop;
    };
    for (qsizetype position = 0; position < items.size(); ++position) {
        const ThumbItemPtr &item = items[position];
        if (!item->checked)
            continue;
        if (!m_preview && !m_cancelled && !giveTurn())
            m_cancelled = true;
        if (m_hadError || m_cancelled) {
            if (!land())
                m_totals.stopped += tickedFrom(position);
            break;
        }
        // Unless this item's way to its copy is quiet, the copy in flight lands first, so that
        // its reports come before anything of this item, as in a run in series.
        std::optional<ThumbItem> untouched;
        if (inFlight) {
            if (overlap && mayOverlap(*item, *inFlight, counter, folderMacro, fileMacro)) {
                untouched = *item;
            } else {
                // It may end the run, or a Stop may come while it is made again: then this item
                // is stopped as it would have been at its turn.
                if (land())
                    break;
                if (m_hadError || m_cancelled) {
                    m_totals.stopped += tickedFrom(position);
                    break;
                }
            }
        }
        const QString lastFile = m_lastFile;

        computeShoot(*item, setup);
        if (m_firstFile.isEmpty())
            m_firstFile = item->title();
        m_lastFile = item->title();
        item->index = counter;

        // Only the parts that stay inside the tree are kept (no "..", no leading "/").
        const QString subFolder = m_macroProcessor->expand(folderMacro, *item, setup);
        item->targetSubFolder = joinInsideRoot(QString(), subFolder);
        const QString folder = joinInsideRoot(m_topFolder, subFolder);

        if (!m_preview) {
            const QString volume = missingVolume(folder);
            if (!volume.isEmpty()) {
                alertOK(formatMessage("Can't access volume \"%@\"", volume),
                        QStringLiteral("It may not be mounted."));
                IngestionLogController::log("ERROR: Can't access volume \"%@\"", volume);
                m_hadError = true;
                m_totals.stopped += tickedFrom(position);
                break;
            }
            if (!QDir().mkpath(folder)) {
                const QString error = QString::fromLocal8Bit(std::strerror(errno));
                const QString components =
                    folder.split(QLatin1Char('/'), Qt::SkipEmptyParts).join(QLatin1String(", "));
                SystemLog::write(
                    formatMessage("Error creating %@: %@ %@", folder, error, components));
                IngestionLogController::log("ERROR creating %@: %@ %@", folder, error, components);
            }
            // Remains of an interrupted earlier run go before anything is decided here.
            m_copier.sweep(folder);
        }
        ++counter;

        bool keptOriginal = false;
        const QString base = baseNameFor(*item, fileMacro, &keptOriginal);
        if (keptOriginal && !m_preview)
            logPrint("The file name for %@ came out empty; the original name is kept\n",
                     item->title());
        const NameChoice choice = chooseName(*item, folder, base, extensionOf(item->title()));
        item->targetFilename = choice.name;
        if (choice.duplicate) {
            ++m_numDupes;
            if (!m_preview) {
                if (!m_duplicateFiles.contains(folder))
                    m_duplicateFolders << folder;
                m_duplicateFiles[folder] << item->targetFilename;
            }
            continue;
        }
        if (item->targetFilename.isEmpty()) {
            alertOK(QStringLiteral("No destination filename specified."));
            m_hadError = true;
            ++m_totals.failed;
            m_totals.failures.append(
                {item->title(), QStringLiteral("No destination filename specified.")});
            m_totals.stopped += tickedFrom(position + 1);
            break;
        }

        const bool folderStored = m_ingestedFiles.contains(folder);
        const QString firstImageFolder = m_firstImageFolder;
        storeIngestedFile(item->targetFilename, folder);
        generateMetadataFor(*item, setup);
        geotag(*item);
        if (m_preview)
            continue;

        if (!item->isCameraItem()) {
            if (!untouched && m_session)
                m_session->step();
            readAheadAfter(items, position);
            InFlightPtr next = startFirst(item, folder, position);
            // Whether this copy's sync and read-back follow the previous copy's on their own.
            bool settling = false;
            if (untouched) {
                // Written beside the previous copy's sync; this one's sync and read-back follow
                // that one's at once, beside its landing (unless that one has a retry or a
                // failure to deal with first). If it ends the run (or a Stop came while it was
                // made again), this item was never begun.
                const std::shared_future<std::optional<bool>> previous = inFlight->settled;
                settleInWorker(*next, inFlight.get());
                const bool wasCancelled = m_cancelled;
                const bool stop = land();
                if (stop || m_hadError || (m_cancelled && !wasCancelled)) {
                    next.reset();
                    unstoreIngestedFile(item->targetFilename, folder, !folderStored);
                    m_firstImageFolder = firstImageFolder;
                    *item = *untouched;
                    m_lastFile = lastFile;
                    if (!stop)
                        m_totals.stopped += tickedFrom(position);
                    break;
                }
                if (m_session)
                    m_session->step();
                settling = previous.valid() && previous.get() == std::optional<bool>(true);
            }
            if (overlap) {
                if (!settling) {
                    if (next->settled.valid())
                        next->settled.wait(); // it stood aside; it starts now
                    settleInWorker(*next, nullptr);
                }
                inFlight = std::move(next);
            } else {
                inFlight = std::move(next);
                SafeCopier::settle(*inFlight->copy);
                if (land())
                    break;
            }
        } else if (requestDownload(item, folder, item->targetFilename)) {
            ++m_downloadsRequested;
        } else {
            const QString message =
                QStringLiteral("The camera could not be asked for \"%1\".").arg(item->title());
            failItem(*item, folder, message);
            reportCopyError(message);
            m_totals.stopped += tickedFrom(position + 1);
            break;
        }
    }
    // The run's end waits for the last copy in flight.
    land();
    m_loopRunning = false;

    if (!m_preview && m_downloadsFinished >= m_downloadsRequested)
        downloadsComplete();
}

bool IngestFiles::requestDownload(const ThumbItemPtr &item, const QString &folder,
                                  const QString &name)
{
    if (m_downloader)
        return m_downloader(item, folder, name);
    CameraDevice *device = item->cameraFile ? item->cameraFile->device() : nullptr;
    if (!device)
        return false;
    device->requestDownloadFile(item->cameraFile, DownloadOptions{folder, name},
                                [this, item](const DownloadResult &result) {
                                    didDownloadFile(
                                        result.error,
                                        {{DownloadFolderKey, result.options.downloadsDirectory},
                                         {SavedFilenameKey, result.options.saveAsFilename}},
                                        item);
                                });
    return true;
}

void IngestFiles::reportCopyError(const QString &description, bool endsRun)
{
    if (endsRun)
        m_hadError = true;
    logPrint("\nERROR copying file: %@\n", description);
    IngestionLogController::log("ERROR copying file: %@", description);
    alertOK(QStringLiteral("Error copying file."), description);
}

bool IngestFiles::verifyCopies() const
{
    return m_verifyOverride.value_or(Prefs::boolean(Prefs::VerifyCopies));
}

void IngestFiles::noteRetries(const CopyReport &report, const QString &target)
{
    for (const QString &why : report.retries) {
        logPrint("\nCopy of %@ made again from the source: %@\n", target, why);
        IngestionLogController::log("Copy of %@ made again from the source: %@", target, why);
    }
}

void IngestFiles::failItem(const ThumbItem &item, const QString &folder, const QString &message)
{
    ++m_totals.failed;
    m_totals.failures.append({item.title(), message});
    // Nothing was placed under the name: the second stage and the manifests must not look for it.
    auto it = m_ingestedFiles.find(folder);
    if (it != m_ingestedFiles.end())
        it->removeOne(item.targetFilename);
}

void IngestFiles::readAheadAfter(const ThumbItemList &items, qsizetype position)
{
    // The card reads the next file while this one is written out.
    for (qsizetype i = position + 1; i < items.size(); ++i) {
        if (!items[i]->checked)
            continue;
        if (!items[i]->isCameraItem())
            CopySteps::readAhead(QFile::encodeName(items[i]->path));
        return;
    }
}

void IngestFiles::syncPlacedFolders()
{
    for (const QString &failure : m_copier.syncFolders()) {
        m_hadError = true;
        logPrint("\nERROR syncing the folder %@\n", failure);
        IngestionLogController::log("ERROR syncing the folder %@", failure);
    }
}

IngestFiles::InFlightPtr IngestFiles::startFirst(const ThumbItemPtr &item, const QString &folder,
                                                 qsizetype position)
{
    InFlightPtr flight(new InFlight);
    flight->item = item;
    flight->folder = folder;
    flight->position = position;
    flight->target = joinPath(folder, item->targetFilename);
    const QString &target = flight->target;
    // A JPEG is decoded beside its copy, from the bytes as they are written, when the read-back
    // proves those bytes are what the disk holds; without it the copy is decoded from the disk.
    if (wantsJpegCheck(target) && verifyCopies())
        flight->jpegCheck.emplace();
    CopyOptions options;
    options.onChunk = [this] {
        // The window keeps drawing during a long copy; a Stop counts before the next item.
        if (!m_cancelled && !giveTurn())
            m_cancelled = true;
    };
    options.check = flight->jpegCheck ? &*flight->jpegCheck : nullptr;
    // A JPEG that takes our XMP is written with it in the same pass; whatever the new head
    // cannot be made for (no JPEG, a packet that does not merge, a text too long) is copied
    // plain and goes the merger's way afterwards, with its reports.
    m_writeContext.xmpTemplate = m_xmpTemplate;
    flight->xmp = xmpToEmbedWhileCopying(*item, target, m_writeContext);
    if (flight->xmp)
        options.rewriteHead = [xmp = &*flight->xmp](const QByteArray &head, bool complete) {
            return jpegHeadWithXmp(head, *xmp, complete);
        };
    // The later trees' copies of the same bytes are written from this read of the card, unless
    // ExifTool is to write into this copy afterwards.
    if (!embedsPositionInCopy(*item))
        options.twinFolders = makeLaterTreeFolders(laterTreeFolders(folder, item->targetFilename));
    if (hasMetadataToWrite(*item))
        options.twinMode = 0644; // what writing the metadata makes of the copy
    flight->copy = m_copier.begin(item->path, target, options);
    return flight;
}

void IngestFiles::settleInWorker(InFlight &flight, const InFlight *before)
{
    // One copy's settling follows the other's, so the disk sees them in order; a copy that
    // still has a retry or a failure ahead of it lands first, and this one waits for it.
    const std::shared_future<std::optional<bool>> previous =
        before ? before->settled : std::shared_future<std::optional<bool>>();
    try {
        flight.settled =
            std::async(std::launch::async,
                       [previous, copy = flight.copy.get()]() -> std::optional<bool> {
                           if (previous.valid() && previous.get() != std::optional<bool>(true))
                               return std::nullopt;
                           return SafeCopier::settle(*copy);
                       })
                .share();
    } catch (const std::system_error &) {
        // No thread to be had: the copy is settled in place.
        std::promise<std::optional<bool>> done;
        done.set_value(before ? std::nullopt
                              : std::optional<bool>(SafeCopier::settle(*flight.copy)));
        flight.settled = done.get_future().share();
    }
}

IngestFiles::Next IngestFiles::completeFirst(InFlight &flight)
{
    // A copy whose turn came behind a retry or a failure is settled here.
    if (flight.settled.valid() && !flight.settled.get())
        SafeCopier::settle(*flight.copy);
    const ThumbItemPtr &item = flight.item;
    const QString &folder = flight.folder;
    const QString &target = flight.target;
    std::optional<JpegStreamCheck> &jpegCheck = flight.jpegCheck;
    const CopyReport report = m_copier.finish(std::move(flight.copy));
    noteRetries(report, target);
    if (!report.ok()) {
        SystemLog::write(formatMessage("Error copying to %@", target));
        failItem(*item, folder, report.error);
        using Failure = CopyReport::Failure;
        if (report.failure != Failure::Source && report.failure != Failure::SourceChanged) {
            // The destination is in trouble (full, failing, or corrupting what it is given):
            // nothing more is written to it.
            reportCopyError(report.error);
            return Next::Stop;
        }
        // One unreadable file (a bad sector, a file changed under the run) does not end the
        // run; several in a row on one volume mean the card is gone.
        reportCopyError(report.error, /*endsRun=*/false);
        if (m_sourceFailures.failed(item->path)) {
            m_hadError = true;
            const QString source = QFileInfo(item->path).absolutePath();
            logPrint("\nERROR: %d files in a row could not be read from \"%@\"; the card may "
                     "have been removed.\n",
                     m_sourceFailures.count(), source);
            IngestionLogController::log("ERROR: %d files in a row could not be read from \"%@\"; "
                                        "the card may have been removed.",
                                        m_sourceFailures.count(), source);
            alertOK(QStringLiteral("The card may have been removed."),
                    formatMessage("%d files in a row could not be read from \"%@\".",
                                  m_sourceFailures.count(), source));
            return Next::Stop;
        }
        return Next::Continue;
    }
    m_sourceFailures.succeeded();
    const ManifestBook::Stamp stamp = ManifestBook::stamp(target, report.hash);
    m_copyHashes.insert(target, stamp);
    item->ingested = true;
    post("UpdateImageMarkers", this);
    ++m_numIngested;
    if (!verifyJPEG(target,
                    jpegCheck ? std::optional<bool>(jpegCheck->finished()) : std::nullopt)) {
        for (const TwinCopy &twin : report.twins)
            SafeCopier::discardTwin(twin);
        return Next::Stop;
    }
    const int imageWrites = m_writeContext.imageWrites;
    writeMetadata(*item, target, report.rewritten);
    // The twins hold the bytes of the copy as it was made: they stand for it in the later trees
    // only while nothing has written into it since.
    if (m_writeContext.imageWrites == imageWrites && restampUnchanged(target, stamp)) {
        if (!report.twins.isEmpty())
            m_twins.insert(target, {m_copyHashes.value(target), report.twins});
    } else {
        for (const TwinCopy &twin : report.twins)
            SafeCopier::discardTwin(twin);
    }
    return copyCompanions(*item, folder);
}

bool IngestFiles::restampUnchanged(const QString &path, const ManifestBook::Stamp &stamp)
{
    // Writing the metadata beside a copy changes its mode (and so its change time) but not its
    // bytes: the hash taken while copying still holds, and the manifest need not read it again.
    const ManifestBook::Stamp now = ManifestBook::stamp(path, stamp.hash);
    if (!stamp.valid || !now.valid || now.inode != stamp.inode || now.size != stamp.size ||
        now.mtimeNs != stamp.mtimeNs)
        return false;
    m_copyHashes.insert(path, now);
    return true;
}

QStringList IngestFiles::laterTreeFolders(const QString &folder, const QString &name) const
{
    // The second stage's own choices: which trees receive this file unchanged, and where.
    const Setup &setup = m_activeSetup;
    if (!setup.paramBool(QStringLiteral("WantBackup")))
        return {};
    const QString extension = extensionOf(name);
    if (extension.compare(QLatin1String("xmp"), Qt::CaseInsensitive) == 0)
        return {};
    if (setup.paramBool(QStringLiteral("WantConversion"))) {
        if (Prefs::string(Prefs::ConverterPath).isEmpty())
            return {}; // the second stage will not run
        if (!m_wantRawVerify && ECPrefsController::isRaw(extension))
            return {}; // the DNG takes its place
    }
    const QString primaryRoot = expandTilde(setup.paramString(QStringLiteral("PrimaryRootFolder")));
    QString backupRoot = expandTilde(setup.paramString(QStringLiteral("BackupRootFolder")));
    if (backupRoot.isEmpty())
        backupRoot = m_topFolder;
    if (primaryRoot.isEmpty() || backupRoot.isEmpty() || !isInside(folder, backupRoot))
        return {};
    const QString relative = relativeInside(folder, backupRoot);
    QStringList folders{joinPath(primaryRoot, relative)};
    const QString backupRoot2 = expandTilde(setup.paramString(QStringLiteral("BackupRootFolder2")));
    if (setup.paramBool(QStringLiteral("WantBackup2")) && !backupRoot2.isEmpty())
        folders << joinPath(backupRoot2, relative);
    // Nothing is made on the system disk in place of a drive that is not there.
    folders.removeIf([](const QString &f) { return !missingVolume(f).isEmpty(); });
    return folders;
}

QStringList IngestFiles::makeLaterTreeFolders(const QStringList &folders)
{
    // Folders made early for twins; those that end the run empty are taken away again, so the
    // later trees look as they would have without them.
    QStringList made;
    for (const QString &folder : folders) {
        QStringList missing;
        for (QString f = QDir::cleanPath(folder); !f.isEmpty() && !QFileInfo::exists(f);
             f = QFileInfo(f).path()) {
            if (missing.contains(f))
                break;
            missing << f;
        }
        if (!QDir().mkpath(folder))
            continue;
        m_twinMadeFolders << missing;
        made << folder;
    }
    return made;
}

std::optional<CopyReport> IngestFiles::placePrewritten(const QString &source, const QString &target)
{
    const auto pending = m_twins.find(source);
    if (pending == m_twins.end())
        return std::nullopt;
    const QString folder = QDir::cleanPath(QFileInfo(target).absolutePath());
    const auto twin = std::find_if(pending->twins.begin(), pending->twins.end(),
                                   [&folder](const TwinCopy &t) { return t.folder == folder; });
    if (twin == pending->twins.end())
        return std::nullopt;
    const TwinCopy taken = *twin;
    pending->twins.erase(twin);
    const ManifestBook::Stamp stamp = pending->stamp;
    if (pending->twins.isEmpty())
        m_twins.erase(pending);
    if (!sameStamp(ManifestBook::stamp(source, stamp.hash), stamp)) {
        SafeCopier::discardTwin(taken);
        return std::nullopt;
    }
    return m_copier.placeTwin(taken, source, target);
}

void IngestFiles::keepMadeFolder(const QString &folder)
{
    // The second stage made this folder (and its parents) itself: it stays, as it always did.
    const QString kept = QDir::cleanPath(folder);
    m_twinMadeFolders.removeIf([&kept](const QString &made) {
        return made == kept || kept.startsWith(made + QLatin1Char('/'));
    });
}

void IngestFiles::discardTwins()
{
    for (const PendingTwins &pending : std::as_const(m_twins))
        for (const TwinCopy &twin : pending.twins)
            SafeCopier::discardTwin(twin);
    m_twins.clear();
    // Deepest first; a folder that received anything stays.
    std::sort(m_twinMadeFolders.begin(), m_twinMadeFolders.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
    for (const QString &folder : std::as_const(m_twinMadeFolders))
        ::rmdir(QFile::encodeName(folder).constData());
    m_twinMadeFolders.clear();
}

IngestFiles::Next IngestFiles::copyCompanions(const ThumbItem &item, const QString &folder)
{
    for (const QString &companion : item.companions) {
        const QString name = Companions::targetName(companion, item.path, item.targetFilename);
        const QString target = joinPath(folder, name);
        const CopyReport report = m_copier.copy(companion, target);
        noteRetries(report, target);
        if (!report.ok()) {
            SystemLog::write(formatMessage("Error copying to %@", target));
            reportCopyError(report.error);
            return Next::Stop;
        }
        m_copyHashes.insert(target, ManifestBook::stamp(target, report.hash));
        storeIngestedFile(name, folder);
        m_companionCopies.insert(target);
    }
    return Next::Continue;
}

void IngestFiles::writeMetadata(ThumbItem &item, const QString &copyPath, bool xmpEmbedded)
{
    m_writeContext.xmpTemplate = m_xmpTemplate;
    const bool written = xmpEmbedded ? writeMetadataAfterEmbedding(item, copyPath, m_writeContext)
                                     : writeMetadataFor(item, copyPath, m_writeContext);
    if (!written)
        ++m_numMetadataNotWritten;
    if (m_writeContext.hadError)
        m_hadError = true;
}

bool IngestFiles::wantsJpegCheck(const QString &path) const
{
    return m_activeSetup.paramBool(QStringLiteral("WantJPEGVerify")) &&
           extensionOf(path).compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0;
}

bool IngestFiles::verifyJPEG(const QString &path, std::optional<bool> decoded)
{
    if (!wantsJpegCheck(path))
        return true;
    if (decoded ? *decoded : verifyJpegFile(QFile::encodeName(path).constData()))
        return true;
    m_hadError = true;
    SystemLog::write(formatMessage("Invalid JPEG file: %@", path));
    logPrint("\nInvalid JPEG file: %@\n", path);
    IngestionLogController::log("Invalid JPEG file: %@", path);
    alertOK(QStringLiteral("Invalid JPEG file."), path);
    return false;
}

// ---------------------------------------------------------------------------------------------
// Camera downloads and the end of the run

void IngestFiles::didDownloadFile(const QString &error, const QVariantMap &options,
                                  const ThumbItemPtr &item)
{
    ++m_downloadsFinished;
    if (!m_cancelled && !giveTurn())
        m_cancelled = true;
    if (!m_cancelled || error.isEmpty()) {
        if (m_session)
            m_session->step();
    }
    const QString folder = options.value(DownloadFolderKey).toString();
    if (error.isEmpty() && !m_downloadsCompleted) {
        const QString path = joinPath(folder, options.value(SavedFilenameKey).toString());
        ++m_numIngested;
        if (item) {
            item->ingested = true;
            post("UpdateImageMarkers", this);
            if (verifyJPEG(path))
                writeMetadata(*item, path);
        }
    } else if (!error.isEmpty() && !m_cancelled) {
        if (item)
            failItem(*item, folder, error);
        else
            ++m_totals.failed;
        if (!m_hadError) {
            m_hadError = true;
            logPrint("\nERROR copying one or more files: %@\n", error);
            IngestionLogController::log("ERROR copying one or more files: %@", error);
            alertOK(QStringLiteral("Error copying one or more files."), error);
        }
    } else if (!error.isEmpty()) {
        // A failed download after Stop is neither reported nor counted as ingested: the user
        // stopped it.
        ++m_totals.stopped;
        if (item) {
            auto it = m_ingestedFiles.find(folder);
            if (it != m_ingestedFiles.end())
                it->removeOne(item->targetFilename);
        }
    }

    const bool allArrived = m_numIngested == m_numTotal - m_numDupes;
    const bool nothingPending = !m_loopRunning && m_downloadsFinished >= m_downloadsRequested;
    if (m_hadError || m_cancelled || allArrived || nothingPending) {
        if (!m_loopRunning)
            downloadsComplete();
    }
}

void IngestFiles::downloadsComplete()
{
    if (m_downloadsCompleted)
        return;
    m_downloadsCompleted = true;
    if (m_session) {
        m_session->end();
        m_session.reset();
    }

    // Downloads asked for and never answered did not happen.
    m_totals.stopped += std::max(0, m_downloadsRequested - m_downloadsFinished);
    m_totals.copied = m_numIngested;
    m_totals.duplicates = m_numDupes;

    if (m_numIngested == 0 && m_numDupes == 0 && !m_hadError && !m_cancelled &&
        m_totals.failed == 0) {
        logPuts("\nNo files were ingested");
        alertOK(QStringLiteral("No files were ingested."));
        IngestionLogController::log("%@", m_totals.line());
    } else {
        // Files that failed on their own (an unreadable source) did not stop the run: what was
        // copied still goes on to the other trees, and the run then ends as incomplete.
        if (!m_hadError && !m_cancelled)
            m_hadError = !convertOrCopy();
        // Twins the second stage did not place (it failed, or never ran) are not left behind.
        discardTwins();
        if (m_totals.failed > 0)
            m_hadError = true;
        removeTempDir();
        // Every name placed is on the disk before a manifest lists it or the run says so.
        syncPlacedFolders();
        writeManifests();
        QString summary =
            formatMessage("Files ingested: %d\nDuplicates skipped: %d", m_numIngested, m_numDupes);
        // A file copied without its metadata is not a plain success: every summary says so.
        if (m_numMetadataNotWritten > 0)
            summary += formatMessage("\nMetadata not written: %d", m_numMetadataNotWritten);
        const bool wantBackup2 = m_activeSetup.paramBool(QStringLiteral("WantBackup2"));
        if (m_hadError) {
            logPrint("%@\n", m_totals.line());
            logPuts("\nIngestion incomplete -- an error occurred\n");
            IngestionLogController::log("Ingestion incomplete -- an error occurred");
            IngestionLogController::log("%@", m_totals.line());
            alertOK(summary, QStringLiteral("Ingestion incomplete -- an error occurred."));
        } else if (m_cancelled) {
            logPrint("%@\n", m_totals.line());
            logPuts("\nIngestion incomplete -- cancelled by user\n");
            IngestionLogController::log("Ingestion incomplete -- cancelled by user");
            IngestionLogController::log("%@", m_totals.line());
            alertOK(summary, QStringLiteral("Ingestion incomplete -- cancelled by user."));
        } else {
            logPrint("Number ingested: %d\n", m_numIngested);
            logPrint("Number duplicates skipped: %d\n", m_numDupes);
            logPrint("Number copied to backup: %d\n", m_numCopiedToBackup);
            if (wantBackup2)
                logPrint("Number copied to 2nd backup: %d\n", m_numCopiedToBackup2);
            if (Prefs::boolean(Prefs::WantEmbeddedGPS))
                logPrint("Number tagged by ExifTool: %d\n", m_writeContext.numTaggedByExifTool);
            if (m_numMetadataNotWritten > 0)
                logPrint("Number with metadata not written: %d\n", m_numMetadataNotWritten);
            logPrint("%@\n", m_totals.line());
            logPuts("\nAll files processed");
            IngestionLogController::log("SUCCESS Ingested: %d; Duplicates: %d; Backedup: %d; "
                                        "files %@ through %@",
                                        m_numIngested, m_numDupes, m_numCopiedToBackup, m_firstFile,
                                        m_lastFile);
            if (wantBackup2)
                IngestionLogController::log("2nd Backedup: %d", m_numCopiedToBackup2);
            if (m_numMetadataNotWritten > 0)
                IngestionLogController::log("ERROR: Metadata not written for %d files",
                                            m_numMetadataNotWritten);
            IngestionLogController::log("%@", m_totals.line());
            const QString postApp =
                m_activeSetup.dict().value(QStringLiteral("PostApp")).toString();
            if (!postApp.isEmpty() && m_folderOpener)
                m_folderOpener(postApp, m_firstImageFolder);
        }
    }
    m_writeContext.exifToolSession.reset();
    post("IngestionComplete", this);
}

// ---------------------------------------------------------------------------------------------
// The second stage

bool IngestFiles::copyOn(const QString &source, const QString &target, QString *error,
                         const QString &root)
{
    const std::optional<CopyReport> placed = placePrewritten(source, target);
    const CopyReport report = placed ? *placed : m_copier.copy(source, target);
    noteRetries(report, target);
    if (!report.ok()) {
        if (error)
            *error = report.error;
        return false;
    }
    if (!root.isEmpty())
        m_manifests.record(root, target, ManifestBook::stamp(target, report.hash));
    return true;
}

bool IngestFiles::carryOnDuplicate(const QString &source, const QString &target, QString *error,
                                   const QString &root, int *copies)
{
    if (!entryExists(target)) {
        if (!copyOn(source, target, error, root))
            return false;
        ++*copies;
        return true;
    }
    // Already there (an unfinished run got this far): listed from now on, never replaced.
    if (!m_manifests.isListed(root, target))
        m_manifests.recordUnhashed(root, target);
    return true;
}

void IngestFiles::recordFirstTree(const QString &folder, const QString &name)
{
    const QString path = joinPath(folder, name);
    if (!entryExists(path))
        return;
    const auto stamp = m_copyHashes.constFind(path);
    if (stamp != m_copyHashes.constEnd())
        m_manifests.record(m_topFolder, path, *stamp);
    else if (!m_manifests.isListed(m_topFolder, path))
        m_manifests.recordUnhashed(m_topFolder, path);
    const QString extension = extensionOf(name);
    if (extension.compare(QLatin1String("jpg"), Qt::CaseInsensitive) == 0 ||
        extension.compare(QLatin1String("xmp"), Qt::CaseInsensitive) == 0)
        return;
    const QString sidecar =
        (extension.isEmpty() ? path : path.left(path.size() - extension.size() - 1)) +
        QStringLiteral(".xmp");
    if (entryExists(sidecar) && !m_manifests.isListed(m_topFolder, sidecar))
        m_manifests.recordUnhashed(m_topFolder, sidecar);
}

void IngestFiles::writeManifests()
{
    // Without a backup the first tree is the only one: everything placed in it is listed now.
    // With one, its files were listed as the second stage carried them on.
    if (!m_activeSetup.paramBool(QStringLiteral("WantBackup"))) {
        for (const QString &folder : std::as_const(m_ingestedFolders))
            for (const QString &name : m_ingestedFiles.value(folder))
                recordFirstTree(folder, name);
        for (const QString &folder : std::as_const(m_duplicateFolders))
            for (const QString &name : m_duplicateFiles.value(folder))
                if (!m_manifests.isListed(m_topFolder, joinPath(folder, name)))
                    recordFirstTree(folder, name);
    }
    for (const QString &failure : m_manifests.write(QDateTime::currentDateTimeUtc())) {
        m_hadError = true;
        logPrint("\nERROR writing the copy manifest: %@\n", failure);
        IngestionLogController::log("ERROR writing the copy manifest: %@", failure);
    }
}

bool IngestFiles::convertOrCopy()
{
    const Setup &setup = m_activeSetup;
    if (!setup.paramBool(QStringLiteral("WantBackup")))
        return true;
    const bool wantConversion = setup.paramBool(QStringLiteral("WantConversion"));
    const bool wantBackup2 = setup.paramBool(QStringLiteral("WantBackup2"));
    m_firstImageFolder.clear();
    const QString primaryRoot = expandTilde(setup.paramString(QStringLiteral("PrimaryRootFolder")));
    QString backupRoot = expandTilde(setup.paramString(QStringLiteral("BackupRootFolder")));
    // The run put its first copies into "Backup" inside the primary root; carry them on from
    // there rather than leaving the primary tree empty.
    if (backupRoot.isEmpty())
        backupRoot = m_topFolder;
    const QString backupRoot2 = expandTilde(setup.paramString(QStringLiteral("BackupRootFolder2")));

    const QString converterPath = Prefs::string(Prefs::ConverterPath);
    if (wantConversion && converterPath.isEmpty()) {
        logPuts("\nERROR: DNG Converter path not set in Preferences.\n");
        alertOK(QStringLiteral("DNG Converter path not set in Preferences."));
        return false;
    }
    const QString executable = expandTilde(converterPath);
    if (backupRoot.isEmpty() || primaryRoot.isEmpty())
        return true;

    const auto failCopy = [this](const QString &systemLine, const QString &description) {
        return failSecondStageCopy(systemLine, description);
    };
    const auto failCopy2 = [this](const QString &target, const QString &description) {
        return failSecondBackupCopy(target, description);
    };

    // Folders of this run's copies, then those holding only files found already there.
    QStringList folders = m_ingestedFolders;
    for (const QString &folder : std::as_const(m_duplicateFolders))
        if (!folders.contains(folder))
            folders << folder;

    for (const QString &folder : std::as_const(folders)) {
        if (!isInside(folder, backupRoot))
            continue;
        const QString relative = relativeInside(folder, backupRoot);
        const QString primaryFolder = joinPath(primaryRoot, relative);
        const QString backupFolder2 = joinPath(backupRoot2, relative);

        // A file found already in the first tree that no manifest there lists was placed by a
        // run that never finished (killed, or stopped by an error before this stage): it is
        // carried on now, except where the other tree already has the name.
        QStringList carried;
        for (const QString &name : m_duplicateFiles.value(folder))
            if (!m_manifests.isListed(m_topFolder, joinPath(folder, name)) &&
                !carried.contains(name))
                carried << name;
        const QStringList fresh = m_ingestedFiles.value(folder);
        if (fresh.isEmpty() && carried.isEmpty())
            continue;

        QDir().mkpath(primaryFolder);
        keepMadeFolder(primaryFolder);
        m_copier.sweep(primaryFolder);
        if (wantBackup2) {
            // Without a root the folder would be relative to wherever the program was started.
            if (backupRoot2.isEmpty())
                return failCopy2(backupFolder2,
                                 QStringLiteral("The second backup folder is not set."));
            QDir().mkpath(backupFolder2);
            keepMadeFolder(backupFolder2);
            m_copier.sweep(backupFolder2);
        }
        if (m_firstImageFolder.isEmpty())
            m_firstImageFolder = primaryFolder;

        QStringList rawFiles;
        QStringList done;             // first-tree names whose copies are all in place
        QSet<QString> sidecarsCopied; // two images of one base name may share one sidecar
        const QStringList names = fresh + carried;
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QString &name = names[i];
            const bool again = i >= fresh.size(); // carried on from an unfinished run
            const QString extension = extensionOf(name);
            if (extension.compare(QLatin1String("xmp"), Qt::CaseInsensitive) == 0)
                continue;
            const QString source = joinPath(folder, name);
            const bool raw = ECPrefsController::isRaw(extension);
            if (raw && wantConversion) {
                // A DNG an unfinished run placed already is not made a second time.
                const QString dng = QFileInfo(name).completeBaseName() + QStringLiteral(".dng");
                if (!again || m_wantRawVerify || !entryExists(joinPath(primaryFolder, dng)))
                    rawFiles << source;
                if (!m_wantRawVerify) {
                    done << name;
                    continue; // the DNG takes the raw file's place in the primary folder
                }
            }
            const bool companion = m_companionCopies.contains(source);
            QString sidecar;
            if (!companion && extension.compare(QLatin1String("jpg"), Qt::CaseInsensitive) != 0)
                sidecar = existingSidecarFor(source);
            if (sidecarsCopied.contains(sidecar))
                sidecar.clear();
            const bool withSidecar = !sidecar.isEmpty();
            if (withSidecar)
                sidecarsCopied.insert(sidecar);
            const QString sidecarName =
                withSidecar ? QFileInfo(sidecar).fileName()
                            : QFileInfo(source).completeBaseName() + QStringLiteral(".xmp");
            const QString target = joinPath(primaryFolder, name);
            const QString sidecarTarget = joinPath(primaryFolder, sidecarName);
            QString error;
            if (again) {
                int copies = 0;
                if (!carryOnDuplicate(source, target, &error, primaryRoot, &copies) ||
                    (withSidecar &&
                     !carryOnDuplicate(sidecar, sidecarTarget, &error, primaryRoot, &copies)))
                    return failCopy(
                        formatMessage("Error copying to %@ (XMP: %@)", target, sidecarTarget),
                        error);
                if (!companion)
                    m_numCopiedToBackup += copies > 0 ? 1 : 0;
            } else {
                if (!copyOn(source, target, &error, primaryRoot) ||
                    (withSidecar && !copyOn(sidecar, sidecarTarget, &error, primaryRoot)))
                    return failCopy(
                        formatMessage("Error copying to %@ (XMP: %@)", target, sidecarTarget),
                        error);
                if (!companion)
                    ++m_numCopiedToBackup;
            }

            if (wantBackup2) {
                const QString target2 = joinPath(backupFolder2, name);
                const QString sidecarTarget2 = joinPath(backupFolder2, sidecarName);
                if (again) {
                    int copies = 0;
                    if (!carryOnDuplicate(source, target2, &error, backupRoot2, &copies) ||
                        (withSidecar &&
                         !carryOnDuplicate(sidecar, sidecarTarget2, &error, backupRoot2, &copies)))
                        return failCopy2(target2, error);
                    if (!companion)
                        m_numCopiedToBackup2 += copies > 0 ? 1 : 0;
                } else {
                    if (!copyOn(source, target2, &error, backupRoot2) ||
                        (withSidecar && !copyOn(sidecar, sidecarTarget2, &error, backupRoot2)))
                        return failCopy2(target2, error);
                    if (!companion)
                        ++m_numCopiedToBackup2;
                }
            }
            done << name;
        }

        if (!rawFiles.isEmpty() &&
            !convertRaws(executable, rawFiles, primaryFolder,
                         wantBackup2 ? backupFolder2 : QString(), primaryRoot, backupRoot2))
            return false;
        for (const QString &name : std::as_const(done))
            recordFirstTree(folder, name);
    }
    return true;
}

bool IngestFiles::failSecondBackupCopy(const QString &target, const QString &description)
{
    m_hadError = true;
    SystemLog::write(formatMessage("Error copying to %@ (2nd backup)", target));
    logPrint("\nERROR copying file to 2nd backup: %@\n", description);
    IngestionLogController::log("ERROR copying file to 2nd backup: %@", description);
    alertOK(QStringLiteral("Error copying file to 2nd backup."), description);
    return false;
}

namespace {

// The raw files in groups that hold no two files of one base name, since the converter names
// each DNG after its raw file's base name (IMG_1.CR2 and IMG_1.NEF would make one IMG_1.dng).
QList<QStringList> batchesWithUniqueBaseNames(const QStringList &rawFiles)
{
    QList<QStringList> batches;
    QList<QSet<QString>> names;
    for (const QString &raw : rawFiles) {
        const QString base = QFileInfo(raw).completeBaseName();
        qsizetype i = 0;
        while (i < batches.size() && names[i].contains(base))
            ++i;
        if (i == batches.size()) {
            batches.append(QStringList());
            names.append(QSet<QString>());
        }
        batches[i] << raw;
        names[i].insert(base);
    }
    return batches;
}

QStringList fileNames(const QStringList &paths)
{
    QStringList names;
    for (const QString &path : paths)
        names << QFileInfo(path).fileName();
    return names;
}

} // namespace

bool IngestFiles::convertRaws(const QString &executable, const QStringList &rawFiles,
                              const QString &primaryFolder, const QString &backupFolder2,
                              const QString &primaryRoot, const QString &backupRoot2)
{
    // The converter writes into a private folder; each DNG is then placed the way copies are,
    // so it never replaces a file already there and a clash takes the next free name. With raw
    // verification the DNGs are only proof that the raw files read well, and go with the folder.
    const QString workRoot = m_wantRawVerify ? m_tempDirRoot : primaryFolder;
    for (const QStringList &batch : batchesWithUniqueBaseNames(rawFiles)) {
        const QString names = fileNames(batch).join(QStringLiteral(", "));
        if (workRoot.isEmpty()) {
            DngConverter::report(
                formatMessage("Can't make a temporary folder for %@: %@", names, m_tempDirError));
            return false;
        }
        QByteArray pattern =
            QFile::encodeName(workRoot + QStringLiteral("/.brindlewick-dng-XXXXXX"));
        if (!::mkdtemp(pattern.data())) {
            DngConverter::report(formatMessage("Can't make a temporary folder for %@: %@: %@",
                                               names, QFile::decodeName(pattern),
                                               QString::fromLocal8Bit(std::strerror(errno))));
            return false;
        }
        const QString work = QFile::decodeName(pattern);
        struct RemoveWork
        {
            QString path;
            ~RemoveWork() { QDir(path).removeRecursively(); }
        } removeWork{work};

        if (!DngConverter::runConverter(executable, DngConverter::converterArguments(work, batch)))
            return false;
        for (const QString &raw : batch) {
            const QString base = QFileInfo(raw).completeBaseName();
            const QString produced = joinPath(work, base + QStringLiteral(".dng"));
            if (!QFileInfo(produced).isFile()) {
                DngConverter::report(formatMessage("The DNG Converter wrote no DNG for %@",
                                                   QFileInfo(raw).fileName()));
                return false;
            }
            if (m_wantRawVerify)
                continue;
            // On disk before it has a name, like every copy.
            syncToDisk(QFile::encodeName(produced));
            QString placed;
            for (int n = 0; n < 1000 && placed.isEmpty(); ++n) {
                const QString name =
                    (n == 0 ? base : base + QStringLiteral("_%1").arg(n)) + QStringLiteral(".dng");
                const QString target = joinPath(primaryFolder, name);
                if (placeWithoutReplacing(QFile::encodeName(produced), QFile::encodeName(target))) {
                    placed = name;
                    continue;
                }
                const int error = errno;
                if (error != EEXIST || n == 999)
                    return failSecondStageCopy(
                        formatMessage("Error copying to %@", target),
                        formatMessage("The DNG of \"%@\" couldn't be placed in \"%@\": %@",
                                      QFileInfo(raw).fileName(), primaryFolder,
                                      QString::fromLocal8Bit(std::strerror(error))));
            }
            syncToDisk(QFile::encodeName(primaryFolder));
            ++m_numCopiedToBackup;
            // A new file, not a copy: listed with the hash of what the converter wrote.
            m_manifests.recordUnhashed(primaryRoot, joinPath(primaryFolder, placed));
            if (!backupFolder2.isEmpty()) {
                const QString target2 = joinPath(backupFolder2, placed);
                QString error;
                if (!copyOn(joinPath(primaryFolder, placed), target2, &error, backupRoot2))
                    return failSecondBackupCopy(target2, error);
                ++m_numCopiedToBackup2;
            }
        }
    }
    return true;
}

bool IngestFiles::failSecondStageCopy(const QString &systemLine, const QString &description)
{
    m_hadError = true;
    SystemLog::write(systemLine);
    reportCopyError(description);
    return false;
}
