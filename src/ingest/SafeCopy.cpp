#include "ingest/SafeCopy.h"

#include "platform/IoFaults.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Failure = CopyReport::Failure;

QString errnoText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

bool isDiskFull(int err)
{
    return err == ENOSPC || err == EDQUOT;
}

QString describe(Failure failure, const QString &source, const QString &folder, int err)
{
    const QString name = QFileInfo(source).fileName();
    switch (failure) {
    case Failure::TargetExists:
        return QStringLiteral("The file \"%1\" couldn't be copied to \"%2\" because an item with "
                              "the same name already exists.")
            .arg(name, folder);
    case Failure::DiskFull:
        return QStringLiteral("The file \"%1\" couldn't be copied to \"%2\" because the disk is "
                              "full (%3).")
            .arg(name, folder, errnoText(err));
    case Failure::SourceChanged:
        return QStringLiteral("The file \"%1\" changed while it was being copied to \"%2\"; the "
                              "copy was not kept.")
            .arg(name, folder);
    case Failure::Mismatch:
        return QStringLiteral("The copy of \"%1\" in \"%2\" differed from the original when it "
                              "was read back, twice; the copy was not kept.")
            .arg(name, folder);
    case Failure::Source:
        return QStringLiteral("The file \"%1\" couldn't be read: %2").arg(source, errnoText(err));
    default:
        return QStringLiteral("The file \"%1\" couldn't be copied to \"%2\": %3")
            .arg(name, folder, errnoText(err));
    }
}

// Closes a descriptor once.
struct Fd
{
    int fd = -1;
    ~Fd() { reset(); }
    void reset(int value = -1)
    {
        if (fd >= 0)
            ::close(fd);
        fd = value;
    }
};

struct Attempt
{
    Attempt() = default;
    Attempt(Failure f, int e, bool a = false, const QString &w = QString())
        : failure(f), error(e), again(a), why(w)
    {}

    Failure failure = Failure::None;
    int error = 0;
    bool again = false; // worth one more try from the source
    QString why;        // for the record of retries
};

} // namespace

const char *SafeCopier::temporaryPrefix()
{
    return CopySteps::kTemporaryPrefix;
}

void SafeCopier::setFailAfterBytes(qint64 bytes)
{
    if (bytes < 0) {
        IoFaults::clear();
        return;
    }
    IoFaults::Plan plan;
    plan.rules.push_back({IoFaults::Op::DestinationWrite, ENOSPC, bytes, 0, -1});
    IoFaults::install(plan);
}

int SafeCopier::removeStrayTemporaries(const QString &folder)
{
    return CopySteps::removeStrayTemporaries(QFile::encodeName(folder));
}

void SafeCopier::sweep(const QString &folder)
{
    // One spelling per folder: a second sweep would take this run's own twins waiting there.
    const QString key = QDir::cleanPath(QDir(folder).absolutePath());
    if (m_swept.contains(key))
        return;
    removeStrayTemporaries(folder);
    m_swept.insert(key);
}

bool SafeCopier::copyFile(const QString &source, const QString &target, QString *error,
                          const ChunkCallback &onChunk)
{
    const CopyReport report = copy(source, target, onChunk);
    if (error)
        *error = report.error;
    return report.ok();
}

QStringList SafeCopier::syncFolders()
{
    QStringList failures;
    for (const QString &folder : std::as_const(m_unsyncedFolders))
        if (const int err = CopySteps::syncFolder(QFile::encodeName(folder)))
            failures << QStringLiteral("%1: %2").arg(folder, errnoText(err));
    m_unsyncedFolders.clear();
    return failures;
}

CopyReport SafeCopier::copy(const QString &source, const QString &target,
                            const ChunkCallback &onChunk, CopySteps::ByteSink *check)
{
    CopyOptions options;
    options.onChunk = onChunk;
    options.check = check;
    return copy(source, target, options);
}

