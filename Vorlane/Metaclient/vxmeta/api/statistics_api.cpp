// The API object's usage counters.
#include "vxmeta/api/extensible_stats.h"
#include "vxmeta/api/raw_vorlane.h"

namespace VxMeta {

void RawVorlane::incrementStat(const std::string& kind, const std::string& qualifier, int64_t amount) {
    updateStat(kind, qualifier, amount, true, true);
}

void RawVorlane::setStat(const std::string& kind, const std::string& qualifier, int64_t amount) {
    updateStat(kind, qualifier, amount, false, true);
}

} // namespace VxMeta
