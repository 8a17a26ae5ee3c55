// The device's and the application's records on the service, bound after each sign-in. So far the
// binding sends nothing: the device and application records stay as the sign-in left them.
#include "vxmeta/api/raw_vorlane.h"

namespace VxMeta {

void RawVorlane::autoMapDevice() {}

void RawVorlane::autoMapApp() {}

} // namespace VxMeta
