#pragma once

// Outside programs stood in for by shell scripts, so that tests see every answer a program may
// give without it being installed.

#include "support/TestSupport.h"

#include <QFile>

// Writes `script` to `path` and makes it executable by its owner.
inline bool writeExecutable(const QString &path, const QByteArray &script)
{
    return writeTestFile(path, script) &&
           QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// A script named `name`, alone on PATH for the life of the object (with a null `body` there is
// none, as when the program is not installed). It first writes its arguments, one a line, to
// args(), then runs `body`.
class StandInProgram
{
public:
    StandInProgram(const QString &name, const QByteArray &body)
        : m_savedPath(qgetenv("PATH")), m_folder(makeTestFolder(QStringLiteral("standin")))
    {
        if (!body.isNull())
            writeExecutable(m_folder + QLatin1Char('/') + name,
                            "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" +
                                args().toUtf8() + "'\n" + body + "\n");
        qputenv("PATH", m_folder.toLocal8Bit());
    }
    ~StandInProgram() { qputenv("PATH", m_savedPath); }
    StandInProgram(const StandInProgram &) = delete;
    StandInProgram &operator=(const StandInProgram &) = delete;

    QString args() const { return m_folder + QStringLiteral("/args.txt"); }

private:
    QByteArray m_savedPath;
    QString m_folder;
};

// A script line for a stand-in GPSBabel: writes `content` to the file named after "-F".
inline QByteArray gpsbabelWrites(const QByteArray &content)
{
    return "out=''; prev=''; for a in \"$@\"; do [ \"$prev\" = -F ] && out=\"$a\"; prev=\"$a\"; "
           "done\n/bin/cat > \"$out\" <<'EOF'\n" +
           content + "\nEOF";
}
