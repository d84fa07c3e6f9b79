#include "geo/TimeAdjustController.h"

#include "macro/MacroProcessor.h"
#include "platform/DateReader.h"
#include "platform/Format.h"
#include "sources/CameraService.h"

#include <QDir>
#include <QFile>
#include <QTimeZone>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

// Asks the item's camera for its file; the completion arrives on the main thread.
bool downloadFromCamera(const ThumbItemPtr &item, const QString &folder, const QString &name,
                        TimeAdjustController::FileReady done)
{
    CameraDevice *device = item->cameraFile ? item->cameraFile->device() : nullptr;
    if (!device)
        return false;
    device->requestDownloadFile(item->cameraFile, DownloadOptions{folder, name},
                                [done](const DownloadResult &result) {
                                    done(result.succeeded() ? result.savedPath() : QString());
                                });
    return true;
}

QString plural(quint64 n, const char *one, const char *many)
{
    return QString::number(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
}

} // namespace

TimeAdjustController::TimeAdjustController() = default;

TimeAdjustController::~TimeAdjustController()
{
    removeTemporaries();
}

TimeAdjustController &TimeAdjustController::sharedInstance()
{
    static TimeAdjustController instance;
    return instance;
}

qint64 TimeAdjustController::computeAdjustment(double trueTime, double cameraTime)
{
    return static_cast<qint64>(std::trunc(std::trunc(trueTime) - cameraTime));
}

qint64 TimeAdjustController::computeAdjustment(const QDateTime &trueTime, double cameraTime)
{
    return computeAdjustment(DateReader::toReference(trueTime), cameraTime);
}

QDateTime TimeAdjustController::displayedTime(double cameraTime)
{
    return DateReader::fromReference(cameraTime).toTimeZone(QTimeZone(0));
}

QString TimeAdjustController::adjustmentText(qint64 adjustment)
{
    return formatMessage("%ld", static_cast<long>(adjustment));
}

QString TimeAdjustController::adjustmentReport(qint64 adjustment)
{
    return formatMessage("%ld sec.", static_cast<long>(adjustment));
}

qint64 TimeAdjustController::adjustmentFromText(const QString &text)
{
    // Like the integer value of a text field: leading blanks, a sign and digits; the rest is
    // ignored.
    const QString trimmed = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < trimmed.size() && (trimmed[i] == u'-' || trimmed[i] == u'+'))
        negative = trimmed[i++] == u'-';
    qint64 value = 0;
    for (; i < trimmed.size() && trimmed[i].isDigit() && trimmed[i].unicode() < 128; ++i) {
        if (value > (std::numeric_limits<qint64>::max() - 9) / 10)
            break;
        value = value * 10 + (trimmed[i].unicode() - u'0');
    }
    return negative ? -value : value;
}

QString TimeAdjustController::differenceText(qint64 adjustment)
{
    if (adjustment == 0)
        return QStringLiteral("The true time is the camera's time.");
    // The magnitude as unsigned, so that the most negative value has one too.
    const quint64 total = adjustment < 0 ? quint64(0) - quint64(adjustment) : quint64(adjustment);
    const quint64 days = total / 86400;
    const quint64 hours = total % 86400 / 3600;
    const quint64 minutes = total % 3600 / 60;
    const quint64 seconds = total % 60;
    QStringList parts;
    if (days > 0)
        parts << plural(days, "day", "days");
    if (hours > 0)
        parts << QString::number(hours) + QStringLiteral(" h");
    if (minutes > 0)
        parts << QString::number(minutes) + QStringLiteral(" min");
    if (seconds > 0)
        parts << QString::number(seconds) + QStringLiteral(" s");
    return QStringLiteral("The true time is %1 %2 than the camera's.")
        .arg(parts.join(QLatin1Char(' ')),
             adjustment > 0 ? QStringLiteral("later") : QStringLiteral("earlier"));
}

void TimeAdjustController::prepare(const ThumbItemList &images, bool wantViewer, qint64 startIndex,
                                   std::function<void()> refreshBrowser)
{
    m_images = images;
    m_wantViewer = wantViewer;
    m_startIndex = startIndex;
    m_refreshBrowser = std::move(refreshBrowser);
    m_current.reset();
    m_currentRow = -1;
    m_metadataReady = false;
    m_cameraTime.reset();
}

QString TimeAdjustController::windowTitle() const
{
    return m_wantViewer ? QStringLiteral("Image Viewer") : QStringLiteral("Time Adjustment");
}

int TimeAdjustController::initialRow() const
{
    if (m_images.isEmpty())
        return -1;
    if (m_startIndex < 0 || m_startIndex >= m_images.size())
        return 0;
    return int(m_startIndex);
}

