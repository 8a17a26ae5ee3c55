#include "TarvexReader/Accounts/email_splitter.h"

#include <string_view>
#include <vector>

namespace TarvexReader {

EmailAndHost splitEmailAndHost(const std::string& entry) {
    const std::vector<std::string_view> parts = VorlaneBridge::Email::parts(entry);
    if (parts.front().empty()) {
        throw EmailSplitterError();
    }
    EmailAndHost split{std::string(parts.front()), std::nullopt};
    if (parts.size() > 1 && !parts[1].empty()) {
        split.host = std::string(parts[1]);
    }
    return split;
}

} // namespace TarvexReader
