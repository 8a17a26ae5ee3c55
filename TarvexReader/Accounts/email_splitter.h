// The e-mail entry of the sign-in and create-account forms: an e-mail address, optionally followed by
// "///" and the custom server to use instead of the default one.
#pragma once

#include <exception>
#include <optional>
#include <string>

#include "Vorlane/Account/email_with_host.h"

namespace TarvexReader {

// The entry has no e-mail part (it is empty or starts with "///").
class EmailSplitterError : public std::exception {
public:
    enum class Kind { improperFormatting };
    Kind kind() const { return Kind::improperFormatting; }
    const char* what() const noexcept override { return "improperFormatting"; }
};

struct EmailAndHost {
    std::string email;
    std::optional<std::string> host;
};

// Cuts the entry as the framework cuts its address-and-server text (`VorlaneBridge::Email::parts`)
// and reads the parts its own way: the first part is the e-mail address, unchanged; the second, when
// not empty, the server; later parts are ignored. Throws `EmailSplitterError` when the first part is
// empty.
EmailAndHost splitEmailAndHost(const std::string& entry);

} // namespace TarvexReader
