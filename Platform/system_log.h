// The system log: lines the application leaves for the administrator (syslog by default). Tests
// replace the sink to read what was logged.
#pragma once

#include <functional>
#include <string>

namespace Platform {

using SystemLogSink = std::function<void(const std::string& line)>;

// Writes one line to the current sink; safe from any thread.
void systemLog(const std::string& line);

// Replaces the sink and returns the previous one; an empty sink restores syslog.
SystemLogSink setSystemLogSink(SystemLogSink sink);

} // namespace Platform
