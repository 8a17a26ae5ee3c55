#include "TarvexReader/Accounts/email_splitter.h"

#include <string_view>
#include <vector>

namespace TarvexReader {

EmailAndHost splitEmailAndHost(const std::string& entry) {
    const std::string_view separator(kEmailHostSeparator);
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type found = entry.find(separator, start);
        if (found == std::string::npos) {
            parts.push_back(entry.substr(start));
            break;
        }
        parts.push_back(entry.substr(start, found - start));
        start = found + separator.size();
    }
    if (parts.front().empty()) {
        throw EmailSplitterError();
    }
    EmailAndHost split{parts.front(), std::nullopt};
    if (parts.size() > 1 && !parts[1].empty()) {
        split.host = parts[1];
    }
    return split;
}

} // namespace TarvexReader
