#include "TarvexReader/Credentials/keychain_error.h"

namespace TarvexReader {
namespace {

std::string describe(KeychainError::Kind kind, KeychainStatus status) {
    switch (kind) {
    case KeychainError::Kind::unhandledError: return "unhandledError(status: " + std::to_string(status) + ")";
    case KeychainError::Kind::noPassword: return "noPassword";
    case KeychainError::Kind::unexpectedPasswordData: return "unexpectedPasswordData";
    }
    return "unknown";
}

} // namespace

KeychainError::KeychainError(Kind kind, KeychainStatus status)
    : kind_(kind), status_(status), description_(describe(kind, status)) {}

KeychainError KeychainError::unhandledError(KeychainStatus status) { return {Kind::unhandledError, status}; }

KeychainError KeychainError::noPassword() { return {Kind::noPassword, 0}; }

KeychainError KeychainError::unexpectedPasswordData() { return {Kind::unexpectedPasswordData, 0}; }

} // namespace TarvexReader
