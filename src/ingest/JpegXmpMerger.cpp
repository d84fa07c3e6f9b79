#include "ingest/JpegXmpMerger.h"

#include "ingest/JpegHeadRewrite.h"
#include "ingest/SafeCopy.h"
#include "log/ConsoleLog.h"
#include "platform/AtomicFile.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool fileExists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

class FileHandle
{
public:
    FileHandle() = default;
    ~FileHandle() { close(); }
    FileHandle(const FileHandle &) = delete;
    FileHandle &operator=(const FileHandle &) = delete;

    bool open(const std::string &path, const char *mode)
    {
        close();
        m_file = std::fopen(path.c_str(), mode);
        return m_file != nullptr;
    }
    // Takes over a descriptor opened elsewhere.
    bool adopt(int fd, const char *mode)
    {
        close();
        m_file = ::fdopen(fd, mode);
        if (!m_file)
            ::close(fd);
        return m_file != nullptr;
    }
    // Answers false when buffered output could not be written out.
    bool close()
    {
        bool ok = true;
        if (m_file)
            ok = std::fclose(m_file) == 0;
        m_file = nullptr;
        return ok;
    }
    FILE *get() const { return m_file; }

private:
    FILE *m_file = nullptr;
};

// Reads the input's head until the rewrite has seen all of it (or the file ends).
JpegHeadRewrite readAndRewriteHead(FILE *in, const QByteArray &text)
{
    QByteArray head;
    qsizetype want = 64 * 1024;
    for (;;) {
        const qsizetype had = head.size();
        head.resize(want);
        const size_t got = std::fread(head.data() + had, 1, size_t(want - had), in);
        head.resize(had + qsizetype(got));
        const bool complete = head.size() < want;
        JpegHeadRewrite rewrite = rewriteJpegHead(head, text, complete);
        if (rewrite.status != JpegHeadRewrite::Status::NeedMore)
            return rewrite;
        want *= 2;
    }
}

bool copyRest(FILE *in, FILE *out)
{
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        if (std::fwrite(buffer, 1, got, out) != got) {
            logPuts("\n\nwrite error - possibly out of space");
            return false;
        }
    }
    if (std::ferror(in)) {
        logPuts("\n\nPremature EOF in JPEG file");
        return false;
    }
    return true;
}

// Keeps the new XMP text as a sidecar when it cannot go into the JPEG: "<base>.xmp", or, when a
// raw file of the same base name owns that one, "<name>.xmp" ("IMG_1.JPG.xmp"). An existing file
// is never replaced. Answers the name it is kept under (empty when both are taken).
std::string keepAsSidecar(const std::string &xmpName, const std::string &path,
                          const std::string &base)
{
    for (const std::string &sidecar : {base + ".xmp", path + ".xmp"}) {
        if (sidecar == xmpName)
            return sidecar;
        if (::link(xmpName.c_str(), sidecar.c_str()) == 0) {
            ::unlink(xmpName.c_str());
            return sidecar;
        }
    }
    return std::string();
}

void reportKept(const std::string &kept)
{
    if (kept.empty())
        logPuts("XMP not kept: both sidecar names are taken\n");
    else
        logPrintf("XMP kept in %s\n", kept.c_str());
}

} // namespace

bool mergeXmpIntoJpeg(const QString &jpegPath)
{
    return mergeXmpIntoJpeg(QFile::encodeName(jpegPath).constData());
}

