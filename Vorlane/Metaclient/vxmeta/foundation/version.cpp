#include "vxmeta/foundation/version.h"

#include <cstdio>
#include <tuple>

namespace VxMeta {

Version::Version(const char* text) {
    if (text) std::sscanf(text, "%d.%d.%d", &major, &minor, &patch);
}

Version::Version(const std::string& text) : Version(text.c_str()) {}

bool Version::operator<(const Version& other) const {
    return std::tie(major, minor, patch) < std::tie(other.major, other.minor, other.patch);
}

} // namespace VxMeta

namespace VxMeta {
const Version V_1_0_257("1.0.257");
const Version V_1_0_260("1.0.260");
} // namespace VxMeta
