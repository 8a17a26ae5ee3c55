// The e-mail entry of the sign-in and create-account forms: an e-mail address, optionally followed by
// "///" and the custom server to use instead of the default one.
#pragma once

#include <exception>
#include <optional>
#include <string>

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

inline constexpr char kEmailHostSeparator[] = "///";

// Cuts the entry at every "///" from the left, without overlap: the first part is the e-mail address,
// unchanged; the second, when not empty, the server; later parts are ignored. Throws
// `EmailSplitterError` when the first part is empty.
EmailAndHost splitEmailAndHost(const std::string& entry);

} // namespace TarvexReader
