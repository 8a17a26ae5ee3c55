// Leveled diagnostic lines: writeLog and the threshold vmLogLevel. Callers test the level before
// formatting; VXLOG does that, so a line that is off costs nothing and its arguments are not evaluated.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

namespace VxMeta {

// 1 error, 2 warning, 3 notable event, 4 information, 5 detail.
extern std::atomic<int> vmLogLevel;
using LogCallback = void (*)(int level, const std::string& text);
// Host hook for log output; null writes each line to standard output.
extern std::atomic<LogCallback> logCallback;
extern std::recursive_mutex logMutex;

// Formats printf-style (cut at 32767 characters) and hands the text to the hook or standard output.
// Does not test the level itself.
void writeLog(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
void setLogLevel(int level);
inline bool logLevelOn(int level) { return vmLogLevel.load(std::memory_order_relaxed) >= level; }

} // namespace VxMeta

#define VXLOG(level, ...)                                                                          \
    do {                                                                                           \
        if (::VxMeta::logLevelOn(level)) ::VxMeta::writeLog((level), __VA_ARGS__);                 \
    } while (0)
