#include "Vorlane/AuditLog/Adapters/ns2lib_string_array_adapter.h"

namespace VorlaneBridge {

std::shared_ptr<NS2LibStringArrayAdapter> NS2LibStringArrayAdapter::getInstance() {
    return std::make_shared<NS2LibStringArrayAdapter>();
}

// The host's texts are UTF-8 already; a text that is not is refused later by the JSON reader, which
// skips that line alone.
std::vector<std::string> NS2LibStringArrayAdapter::convertNSStringArray(const std::vector<std::string>& texts) const {
    return texts;
}

} // namespace VorlaneBridge
