#include "vxmeta/foundation/log.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "vxmeta/foundation/lock_scope.h"

namespace VxMeta {

std::atomic<int> vmLogLevel{4};
std::atomic<LogCallback> logCallback{nullptr};
std::recursive_mutex logMutex;

namespace {
constexpr size_t kFirstBuffer = 1024;
constexpr size_t kLastBuffer = 32768;
} // namespace

void writeLog(int level, const char* format, ...) {
    std::vector<char> buffer(kFirstBuffer);
    size_t kept = 0;
    for (;;) {
        va_list args;
        va_start(args, format);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        int n = std::vsnprintf(buffer.data(), buffer.size(), format, args);
#pragma GCC diagnostic pop
        va_end(args);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size()) {
            kept = static_cast<size_t>(n);
            break;
        }
        if (buffer.size() < kLastBuffer) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        // Too long even for the last buffer (or formatting failed): keep what was written.
        kept = n < 0 ? 0 : buffer.size() - 1;
        break;
    }
    std::string text(buffer.data(), kept);

    LockScope scope(logMutex);
    if (LogCallback hook = logCallback.load()) {
        hook(level, text);
    } else {
        text.push_back('\n');
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
}

void setLogLevel(int level) { vmLogLevel.store(level); }

} // namespace VxMeta
