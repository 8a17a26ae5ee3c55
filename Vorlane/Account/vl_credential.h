// VLCredential: what a host hands in for a sign-in, the e-mail address and the typed passwords, and
// what it gets back: the password the service accepted, in `systemPassword`.
#pragma once

#include <optional>
#include <string>

namespace VorlaneBridge {

struct VLCredential {
    std::optional<std::string> email;
    // The password the user typed (for a managed account, the directory password).
    std::optional<std::string> activeDirectoryPassword;
    // The account's password at the key-management service.
    std::optional<std::string> systemPassword;
};

} // namespace VorlaneBridge
