// CommLogEntry: a copy of the last HTTP exchange, kept for the host's diagnostics.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

namespace VxMeta {

struct CommLogEntry {
    std::string request;  // method, blank, full URL, line end; then the body and a line end
    std::string extra;
    int32_t status = 0;
    std::string response; // reply body without trailing zero bytes

    // Stores a copy as the last exchange, under commLogMutex.
    static void setLast(const CommLogEntry& entry);
    // A copy of the last exchange; empty texts and status 0 before the first.
    static CommLogEntry getLast();
};

extern std::recursive_mutex commLogMutex;
extern CommLogEntry lastCommLogEntry;

} // namespace VxMeta
