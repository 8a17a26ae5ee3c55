// The application's record of a sign-in: the e-mail address, the custom server (none: the default
// one) and the password.
#pragma once

#include <optional>
#include <string>

namespace TarvexReader {

struct Credential {
    std::string username;
    std::optional<std::string> host;
    std::string password;

    bool operator==(const Credential&) const = default;
};

} // namespace TarvexReader
