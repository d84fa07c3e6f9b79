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

bool SafeCopier::swept(const QString &folder) const
{
    return m_swept.contains(QDir::cleanPath(QDir(folder).absolutePath()));
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

namespace {

// Twins of one copy for later trees; whatever is not handed out in the report goes.
struct TwinSet
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
    ~TwinSet() { dropAll(); }
};

} // namespace

// A copy from its first byte written to its placement. write() runs on the caller's thread and
// feeds the options' callbacks; settle() (sync and read-back) touches nothing but this object
// and the disk, so it may run on another thread while the caller writes the next copy.
struct PendingCopy
{
    QString source;
    QString folder;
    QByteArray folderBytes;
    QByteArray finalName;
    CopyOptions options;
    bool verify = true;
    std::optional<CopyReport> early; // failed before anything was written
    Fd dir;
    Fd in;
    struct stat before = {};
    timespec times[2] = {};
    timespec rewrittenTimes[2] = {};
    HeadRewrite rewrite;
    bool rewriting = false;
    TwinSet twins;
    QByteArray temporary; // on the disk until placed or discarded
    bool placed = false;
    Fd out;
    CopySteps::Transfer transfer;
    CopyReport report;
    Attempt outcome; // of the latest write, then of its settling

    ~PendingCopy()
    {
        out.reset();
        if (!placed && !temporary.isEmpty() && dir.fd >= 0)
            ::unlinkat(dir.fd, temporary.constData(), 0);
    }

    Attempt discard(Attempt result)
    {
        out.reset();
        if (!temporary.isEmpty())
            ::unlinkat(dir.fd, temporary.constData(), 0);
        temporary.clear();
        twins.dropAll();
        return result;
    }
    Attempt destinationFault(int err, const char *step)
    {
        if (isDiskFull(err))
            return discard(Attempt{Failure::DiskFull, err});
        return discard(
            Attempt{Failure::Destination, err, true,
                    QStringLiteral("%1 failed: %2").arg(QLatin1String(step), errnoText(err))});
    }

