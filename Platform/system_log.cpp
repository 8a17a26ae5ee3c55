#include "Platform/system_log.h"

#include <mutex>
#include <syslog.h>
#include <utility>

namespace Platform {
namespace {

std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}

SystemLogSink& currentSink() {
    static SystemLogSink sink;
    return sink;
}

} // namespace

void systemLog(const std::string& line) {
    SystemLogSink sink;
    {
        std::lock_guard lock(sinkMutex());
        sink = currentSink();
    }
    if (sink) {
        sink(line);
    } else {
        ::syslog(LOG_NOTICE, "%s", line.c_str());
    }
}

SystemLogSink setSystemLogSink(SystemLogSink sink) {
    std::lock_guard lock(sinkMutex());
    return std::exchange(currentSink(), std::move(sink));
}

} // namespace Platform
