// Library start: init runs once per process and makes the library usable; getVersion gives the build
// stamp it logs. (init is declared with the cryptography layer, which calls it from below.)
#pragma once

#include <string>

#include "vxmeta/crypto/library_started.h"

namespace VxMeta {

// "Built <Mmm dd yyyy> at <hh:mm:ss>": the date and time of the build.
std::string getVersion();

} // namespace VxMeta