    // A temporary written from the source with its twins, given its mode and times.
    Attempt write()
    {
        twins.dropAll();
        temporary.clear();
        out.reset(CopySteps::createTemporary(folderBytes, &temporary));
        if (out.fd < 0) {
            const int err = errno;
            temporary.clear();
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

        if (::lseek(in.fd, rewriting ? rewrite.replaced : 0, SEEK_SET) < 0)
            return discard(Attempt{Failure::Source, errno});
        // Hashed either way: the manifest lists what was copied.
        transfer = CopySteps::copyAndHash(in.fd, out.fd, rewriting ? rewrite.head : QByteArray(),
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
        return {};
    }

    // The written temporary made durable and (with verification) read back; its twins too.
    Attempt settle()
    {
        if (const int err = CopySteps::durableSync(out.fd))
            return destinationFault(err, "fsync");
        if (verify) {
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
            if (good && verify) {
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
            twins.made[i].verified = verify;
        }
        report.hash = transfer.hash;
        report.size = transfer.bytes;
        report.rewritten = rewriting;
        report.modified = before.st_mtim.tv_sec;
        const int closed = ::close(out.fd);
        out.fd = -1;
        if (closed != 0)
            return destinationFault(errno, "closing");
        return {};
    }
};

void PendingCopyDelete::operator()(PendingCopy *copy) const
{
    delete copy;
}

CopyReport SafeCopier::copy(const QString &source, const QString &target,
                            const CopyOptions &options)
{
    PendingCopyPtr pending = begin(source, target, options);
    settle(*pending);
    return finish(std::move(pending));
}

PendingCopyPtr SafeCopier::begin(const QString &source, const QString &target,
                                 const CopyOptions &options)
{
    PendingCopyPtr p(new PendingCopy);
    const QFileInfo targetInfo(target);
    p->source = source;
    p->folder = targetInfo.absolutePath();
    p->options = options;
    p->verify = m_verify;
    sweep(p->folder);
    const auto fail = [&](Failure failure, int err) {
        CopyReport report;
        report.failure = failure;
        report.error = describe(failure, source, p->folder, err);
        p->early = report;
        return std::move(p);
    };

    p->folderBytes = QFile::encodeName(p->folder);
    p->finalName = QFile::encodeName(targetInfo.fileName());
    p->dir.reset(::open(p->folderBytes.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (p->dir.fd < 0)
        return fail(Failure::Destination, errno);
    struct stat st;
    if (::fstatat(p->dir.fd, p->finalName.constData(), &st, AT_SYMLINK_NOFOLLOW) == 0)
        return fail(Failure::TargetExists, EEXIST);

    p->in.reset(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
    if (p->in.fd < 0)
        return fail(Failure::Source, errno);
    if (::fstat(p->in.fd, &p->before) != 0)
        return fail(Failure::Source, errno);
    if (!S_ISREG(p->before.st_mode))
        return fail(Failure::Source, S_ISDIR(p->before.st_mode) ? EISDIR : EINVAL);
    p->times[0] = p->before.st_atim;
    p->times[1] = p->before.st_mtim;

    // The new head, made once from the source's first bytes; read again with the rest on each
    // attempt, since the source is only trusted as read in one pass.
    if (options.rewriteHead) {
        constexpr qint64 kMaxHead = 16 << 20;
        QByteArray head;
        for (qint64 want = 64 << 10; want <= kMaxHead; want *= 2) {
            if (const int err = CopySteps::readPiece(p->in.fd, 0, want, &head))
                return fail(Failure::Source, err);
            const bool complete = head.size() < want;
            p->rewrite = options.rewriteHead(head, complete);
            if (p->rewrite.status != HeadRewrite::Status::NeedMore)
                break;
        }
        if (p->rewrite.status != HeadRewrite::Status::Done)
            p->rewrite = HeadRewrite();
    }
    p->rewriting = p->rewrite.status == HeadRewrite::Status::Done;
    p->rewrittenTimes[0] = p->before.st_mtim;
    p->rewrittenTimes[1] = p->before.st_mtim;

    for (const QString &twinFolder : options.twinFolders)
        sweep(twinFolder);
    p->outcome = p->write();
    return p;
}

bool SafeCopier::settle(PendingCopy &copy)
{
    if (!copy.early && copy.outcome.failure == Failure::None)
        copy.outcome = copy.settle();
    return !copy.early && copy.outcome.failure == Failure::None;
}

bool SafeCopier::isRewriting(const PendingCopy &copy)
{
    return copy.rewriting;
}

CopyReport SafeCopier::finish(PendingCopyPtr p)
{
    if (p->early)
        return *p->early;
    CopyReport &report = p->report;
    Attempt result = p->outcome;
    if (result.again) {
        // Once more from the source, here and now.
        report.retries << result.why;
        result = p->write();
        if (result.failure == Failure::None)
            result = p->settle();
    }
    if (result.failure != Failure::None) {
        report.failure = result.failure;
        report.error = describe(result.failure, p->source, p->folder, result.error);
        return report;
    }

    if (const int err = CopySteps::placeNoReplace(p->dir.fd, p->temporary.constData(),
                                                  p->finalName.constData(), !m_groupFolderSyncs)) {
        ::unlinkat(p->dir.fd, p->temporary.constData(), 0);
        p->temporary.clear();
        report.verified = false;
        const Failure failure = err == EEXIST ? Failure::TargetExists : Failure::Destination;
        report.failure = failure;
        report.error = describe(failure, p->source, p->folder, err);
        return report;
    }
    p->placed = true;
    if (m_groupFolderSyncs && !m_unsyncedFolders.contains(p->folder))
        m_unsyncedFolders << p->folder;
    for (TwinCopy &twin : p->twins.made)
        if (!twin.name.isEmpty())
            report.twins << twin;
    p->twins.made.clear();
    p->twins.outputs.clear();
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