void TimeAdjustController::select(int row)
{
    if (row < 0 || row >= m_images.size()) {
        m_current.reset();
        m_currentRow = -1;
        m_metadataReady = false;
        m_cameraTime.reset();
        return;
    }
    m_current = m_images[row];
    m_currentRow = row;
    // Both date controls start at the camera time.
    m_adjustment = 0;
    refreshDates();
}

void TimeAdjustController::refreshDates()
{
    m_cameraTime.reset();
    m_metadataReady = false;
    if (!m_current)
        return;
    m_current->loadMetadata();
    m_metadataReady = m_current->metadata.has_value();
    if (!m_metadataReady)
        return;
    // The camera time is read the way the ingestion reads it for geotagging.
    std::unique_ptr<MacroProcessor> own;
    MacroProcessor *processor = MacroProcessor::sharedMacropProcessor();
    if (!processor) {
        own = std::make_unique<MacroProcessor>();
        processor = own.get();
    }
    if (processor->getExifDatetime(*m_current))
        m_cameraTime = m_current->exifDatetime;
}

bool TimeAdjustController::showsIngestBox() const
{
    return m_wantViewer && m_current && !m_current->excluded;
}

bool TimeAdjustController::showsExclusionMarker() const
{
    return m_wantViewer && m_current && m_current->excluded;
}

qint64 TimeAdjustController::setTrueTime(const QDateTime &trueTime)
{
    if (m_cameraTime)
        m_adjustment = computeAdjustment(trueTime, *m_cameraTime);
    return m_adjustment;
}

void TimeAdjustController::setCurrentChecked(bool checked)
{
    // An excluded item is never ticked.
    if (!m_current || (checked && m_current->excluded))
        return;
    m_current->checked = checked;
    if (m_refreshBrowser)
        m_refreshBrowser();
}

void TimeAdjustController::checkAll()
{
    for (const ThumbItemPtr &item : std::as_const(m_images))
        if (item && !item->excluded)
            item->checked = true;
    if (m_refreshBrowser)
        m_refreshBrowser();
}

void TimeAdjustController::checkNone()
{
    for (const ThumbItemPtr &item : std::as_const(m_images))
        if (item)
            item->checked = false;
    if (m_refreshBrowser)
        m_refreshBrowser();
}

QString TimeAdjustController::privateFolder()
{
    if (!m_privateFolder.isEmpty() && QDir(m_privateFolder).exists())
        return m_privateFolder;
    // A folder of our own, so that a file of the same name already in the temporary folder is
    // never shown by mistake, replaced or removed.
    for (const QString &base : {QDir::tempPath(), QDir::homePath()}) {
        QByteArray pattern = QFile::encodeName(base + QStringLiteral("/brindlewick-viewer-XXXXXX"));
        if (const char *made = mkdtemp(pattern.data())) {
            m_privateFolder = QFile::decodeName(made);
            return m_privateFolder;
        }
    }
    return QString();
}

void TimeAdjustController::fetchFile(const ThumbItemPtr &item, FileReady ready)
{
    if (!item) {
        ready(QString());
        return;
    }
    if (!item->isCameraItem()) {
        ready(item->path);
        return;
    }
    const QString folder = privateFolder();
    const QString name = item->title();
    if (folder.isEmpty() || name.isEmpty() || name.contains(QLatin1Char('/'))) {
        ready(QString());
        return;
    }
    // Fetched once per opening: a second look at the same image shows the saved file.
    const QString saved = folder + QLatin1Char('/') + name;
    if (m_pathsToRemove.contains(saved) && QFile::exists(saved)) {
        ready(saved);
        return;
    }
    std::weak_ptr<int> alive = m_alive;
    auto done = [this, alive, folder, ready](const QString &path) {
        const bool ours = !path.isEmpty() && path.startsWith(folder + QLatin1Char('/'));
        if (alive.expired() || m_privateFolder != folder) {
            // The dialog has closed meanwhile: the late file goes at once.
            if (ours)
                QFile::remove(path);
            QDir().rmdir(folder);
            return;
        }
        // Only what the camera saved in our own folder is ours to remove later.
        if (ours && !m_pathsToRemove.contains(path))
            m_pathsToRemove << path;
        ready(ours ? path : QString());
    };
    const CameraDownloader &download = m_downloader ? m_downloader : downloadFromCamera;
    if (!download(item, folder, name, done))
        ready(QString());
}

void TimeAdjustController::removeTemporaries()
{
    for (const QString &path : std::as_const(m_pathsToRemove))
        QFile::remove(path);
    m_pathsToRemove.clear();
    if (!m_privateFolder.isEmpty())
        QDir().rmdir(m_privateFolder); // only when empty: nothing of anyone else's goes
    m_privateFolder.clear();
}

void TimeAdjustController::finish(const QString &adjustmentField)
{
    removeTemporaries();
    m_adjustment = adjustmentFromText(adjustmentField);
}

void TimeAdjustController::cancel()
{
    removeTemporaries();
}
