// NS2LibStringArrayAdapter: the stateless converter of a host's list of texts into the library's list
// of UTF-8 strings, in the same order.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace VorlaneBridge {

class NS2LibStringArrayAdapter {
public:
    // A new converter on every call.
    static std::shared_ptr<NS2LibStringArrayAdapter> getInstance();

    std::vector<std::string> convertNSStringArray(const std::vector<std::string>& texts) const;
};

} // namespace VorlaneBridge
