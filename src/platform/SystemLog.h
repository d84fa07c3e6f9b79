#pragma once

#include <QString>

#include <functional>

// The system log: one syslog(3) entry per message under the identifier "Brindlewick". The
// command-line tool and the tests also echo each entry to standard error.
namespace SystemLog {

void write(const QString &message);
void setEchoToStderr(bool echo);
// Tests watch the entries through a sink; nullptr removes it.
void setSink(std::function<void(const QString &)> sink);

} // namespace SystemLog
