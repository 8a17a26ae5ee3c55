#include "Platform/system_log.h"

#include <syslog.h>

#include <utility>

#include "Platform/process_setting.h"

namespace Platform {

namespace {
ProcessSetting<std::function<void(const std::string&)>>& sinkSetting() {
    static ProcessSetting<std::function<void(const std::string&)>> setting;
    return setting;
}
} // namespace

void systemLog(const std::string& text) {
    std::function<void(const std::string&)> sink = sinkSetting().get();
    if (sink) {
        sink(text);
        return;
    }
    syslog(LOG_ERR, "%s", text.c_str());
}

void setSystemLogSink(std::function<void(const std::string&)> sink) {
    sinkSetting().set(std::move(sink));
}

} // namespace Platform