bool mergeXmpIntoJpeg(const char *jpegPath)
{
    if (!jpegPath)
        return true;
    const std::string path(jpegPath);
    if (path.size() < 5)
        return true;
    const std::string base = path.substr(0, path.size() - 4);
    std::string xmpName = base + ".xmpjpg";
    if (!fileExists(xmpName)) {
        xmpName = base + ".xmp";
        if (!fileExists(xmpName))
            return true;
    }
    if (::access(xmpName.c_str(), R_OK) != 0) {
        const int error = errno;
        logPuts("\n\nXMP file does not exist or is not accessible:\n");
        logPrintf("\t%s (errno=%d)\n", xmpName.c_str(), error);
        return false;
    }

    FileHandle in;
    FileHandle out;
    if (!in.open(path, "rb")) {
        logPrintf("\n\ncan't open %s", path.c_str());
        return false;
    }
    QByteArray text;
    {
        FileHandle xmp;
        if (!xmp.open(xmpName, "rb")) {
            logPrintf("\n\ncan't open %s", xmpName.c_str());
            return false;
        }
        char chunk[4096];
        size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, xmp.get())) > 0)
            text.append(chunk, qsizetype(got));
        if (std::ferror(xmp.get())) {
            logPuts("\n\nError reading fileXMP");
            return false;
        }
    }
    const qsizetype zero = text.indexOf('\0');
    if (zero >= 0)
        text.truncate(zero);

    using Status = JpegHeadRewrite::Status;
    const JpegHeadRewrite rewrite = readAndRewriteHead(in.get(), text);
    switch (rewrite.status) {
    case Status::Done:
        break;
    case Status::NotJpeg:
        return true; // not a JPEG: left alone, its XMP file stays
    case Status::NeedMore:
    case Status::PrematureEnd:
        logPuts("\n\nPremature EOF in JPEG file");
        return false;
    case Status::Garbage:
        logPuts("\n\ngarbage data found in JPEG file\n");
        return false;
    case Status::SosWithoutSof:
        logPuts("\n\nSOS without prior SOFn");
        return false;
    case Status::BadLength:
        logPuts("\n\nErroneous JPEG marker length");
        return false;
    case Status::MergeFailed:
        // The packets the camera or an earlier program wrote keep every property the new text
        // does not set (some devices keep their capture date, model and position only there):
        // when they cannot be merged, the text waits beside the JPEG instead.
        logPrintf("\n\nThe XMP already in %s could not be merged (%s); JPEG left unchanged, ",
                  path.c_str(), rewrite.why.toUtf8().constData());
        reportKept(keepAsSidecar(xmpName, path, base));
        return false;
    case Status::TooLong:
        logPrintf("\n\nXMP text of %lld bytes is too long for a JPEG segment (at most %lld "
                  "bytes); JPEG left unchanged, ",
                  static_cast<long long>(rewrite.tooLongSize),
                  static_cast<long long>(kMaxXmpTextInSegment));
        reportKept(keepAsSidecar(xmpName, path, base));
        return false;
    }

    // A private name beside the JPEG: created exclusively, so nothing planted there (a link to
    // another file) is ever written through; an interrupted run's remains are swept later.
    const std::string::size_type slash = path.rfind('/');
    const QByteArray folder = slash == std::string::npos ? QByteArray(".")
                              : slash == 0               ? QByteArray("/")
                                           : QByteArray(path.c_str(), qsizetype(slash));
    const TemporaryFile temporary = createTemporaryFile(folder, SafeCopier::temporaryPrefix());
    if (temporary.fd < 0 || !out.adopt(temporary.fd, "wb")) {
        logPrintf("\n\ncan't open %s", temporary.path.constData());
        return false;
    }
    const std::string tempName = temporary.path.toStdString();
    // From here on a failure leaves the input as it was and takes the partial copy away.
    auto fail = [&]() {
        out.close();
        ::unlink(tempName.c_str());
        return false;
    };
    if (std::fwrite(rewrite.head.constData(), 1, size_t(rewrite.head.size()), out.get()) !=
        size_t(rewrite.head.size())) {
        logPuts("\n\nwrite error - possibly out of space");
        return fail();
    }
    if (std::fseek(in.get(), long(rewrite.replaced), SEEK_SET) != 0) {
        logPuts("\n\nPremature EOF in JPEG file");
        return fail();
    }
    if (!copyRest(in.get(), out.get()))
        return fail();
    // The copy must be on disk before it takes the original's place.
    if (std::fflush(out.get()) != 0 || ::fsync(fileno(out.get())) != 0 || !out.close()) {
        logPuts("\n\nwrite error - possibly out of space");
        return fail();
    }
    in.close();

    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        logPrintf("\n\ncan't get stat of %s", path.c_str());
        return fail();
    }
    ::chmod(tempName.c_str(), st.st_mode & 07777);
    // One rename replaces the original: there is never a moment without the image.
    if (!replaceWithTemporary(temporary.path, QByteArray(path.c_str()))) {
        logPrintf("\n\ncan't rename %s to %s", tempName.c_str(), path.c_str());
        return fail();
    }
    const struct timespec times[2] = {st.st_mtim, st.st_mtim};
    if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0)
        logPrintf("\n\nWARNING: Failed to set modification time for %s\n", path.c_str());

    if (::unlink(xmpName.c_str()) != 0) {
        logPrintf("\n\ncan't unlink %s", xmpName.c_str());
        return false;
    }
    return true;
}
