#include "ingest/JpegXmpMerger.h"

#include "ingest/SafeCopy.h"
#include "ingest/XmpPacket.h"
#include "log/ConsoleLog.h"
#include "platform/AtomicFile.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kMarker = 0xFF;
constexpr int kSOI = 0xD8;
constexpr int kSOS = 0xDA;
constexpr int kAPP1 = 0xE1;

// Frame and table markers (and EOI): the XMP segment goes in front of the first of them.
bool isStopCode(int code)
{
    return (code >= 0xC0 && code <= 0xC7) || (code >= 0xC9 && code <= 0xCB) ||
           (code >= 0xCD && code <= 0xCF) || code == 0xDB || code == 0xD9;
}

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

// One merge: the open files and the byte operations, each reporting its own error.
class Merge
{
public:
    FileHandle in;
    FileHandle out;
    // The XMP packets already in the file, in their order; merged with the new text.
    std::vector<QByteArray> packets;

    bool readByte(int &byte)
    {
        byte = std::getc(in.get());
        if (byte == EOF) {
            logPuts("\n\nPremature EOF in JPEG file");
            return false;
        }
        return true;
    }
    bool read2(unsigned &value)
    {
        int hi = 0, lo = 0;
        if (!readByte(hi) || !readByte(lo))
            return false;
        value = (unsigned(hi) << 8) | unsigned(lo);
        return true;
    }
    bool writeBytes(const void *data, size_t size)
    {
        if (size > 0 && std::fwrite(data, 1, size, out.get()) != size) {
            logPuts("\n\nwrite error - possibly out of space");
            return false;
        }
        return true;
    }
    bool writeByte(int byte)
    {
        const unsigned char c = static_cast<unsigned char>(byte);
        return writeBytes(&c, 1);
    }
    bool writeMarker(int code) { return writeByte(kMarker) && writeByte(code); }
    bool write2(unsigned value)
    {
        return writeByte((value >> 8) & 0xFF) && writeByte(value & 0xFF);
    }

