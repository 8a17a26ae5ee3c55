// The decryption delegate's answer to one password request: a decision and, with decision 0, a password.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace Zentile {

enum class ZIPDecryptDecision : std::uint32_t {
    UsePassword = 0, // try the password given
    SkipFile = 1,    // leave this entry out
    SkipAll = 2,     // leave out this and every remaining encrypted entry of the action
    Cancel = 3,      // cancel the whole action (error code 4)
};

class ZIPDecryptResult {
public:
    // The password is kept only with `UsePassword`.
    ZIPDecryptResult(ZIPDecryptDecision decision, std::optional<std::string> password)
        : decision_(decision),
          password_(decision == ZIPDecryptDecision::UsePassword ? std::move(password) : std::nullopt) {}

    ZIPDecryptDecision decision() const { return decision_; }
    const std::optional<std::string>& password() const { return password_; }

private:
    ZIPDecryptDecision decision_;
    std::optional<std::string> password_;
};

} // namespace Zentile
