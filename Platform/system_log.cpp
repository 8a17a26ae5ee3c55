#include "Platform/system_log.h"

#include <syslog.h>

#include <mutex>
#include <utility>

namespace Platform {

namespace {
std::mutex sinkMutex;
std::function<void(const std::string&)>& sinkSlot() {
    static std::function<void(const std::string&)> sink;
    return sink;
}
} // namespace

void systemLog(const std::string& text) {
    std::function<void(const std::string&)> sink;
    {
        std::lock_guard<std::mutex> guard(sinkMutex);
        sink = sinkSlot();
    }
    if (sink) {
        sink(text);
        return;
    }
    syslog(LOG_ERR, "%s", text.c_str());
}

void setSystemLogSink(std::function<void(const std::string&)> sink) {
    std::lock_guard<std::mutex> guard(sinkMutex);
    sinkSlot() = std::move(sink);
}

} // namespace Platform
