#pragma once

#include <QDateTime>

#include <functional>

// The current time, replaceable so tests can fix log months, macro dates and update checks.
namespace Clock {

QDateTime now();
// Replaces the clock; an empty function restores the real one.
void setSource(std::function<QDateTime()> source);

} // namespace Clock