CopyReport SafeCopier::copy(const QString &source, const QString &target,
                            const CopyOptions &options)
{
    const QFileInfo targetInfo(target);
    const QString folder = targetInfo.absolutePath();
    sweep(folder);
    CopyReport report;
    const auto fail = [&](Failure failure, int err) {
        report.failure = failure;
        report.error = describe(failure, source, folder, err);
        return report;
    };

    const QByteArray folderBytes = QFile::encodeName(folder);
    const QByteArray finalName = QFile::encodeName(targetInfo.fileName());
    Fd dir;
    dir.reset(::open(folderBytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd < 0)
        return fail(Failure::Destination, errno);
    struct stat st;
    if (::fstatat(dir.fd, finalName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return fail(Failure::TargetExists, EEXIST);

    Fd in;
    in.reset(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
    if (in.fd < 0)
        return fail(Failure::Source, errno);
    struct stat before;
    if (::fstat(in.fd, &before) != 0)
        return fail(Failure::Source, errno);
    if (!S_ISREG(before.st_mode))
        return fail(Failure::Source, S_ISDIR(before.st_mode) ? EISDIR : EINVAL);
    const timespec times[2] = {before.st_atim, before.st_mtim};

    // The new head, made once from the source's first bytes; read again with the rest on each
    // attempt, since the source is only trusted as read in one pass.
    HeadRewrite rewrite;
    if (options.rewriteHead) {
        constexpr qint64 kMaxHead = 16 << 20;
        QByteArray head;
        for (qint64 want = 64 << 10; want <= kMaxHead; want *= 2) {
            if (const int err = CopySteps::readPiece(in.fd, 0, want, &head))
                return fail(Failure::Source, err);
            const bool complete = head.size() < want;
            rewrite = options.rewriteHead(head, complete);
            if (rewrite.status != HeadRewrite::Status::NeedMore)
                break;
        }
        if (rewrite.status != HeadRewrite::Status::Done)
            rewrite = HeadRewrite();
    }
    const bool rewriting = rewrite.status == HeadRewrite::Status::Done;
    const timespec rewrittenTimes[2] = {before.st_mtim, before.st_mtim};

    // Twins of this copy for later trees; whatever is not handed out in the report goes.
    struct Twins
    {
        std::vector<TwinCopy> made;
        std::vector<CopySteps::ExtraOutput> outputs;
        void drop(size_t i)
        {
            if (outputs[i].fd >= 0)
                ::close(outputs[i].fd);
            outputs[i].fd = -1;
            if (!made[i].name.isEmpty())
                SafeCopier::discardTwin(made[i]);
            made[i].name.clear();
        }
        void dropAll()
        {
            for (size_t i = 0; i < made.size(); ++i)
                drop(i);
            made.clear();
            outputs.clear();
        }
        ~Twins() { dropAll(); }
    } twins;
    for (const QString &twinFolder : options.twinFolders)
        sweep(twinFolder);

    // One attempt: a temporary written, synced and (with verification) read back. On success
    // the temporary's name is left in `temporary` and its descriptor in `out`.
    QByteArray temporary;
    Fd out;
    const auto attempt = [&]() -> Attempt {
        twins.dropAll();
        out.reset(CopySteps::createTemporary(folderBytes, &temporary));
        if (out.fd < 0) {
            const int err = errno;
            return Attempt(isDiskFull(err) ? Failure::DiskFull : Failure::Destination, err);
        }
        for (const QString &twinFolder : options.twinFolders) {
            TwinCopy twin;
            twin.folder = QDir::cleanPath(QDir(twinFolder).absolutePath());
            const int fd = CopySteps::createTemporary(QFile::encodeName(twinFolder), &twin.name);
            if (fd < 0)
                continue;
            twins.made.push_back(twin);
            twins.outputs.push_back({fd, 0});
        }
        const auto discard = [&](Attempt result) {
            out.reset();
            ::unlinkat(dir.fd, temporary.constData(), 0);
            twins.dropAll();
            return result;
        };
        const auto destinationFault = [&](int err, const char *step) {
            if (isDiskFull(err))
                return discard(Attempt{Failure::DiskFull, err});
            return discard(
                Attempt{Failure::Destination, err, true,
                        QStringLiteral("%1 failed: %2").arg(QLatin1String(step), errnoText(err))});
        };

        if (::lseek(in.fd, rewriting ? rewrite.replaced : 0, SEEK_SET) < 0)
            return discard(Attempt{Failure::Source, errno});
        // Hashed either way: the manifest lists what was copied.
        CopySteps::Transfer transfer =
            CopySteps::copyAndHash(in.fd, out.fd, rewriting ? rewrite.head : QByteArray(),
                                   twins.outputs, options.onChunk, options.check);
        if (rewriting)
            transfer.sourceBytes += rewrite.replaced;
        if (transfer.error != 0) {
            if (transfer.sourceSide)
                return discard(Attempt{Failure::Source, transfer.error});
            return destinationFault(transfer.error, "writing");
        }
        struct stat after;
        if (::fstat(in.fd, &after) != 0)
            return discard(Attempt{Failure::Source, errno});
        if (transfer.sourceBytes != before.st_size || after.st_size != before.st_size ||
            after.st_mtim.tv_sec != before.st_mtim.tv_sec ||
            after.st_mtim.tv_nsec != before.st_mtim.tv_nsec)
            return discard(Attempt{Failure::SourceChanged, 0});

        // Readable and writable by the owner, so later steps may add metadata to the copy.
        const mode_t mode =
            rewriting ? options.rewrittenMode : (before.st_mode & 0777) | S_IRUSR | S_IWUSR;
        ::fchmod(out.fd, mode);
        if (::futimens(out.fd, rewriting ? rewrittenTimes : times) != 0)
            return destinationFault(errno, "setting the time");
        for (const CopySteps::ExtraOutput &twin : twins.outputs) {
            ::fchmod(twin.fd, options.twinMode ? options.twinMode : mode);
            ::futimens(twin.fd, rewriting ? rewrittenTimes : times);
        }
        if (const int err = CopySteps::durableSync(out.fd))
            return destinationFault(err, "fsync");
        if (m_verify) {
            if (IoFaults::takeFlip())
                CopySteps::flipMiddleByte(out.fd);
            Hash128 readBack;
            qint64 readBytes = 0;
            if (const int err = CopySteps::readBackHash(out.fd, &readBack, &readBytes))
                return destinationFault(err, "reading back");
            if (readBytes != transfer.bytes || !(readBack == transfer.hash))
                return discard(
                    Attempt{Failure::Mismatch, 0, true,
                            QStringLiteral("the copy read back differed from the original")});
            report.verified = true;
        } else {
            CopySteps::dropCache(out.fd);
        }
        // The twins hold the same bytes once their own sync and read-back say so.
        for (size_t i = 0; i < twins.made.size(); ++i) {
            const int fd = twins.outputs[i].fd;
            bool good = twins.outputs[i].error == 0 && CopySteps::durableSync(fd) == 0;
            if (good && m_verify) {
                Hash128 readBack;
                qint64 readBytes = 0;
                good = CopySteps::readBackHash(fd, &readBack, &readBytes) == 0 &&
                       readBytes == transfer.bytes && readBack == transfer.hash;
            } else if (good) {
                CopySteps::dropCache(fd);
            }
            good = ::close(fd) == 0 && good;
            twins.outputs[i].fd = -1;
            if (!good) {
                twins.drop(i);
                continue;
            }
            twins.made[i].hash = transfer.hash;
            twins.made[i].size = transfer.bytes;
            twins.made[i].verified = m_verify;
        }
        report.hash = transfer.hash;
        report.size = transfer.bytes;
        report.rewritten = rewriting;
        report.modified = before.st_mtim.tv_sec;
        if (::close(out.fd) != 0) {
            out.fd = -1;
            return destinationFault(errno, "closing");
        }
        out.fd = -1;
        return {};
    };

    Attempt result = attempt();
    if (result.again) {
        report.retries << result.why;
        result = attempt();
    }
    if (result.failure != Failure::None)
        return fail(result.failure, result.error);

    if (const int err = CopySteps::placeNoReplace(dir.fd, temporary.constData(),
                                                  finalName.constData(), !m_groupFolderSyncs)) {
        ::unlinkat(dir.fd, temporary.constData(), 0);
        report.verified = false;
        return fail(err == EEXIST ? Failure::TargetExists : Failure::Destination, err);
    }
    if (m_groupFolderSyncs && !m_unsyncedFolders.contains(folder))
        m_unsyncedFolders << folder;
    for (TwinCopy &twin : twins.made)
        if (!twin.name.isEmpty())
            report.twins << twin;
    twins.made.clear();
    twins.outputs.clear();
    return report;
}

void SafeCopier::discardTwin(const TwinCopy &twin)
{
    ::unlink((QFile::encodeName(twin.folder) + '/' + twin.name).constData());
}

std::optional<CopyReport> SafeCopier::placeTwin(const TwinCopy &twin, const QString &source,
                                                const QString &target)
{
    const QFileInfo targetInfo(target);
    const QString folder = targetInfo.absolutePath();
    struct Discard
    {
        const TwinCopy &twin;
        bool keep = false;
        ~Discard()
        {
            if (!keep)
                SafeCopier::discardTwin(twin);
        }
    } discard{twin};
    if (QDir::cleanPath(folder) != twin.folder)
        return std::nullopt;

    CopyReport report;
    const QByteArray finalName = QFile::encodeName(targetInfo.fileName());
    Fd dir;
    dir.reset(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd < 0)
        return std::nullopt;
    struct stat st;
    if (::fstatat(dir.fd, finalName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        report.failure = Failure::TargetExists;
        report.error = describe(Failure::TargetExists, source, folder, EEXIST);
        return report;
    }
    struct stat from;
    if (::stat(QFile::encodeName(source).constData(), &from) != 0)
        return std::nullopt;
    Fd fd;
    fd.reset(::openat(dir.fd, twin.name.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
    // Gone (another run's sweep took it while it was unlocked) or not what was written.
    if (fd.fd < 0 || ::fstat(fd.fd, &st) != 0 || st.st_size != twin.size)
        return std::nullopt;
    // The mode and modification time a copy of the source would have been given, on the disk
    // with the data: mostly they were foreseen when the twin was written and synced.
    const mode_t mode = (from.st_mode & 0777) | S_IRUSR | S_IWUSR;
    if ((st.st_mode & 07777) != mode || st.st_mtim.tv_sec != from.st_mtim.tv_sec ||
        st.st_mtim.tv_nsec != from.st_mtim.tv_nsec) {
        const timespec times[2] = {from.st_atim, from.st_mtim};
        if (::fchmod(fd.fd, mode) != 0 || ::futimens(fd.fd, times) != 0 ||
            CopySteps::durableSync(fd.fd) != 0)
            return std::nullopt;
    }
    fd.reset();
    if (const int err = CopySteps::placeNoReplace(dir.fd, twin.name.constData(),
                                                  finalName.constData(), !m_groupFolderSyncs)) {
        if (err != EEXIST)
            return std::nullopt;
        report.failure = Failure::TargetExists;
        report.error = describe(Failure::TargetExists, source, folder, EEXIST);
        return report;
    }
    discard.keep = true;
    if (m_groupFolderSyncs && !m_unsyncedFolders.contains(folder))
        m_unsyncedFolders << folder;
    report.verified = twin.verified;
    report.hash = twin.hash;
    report.size = twin.size;
    report.modified = from.st_mtim.tv_sec;
    return report;
}
