// The application's record of a sign-in to the key-management service: the e-mail address, the custom
// server when the user gave one, and the password. The password is overwritten when a record is
// destroyed, so copies handed between the sign-in sheet, the account updaters and the secret store do
// not leave it behind in freed memory.
#pragma once

#include <optional>
#include <string>

namespace TarvexReader {

struct Credential {
    // The e-mail address used to sign in.
    std::string username;
    // The custom server given by the user; none means the default server.
    std::optional<std::string> host;
    // The password typed by the user.
    std::string password;

    Credential();
    Credential(std::string username, std::optional<std::string> host, std::string password);
    Credential(const Credential& other);
    Credential(Credential&& other) noexcept;
    Credential& operator=(const Credential& other);
    Credential& operator=(Credential&& other) noexcept;
    ~Credential();

    bool operator==(const Credential& other) const;
};

} // namespace TarvexReader
