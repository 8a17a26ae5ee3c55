// VLCredential: what a host hands in for a sign-in (the e-mail address, the typed password and, when
// it has one, the account's password at the key service) and gets back with the password that the
// service accepted. Every member may be absent.
#pragma once

#include <optional>
#include <string>

namespace VorlaneBridge {

struct VLCredential {
    std::optional<std::string> email;
    // The password the user typed (for a managed account, the organisation's directory password).
    std::optional<std::string> activeDirectoryPassword;
    // The account's password at the key service; after a successful sign-in, the one it accepted.
    std::optional<std::string> systemPassword;
};

} // namespace VorlaneBridge
