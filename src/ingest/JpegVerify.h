#pragma once

#include "platform/CopySteps.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

// Full decode checks of JPEG files on libjpeg. Plain byte-level functions: they report through
// standard error (the library's own texts) and answer a boolean.

enum class JpegDecodeScale {
    Full,  // decode every pixel at full size in the file's colours
    Eighth // 1/8 scale, greyscale where the file allows: the entropy decoder, which raises every
           // corruption warning, still runs over the whole file, so the verdict is the same
};

// True only when the whole image decodes, up to its end marker, without a single warning.
// "can't open PATH" goes to standard error when the file cannot be opened.
bool verifyJpegFile(const char *path, JpegDecodeScale scale);
// The check the ingestion uses (the faster 1/8 scale).
bool verifyJpegFile(const char *path);

// The same check (1/8 scale) over bytes handed to it while a copy writes them: the decoding runs
// on a thread of its own beside the copy and sees exactly the bytes written. At most a few MB
// wait between the two; when the decoder falls behind, the copy waits for it. begin() starts a
// fresh check (each attempt of a copy); finished() answers the verdict over what was added.
// One copying thread feeds it; the object must outlive neither.
class JpegStreamCheck : public CopySteps::ByteSink
{
public:
    JpegStreamCheck();
    ~JpegStreamCheck() override;
    JpegStreamCheck(const JpegStreamCheck &) = delete;
    JpegStreamCheck &operator=(const JpegStreamCheck &) = delete;

    void begin() override;
    void add(const char *data, qint64 size) override;
    // Ends the input and waits for the decoder: true only when the bytes decoded as
    // verifyJpegFile would have them decode.
    bool finished();

    struct Feed; // the queue between the copy and the decoder

private:
    void stop();

    std::shared_ptr<Feed> m_feed;
    std::thread m_decoder;
};
