// The API object's usage counters.
#include "vxmeta/api/extensible_stats.h"
#include "vxmeta/api/raw_vorlane.h"

namespace VxMeta {

void RawVorlane::incrementStat(const std::string& kind, const std::string& qualifier, int64_t value) {
    updateStat(kind, qualifier, value, true, true);
}

void RawVorlane::setStat(const std::string& kind, const std::string& qualifier, int64_t value) {
    updateStat(kind, qualifier, value, false, true);
}

} // namespace VxMeta
