#include "log/ConsoleLog.h"

#include "platform/SystemLog.h"

#include <cstdarg>
#include <cstdio>

namespace {
Logger *g_shared = nullptr;
}

Logger::Logger()
{
    g_shared = this;
}

Logger::~Logger()
{
    if (g_shared == this)
        g_shared = nullptr;
}

Logger *Logger::shared()
{
    return g_shared;
}

void logMessage(const QString &message)
{
    SystemLog::write(message);
    if (g_shared && g_shared->textview())
        g_shared->textview()->append(message);
}

void logPuts(const char *text)
{
    logMessage(QString::fromUtf8(text ? text : ""));
}

void logPrintf(const char *format, ...)
{
    char buffer[1000];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    // A cut in the middle of a multi-byte character is dropped rather than shown as garbage.
    logPuts(buffer);
}

void logClear()
{
    if (g_shared && g_shared->textview())
        g_shared->textview()->clear();
}

void logScrollToTop()
{
    if (g_shared && g_shared->textview())
        g_shared->textview()->scrollToTop();
}
