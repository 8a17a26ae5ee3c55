#include "TarvexReader/Collision/reader_zip_filter_delegate.h"

#include <cstdint>
#include <limits>
#include <regex>
#include <vector>

namespace TarvexReader {

namespace {

std::vector<std::string> splitAtDots(const std::string& name) {
    std::vector<std::string> components;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type dot = name.find('.', start);
        if (dot == std::string::npos) {
            components.push_back(name.substr(start));
            return components;
        }
        components.push_back(name.substr(start, dot - start));
        start = dot + 1;
    }
}

// The decimal digits plus one; digits too large for 64 bits count from 0.
std::string incremented(const std::string& digits) {
    std::uint64_t n = 0;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    for (char c : digits) {
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (n > (kMax - digit) / 10) {
            n = 0;
            break;
        }
        n = n * 10 + digit;
    }
    if (n == kMax) {
        return "18446744073709551616";
    }
    return std::to_string(n + 1);
}

} // namespace

std::optional<std::string> ReaderZIPFilterDelegate::onReplaceItem(const std::optional<std::string>& item,
                                                                  std::uint32_t action) {
    if (action != Zentile::ZIPFilterReplaceColliding || !item) {
        return std::string();
    }
    return collisionName(*item);
}

std::string ReaderZIPFilterDelegate::collisionName(const std::string& name) {
    const std::vector<std::string> components = splitAtDots(name);
    std::string base = nextCopyName(components.front());
    if (components.size() == 1) {
        return base;
    }
    return base + "." + components.back();
}

std::string ReaderZIPFilterDelegate::nextCopyName(const std::string& base) {
    static const std::regex copyNumber(R"(\bcopy (\d+)\b)", std::regex::ECMAScript);
    std::smatch match;
    if (!std::regex_search(base, match, copyNumber)) {
        constexpr std::string_view kCopy = "copy";
        if (base.size() >= kCopy.size() && base.compare(base.size() - kCopy.size(), kCopy.size(), kCopy) == 0) {
            return base + " 2";
        }
        return base + " copy";
    }
    return match.prefix().str() + "copy " + incremented(match[1].str());
}

} // namespace TarvexReader
