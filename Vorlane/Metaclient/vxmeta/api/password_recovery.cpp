// The device-based password recovery. So far the renewal after a sign-in leaves the device's recovery
// data as it is.
#include "vxmeta/api/raw_vorlane.h"

namespace VxMeta {

void RawVorlane::updatePasswordRecovery(const std::string& /*password*/) {}

} // namespace VxMeta