    // Copies `count` payload bytes from the input to the output (or drops them).
    bool copyBytes(size_t count, bool keep)
    {
        char buffer[65536];
        while (count > 0) {
            const size_t want = std::min(count, sizeof buffer);
            const size_t got = std::fread(buffer, 1, want, in.get());
            if (got != want) {
                logPuts("\n\nPremature EOF in JPEG file");
                return false;
            }
            if (keep && !writeBytes(buffer, got))
                return false;
            count -= got;
        }
        return true;
    }
    bool readBytes(size_t count, QByteArray &into)
    {
        into.resize(qsizetype(count));
        if (count > 0 && std::fread(into.data(), 1, count, in.get()) != count) {
            logPuts("\n\nPremature EOF in JPEG file");
            return false;
        }
        return true;
    }
    bool copyRest()
    {
        char buffer[65536];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, in.get())) > 0) {
            if (!writeBytes(buffer, got))
                return false;
        }
        return true;
    }

    // The marker walk up to the first stop code, which it answers in `stopCode`.
    bool copyHeader(int &stopCode)
    {
        for (;;) {
            int c = 0;
            if (!readByte(c))
                return false;
            bool skipped = false;
            while (c != kMarker) {
                skipped = true;
                if (!readByte(c))
                    return false;
            }
            while (c == kMarker) {
                if (!readByte(c))
                    return false;
            }
            if (skipped) {
                logPuts("\n\ngarbage data found in JPEG file\n");
                return false;
            }
            const int code = c;
            if (code == kSOS) {
                logPuts("\n\nSOS without prior SOFn");
                return false;
            }
            if (isStopCode(code)) {
                stopCode = code;
                return true;
            }
            unsigned length = 0;
            if (code == kAPP1) {
                if (!read2(length))
                    return false;
                if (length < 2) {
                    logPuts("\n\nErroneous JPEG marker length");
                    return false;
                }
                if (length == 2)
                    continue; // empty APP1: dropped
                if (!copyApp1(length))
                    return false;
                continue;
            }
            if (!writeMarker(code) || !read2(length) || !write2(length))
                return false;
            if (length < 2) {
                logPuts("\n\nErroneous JPEG marker length");
                return false;
            }
            if (!copyBytes(length - 2, true))
                return false;
        }
    }

    // An APP1 whose payload opens with the whole XMP identifier is taken out to be merged with
    // the new text; any other is kept.
    bool copyApp1(unsigned length)
    {
        const size_t payload = length - 2;
        unsigned char seen[kXmpJpegIdentifierLength];
        size_t compared = 0;
        bool matching = true;
        while (matching && compared < size_t(kXmpJpegIdentifierLength) && compared < payload) {
            int c = 0;
            if (!readByte(c))
                return false;
            seen[compared] = static_cast<unsigned char>(c);
            matching = c == static_cast<unsigned char>(kXmpJpegIdentifier[compared]);
            ++compared;
        }
        if (matching && compared == size_t(kXmpJpegIdentifierLength)) {
            QByteArray packet;
            if (!readBytes(payload - compared, packet))
                return false;
            if (packet.startsWith('\0'))
                packet.remove(0, 1);
            const qsizetype end = packet.indexOf('\0'); // padding some writers leave
            if (end >= 0)
                packet.truncate(end);
            packets.push_back(packet);
            return true;
        }
        return writeMarker(kAPP1) && write2(length) && writeBytes(seen, compared) &&
               copyBytes(payload - compared, true);
    }

    bool writeXmpSegment(const QByteArray &text)
    {
        return writeMarker(kAPP1) && write2(unsigned(text.size()) + 31) &&
               writeBytes(kXmpJpegIdentifier, kXmpJpegIdentifierLength) && writeByte(0) &&
               writeBytes(text.constData(), size_t(text.size()));
    }
};

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

    Merge merge;
    if (!merge.in.open(path, "rb")) {
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

    int first = 0, second = 0;
    if (!merge.readByte(first) || !merge.readByte(second))
        return false;
    if (first != kMarker || second != kSOI)
        return true; // not a JPEG: left alone, its XMP file stays

    // A private name beside the JPEG: created exclusively, so nothing planted there (a link to
    // another file) is ever written through; an interrupted run's remains are swept later.
    const std::string::size_type slash = path.rfind('/');
    const QByteArray folder = slash == std::string::npos ? QByteArray(".")
                              : slash == 0               ? QByteArray("/")
                                           : QByteArray(path.c_str(), qsizetype(slash));
    const TemporaryFile temporary = createTemporaryFile(folder, SafeCopier::temporaryPrefix());
    if (temporary.fd < 0 || !merge.out.adopt(temporary.fd, "wb")) {
        logPrintf("\n\ncan't open %s", temporary.path.constData());
        return false;
    }
    const std::string tempName = temporary.path.toStdString();
    // From here on a failure leaves the input as it was and takes the partial copy away.
    auto fail = [&]() {
        merge.out.close();
        ::unlink(tempName.c_str());
        return false;
    };
    int stopCode = 0;
    if (!merge.writeMarker(kSOI) || !merge.copyHeader(stopCode))
        return fail();

    // The packets the camera or an earlier program wrote keep every property the new text does
    // not set: some devices keep their capture date, model and position only there.
    std::vector<QByteArray> segments;
    if (text.isEmpty() || merge.packets.empty()) {
        segments = merge.packets;
        if (!text.isEmpty())
            segments.push_back(text);
    } else {
        std::optional<QByteArray> merged = merge.packets.front();
        QString why;
        for (size_t i = 1; merged && i < merge.packets.size(); ++i)
            merged = mergeXmpPackets(*merged, merge.packets[i], &why);
        if (merged)
            merged = mergeXmpPackets(*merged, text, &why);
        if (!merged) {
            fail();
            logPrintf("\n\nThe XMP already in %s could not be merged (%s); JPEG left unchanged, ",
                      path.c_str(), why.toUtf8().constData());
            reportKept(keepAsSidecar(xmpName, path, base));
            return false;
        }
        segments.push_back(*merged);
    }
    for (const QByteArray &segment : segments) {
        if (segment.size() > kMaxXmpTextInSegment) {
            fail();
            logPrintf("\n\nXMP text of %lld bytes is too long for a JPEG segment (at most %lld "
                      "bytes); JPEG left unchanged, ",
                      static_cast<long long>(segment.size()),
                      static_cast<long long>(kMaxXmpTextInSegment));
            reportKept(keepAsSidecar(xmpName, path, base));
            return false;
        }
        if (!merge.writeXmpSegment(segment))
            return fail();
    }
    if (!merge.writeMarker(stopCode) || !merge.copyRest())
        return fail();
    if (std::ferror(merge.in.get())) {
        logPuts("\n\nPremature EOF in JPEG file");
        return fail();
    }
    // The copy must be on disk before it takes the original's place.
    if (std::fflush(merge.out.get()) != 0 || ::fsync(fileno(merge.out.get())) != 0 ||
        !merge.out.close()) {
        logPuts("\n\nwrite error - possibly out of space");
        return fail();
    }
    merge.in.close();

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
