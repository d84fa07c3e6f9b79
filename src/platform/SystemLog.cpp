#include "platform/SystemLog.h"

#include <cstdio>
#include <mutex>
#include <syslog.h>

namespace {
std::mutex g_mutex;
bool g_opened = false;
bool g_echo = false;
std::function<void(const QString &)> g_sink;
} // namespace

namespace SystemLog {

void write(const QString &message)
{
    const QByteArray bytes = message.toUtf8();
    std::lock_guard lock(g_mutex);
    if (!g_opened) {
        openlog("Brindlewick", LOG_NDELAY, LOG_USER);
        g_opened = true;
    }
    // The message is passed as an argument, never as a format: a "%" in it stays as it is.
    syslog(LOG_NOTICE, "%s", bytes.constData());
    if (g_echo) {
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
        if (!bytes.endsWith('\n'))
            std::fputc('\n', stderr);
        std::fflush(stderr);
    }
    if (g_sink)
        g_sink(message);
}

void setEchoToStderr(bool echo)
{
    std::lock_guard lock(g_mutex);
    g_echo = echo;
}

void setSink(std::function<void(const QString &)> sink)
{
    std::lock_guard lock(g_mutex);
    g_sink = std::move(sink);
}

} // namespace SystemLog
