// Version: a dotted version number (major.minor.patch), read leniently and ordered.
#pragma once

#include <cstdint>
#include <string>

namespace VxMeta {

struct Version {
    int32_t major = 0;
    int32_t minor = 0;
    int32_t patch = 0;

    Version() = default;
    // Reads "%d.%d.%d"; members after the first mismatch stay 0 ("1.2" is 1.2.0, "2.x.5" is 2.0.0).
    explicit Version(const char* text);
    explicit Version(const std::string& text);

    bool operator<(const Version& other) const;
};

extern const Version V_1_0_257;
extern const Version V_1_0_260;

} // namespace VxMeta
