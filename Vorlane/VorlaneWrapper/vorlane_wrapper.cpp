#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"

#include "vxmeta/api/vorlane.h"

namespace VorlaneBridge {

// The API object lives until the process ends, whatever becomes of the wrapper.
VorlaneWrapper::VorlaneWrapper() : vorlane_(new VxMeta::Vorlane()) {}

} // namespace VorlaneBridge
