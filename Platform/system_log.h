// The system log: a line of plain text at the "error" level, sent to syslog unless a test installed a
// sink of its own. The text is never used as a format.
#pragma once

#include <functional>
#include <string>

namespace Platform {

void systemLog(const std::string& text);

// Replaces syslog by `sink` (none puts syslog back).
void setSystemLogSink(std::function<void(const std::string&)> sink);

} // namespace Platform
