// The failures of the credential store: a store call that answered a status other than success (on a
// read: other than "item not found"), a read that found no item, and a read whose item could not be
// taken apart (no attributes, no value data, value data that is not UTF-8 text, no account). Thrown by
// the keepers; `description()` is the text the application logs.
#pragma once

#include "TarvexReader/Credentials/keychain.h"

#include <exception>
#include <string>

namespace TarvexReader {

class KeychainError : public std::exception {
public:
    enum class Kind { unhandledError, noPassword, unexpectedPasswordData };

    static KeychainError unhandledError(KeychainStatus status);
    static KeychainError noPassword();
    static KeychainError unexpectedPasswordData();

    Kind kind() const { return kind_; }
    // The store's status of an `unhandledError`; 0 for the other kinds.
    KeychainStatus status() const { return status_; }

    // "unhandledError(status: -25299)", "noPassword" or "unexpectedPasswordData".
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

    bool operator==(const KeychainError& other) const { return kind_ == other.kind_ && status_ == other.status_; }

private:
    KeychainError(Kind kind, KeychainStatus status);

    Kind kind_;
    KeychainStatus status_;
    std::string description_;
};

} // namespace TarvexReader
