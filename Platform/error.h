// The error value of the platform layer: a domain, a code and a text map of details, with the
// localized description under "NSLocalizedDescription". Calls that can fail return bool or an optional
// and fill an `Error*` out-parameter, which the caller may leave null when it does not want the detail.
#pragma once

#include <map>
#include <string>

namespace Platform {

// The key of the user-facing description in an error's text map.
inline constexpr char kLocalizedDescriptionKey[] = "NSLocalizedDescription";

struct Error {
    std::string domain;
    long code = 0;
    std::map<std::string, std::string> userInfo;

    Error() = default;
    Error(std::string errorDomain, long errorCode, std::map<std::string, std::string> info = {});

    // The text under "NSLocalizedDescription", else a generic sentence naming the domain and code.
    std::string localizedDescription() const;

    bool operator==(const Error&) const = default;
};

// Stores `error` into `out` when the caller asked for it (out not null). Returns false, so a failing
// call can end with `return failWith(out, ...);`.
bool failWith(Error* out, Error error);

} // namespace Platform
