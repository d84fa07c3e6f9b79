#pragma once

#include <QSet>
#include <QString>

#include <functional>

// Places copies of image files without ever replacing anything. A copy is written under a hidden
// temporary name in the target folder, flushed, given the source's modification time and only
// then put under its final name (renameat2 with RENAME_NOREPLACE, else link + unlink); the
// folder is synced afterwards. An interruption at any point leaves no file under the final name.
// Main thread only.
class SafeCopier
{
public:
    // Called between chunks of a large file (the progress window's turn).
    using ChunkCallback = std::function<void()>;

    // Prefix of the temporary names; a file with it is the remains of an interrupted copy.
    static const char *temporaryPrefix();

    // Forgets which folders were swept for stray temporaries (call once per run).
    void beginRun() { m_swept.clear(); }

    // Copies `source` to `target` (which must not exist). On failure answers false with a
    // description of the error in `error`; nothing is left under `target`, and a file that
    // already existed there is untouched.
    bool copyFile(const QString &source, const QString &target, QString *error,
                  const ChunkCallback &onChunk = ChunkCallback());

    // Removes the hidden temporaries an interrupted run left in `folder`.
    static int removeStrayTemporaries(const QString &folder);

    // Test seam: from now on every copy fails with "No space left on device" once it has
    // written this many bytes in total (across copies); a negative value turns it off.
    static void setFailAfterBytes(qint64 bytes);

    // Bytes between two chunk callbacks.
    static constexpr qint64 chunkBytes = 8 << 20;

private:
    QSet<QString> m_swept;
};
