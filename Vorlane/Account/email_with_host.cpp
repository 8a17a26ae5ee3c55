#include "Vorlane/Account/email_with_host.h"

namespace VorlaneBridge::Email {

std::vector<std::string_view> parts(std::string_view text) {
    std::vector<std::string_view> found;
    const std::string_view mark(separator);
    size_t start = 0;
    for (size_t at = text.find(mark); at != std::string_view::npos; at = text.find(mark, start)) {
        found.push_back(text.substr(start, at - start));
        start = at + mark.size();
    }
    found.push_back(text.substr(start));
    return found;
}

bool usesOtherHost(std::string_view text) { return parts(text).size() == 2; }

std::string email(std::string_view text) { return std::string(parts(text).front()); }

std::string host(std::string_view text) { return std::string(parts(text).back()); }

} // namespace VorlaneBridge::Email
