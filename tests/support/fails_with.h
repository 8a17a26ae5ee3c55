// Asserts that a call fails with one VxMetaException: its category and message, byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <exception>
#include <string>

#include "vxmeta/foundation/exception.h"

namespace VxMetaTest {

template <typename Call>
::testing::AssertionResult failsWith(Call&& call, const std::string& category, const std::string& message) {
    try {
        call();
    } catch (const VxMeta::VxMetaException& e) {
        if (e.category == category && e.message == message) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "failed with \"" << e.category << "\": \"" << e.message << "\"";
    } catch (const std::exception& e) {
        return ::testing::AssertionFailure() << "escaped a non-library exception: " << e.what();
    }
    return ::testing::AssertionFailure() << "did not fail";
}

} // namespace VxMetaTest
