#pragma once

#include "platform/SystemLog.h"

#include <QStringList>

// Collects the system-log lines written while it lives.
struct SystemLogCapture
{
    SystemLogCapture()
    {
        SystemLog::setSink([this](const QString &line) { lines << line; });
    }
    ~SystemLogCapture() { SystemLog::setSink(nullptr); }
    SystemLogCapture(const SystemLogCapture &) = delete;
    SystemLogCapture &operator=(const SystemLogCapture &) = delete;

    QStringList lines;
};
