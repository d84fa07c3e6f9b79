#include "platform/Process.h"

#include "platform/AppPaths.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

int openTarget(const QString &path)
{
    if (path.isEmpty())
        return ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                  0600);
}

void drain(int &fd, QByteArray &into, qsizetype limit)
{
    if (fd < 0)
        return;
    char buf[8192];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            const qsizetype room = limit - into.size();
            if (room > 0)
                into.append(buf, std::min<qsizetype>(room, n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        ::close(fd); // end of stream or a real error
        fd = -1;
        return;
    }
}

} // namespace

namespace Process {

ProcessResult run(const ProcessRequest &request)
{
    ProcessResult result;
    const QByteArray program = QFile::encodeName(request.program);
    std::vector<QByteArray> argBytes;
    argBytes.push_back(program);
    for (const QString &a : request.arguments)
        argBytes.push_back(a.toUtf8());
    std::vector<char *> argv;
    for (QByteArray &a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    int outPipe[2] = {-1, -1}, errPipe[2] = {-1, -1}, execPipe[2] = {-1, -1};
    if ((request.captureStdout && ::pipe2(outPipe, O_CLOEXEC) != 0) ||
        (request.captureStderr && ::pipe2(errPipe, O_CLOEXEC) != 0) ||
        ::pipe2(execPipe, O_CLOEXEC) != 0) {
        result.startError = QString::fromLocal8Bit(std::strerror(errno));
        for (int fd : {outPipe[0], outPipe[1], errPipe[0], errPipe[1], execPipe[0], execPipe[1]})
            if (fd >= 0)
                ::close(fd);
        return result;
    }
    const int outFd = request.captureStdout ? outPipe[1] : openTarget(request.stdoutFile);
    const int errFd = request.captureStderr ? errPipe[1] : openTarget(request.stderrFile);
    const int inFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);

    const pid_t pid = ::fork();
    if (pid == 0) {
        // Child: only async-signal-safe calls from here on.
        ::signal(SIGPIPE, SIG_DFL);
        if (inFd >= 0)
            ::dup2(inFd, STDIN_FILENO);
        if (outFd >= 0)
            ::dup2(outFd, STDOUT_FILENO);
        if (errFd >= 0)
            ::dup2(errFd, STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        const int err = errno;
        ssize_t ignored = ::write(execPipe[1], &err, sizeof err);
        (void)ignored;
        ::_exit(127);
    }
    const int forkErrno = errno;
    for (int fd : {outPipe[1], errPipe[1], execPipe[1]})
        if (fd >= 0)
            ::close(fd);
    if (!request.captureStdout && outFd >= 0)
        ::close(outFd);
    if (!request.captureStderr && errFd >= 0)
        ::close(errFd);
    if (inFd >= 0)
        ::close(inFd);
    if (pid < 0) {
        result.startError = QString::fromLocal8Bit(std::strerror(forkErrno));
        for (int fd : {outPipe[0], errPipe[0], execPipe[0]})
            if (fd >= 0)
                ::close(fd);
        return result;
    }

    // The exec pipe closes on a successful exec; otherwise it carries exec's errno.
    int execErr = 0;
    ssize_t n;
    do {
        n = ::read(execPipe[0], &execErr, sizeof execErr);
    } while (n < 0 && errno == EINTR);
    ::close(execPipe[0]);
    result.started = (n == 0);
    if (!result.started)
        result.startError = QString::fromLocal8Bit(std::strerror(execErr));

    int outRead = outPipe[0], errRead = errPipe[0];
    for (int fd : {outRead, errRead})
        if (fd >= 0)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);

    int status = 0;
    bool reaped = false;
    int pollsSinceTerm = -1;
    const int pollsBeforeKill = std::max(1, 2000 / std::max(1, request.pollIntervalMs));
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (request.timeoutMs > 0 && !result.timedOut && clock.elapsed() >= request.timeoutMs) {
            // A hung child must not hold the caller for ever; its end is reaped below.
            ::kill(pid, SIGKILL);
            result.timedOut = true;
        }
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        drain(outRead, result.stdoutData, request.captureLimit);
        drain(errRead, result.stderrData, request.captureLimit);
        if (done == pid) {
            reaped = true;
            break;
        }
        if (done < 0 && errno != EINTR)
            break; // the child's fate is unknown: reported as neither exited nor signalled
        if (request.onPoll)
            request.onPoll();
        if (pollsSinceTerm < 0 && request.stopRequested && request.stopRequested()) {
            result.stopped = true;
            ::kill(pid, SIGTERM);
            pollsSinceTerm = 0;
        } else if (pollsSinceTerm >= 0 && ++pollsSinceTerm == pollsBeforeKill) {
            ::kill(pid, SIGKILL);
        }
        std::vector<pollfd> fds;
        for (int fd : {outRead, errRead})
            if (fd >= 0)
                fds.push_back({fd, POLLIN, 0});
        if (fds.empty())
            ::usleep(static_cast<useconds_t>(request.pollIntervalMs) * 1000);
        else
            ::poll(fds.data(), fds.size(), request.pollIntervalMs);
    }
    // Whatever is still in the pipes after the child ended.
    for (int *fd : {&outRead, &errRead}) {
        if (*fd >= 0) {
            ::fcntl(*fd, F_SETFL, ::fcntl(*fd, F_GETFL) & ~O_NONBLOCK);
            drain(*fd, fd == &outRead ? result.stdoutData : result.stderrData,
                  request.captureLimit);
            if (*fd >= 0)
                ::close(*fd);
        }
    }
    if (!reaped) {
        if (result.startError.isEmpty())
            result.startError = QStringLiteral("waitpid failed");
    } else if (WIFEXITED(status)) {
        result.exited = true;
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signaled = true;
        result.signal = WTERMSIG(status);
    }
    return result;
}

std::optional<QString> findProgram(const QString &name)
{
    const QString beside = AppPaths::applicationFolder() + QLatin1Char('/') + name;
    if (QFileInfo(beside).isExecutable() && QFileInfo(beside).isFile())
        return beside;
    const QStringList path =
        QString::fromLocal8Bit(qgetenv("PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString &dir : path) {
        const QString candidate = QDir(dir).filePath(name);
        if (QFileInfo(candidate).isExecutable() && QFileInfo(candidate).isFile())
            return candidate;
    }
    return std::nullopt;
}

std::optional<QString> makeTemporaryFile(const QString &pathTemplate)
{
    QByteArray bytes = QFile::encodeName(pathTemplate);
    const int fd = ::mkstemp(bytes.data());
    if (fd < 0)
        return std::nullopt;
    ::close(fd);
    return QFile::decodeName(bytes);
}

} // namespace Process
