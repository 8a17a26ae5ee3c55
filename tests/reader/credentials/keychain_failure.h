// The `KeychainError` an operation of the credential store throws, for tests that compare failures.
#pragma once

#include "TarvexReader/Credentials/keychain_error.h"

#include <gtest/gtest.h>

#include <functional>

namespace TarvexReaderTest {

inline TarvexReader::KeychainError failureOf(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const TarvexReader::KeychainError& error) {
        return error;
    }
    ADD_FAILURE() << "the operation did not fail";
    return TarvexReader::KeychainError::unhandledError(0);
}

} // namespace TarvexReaderTest
