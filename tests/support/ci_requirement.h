// What a test does when an input from outside the program is absent (the shared vectors beside the
// clone, the test key service): it skips, saying why; in CI (environment CI=true) it fails instead,
// so a missing vector file or a service that did not start never passes unnoticed.
#pragma once

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

namespace VxMetaTest {

// True when the environment variable CI is "true".
inline bool runningInCI() {
    const char* ci = std::getenv("CI");
    return ci && std::strcmp(ci, "true") == 0;
}

} // namespace VxMetaTest

// Ends the calling test function (a test body or SetUp) as skipped with the reason, or in CI as failed.
#define VX_SKIP_OR_FAIL_IN_CI(reason)                                                              \
    do {                                                                                           \
        if (::VxMetaTest::runningInCI()) {                                                         \
            GTEST_FAIL() << reason << " (CI=true: required)";                                      \
        } else {                                                                                   \
            GTEST_SKIP() << reason;                                                                \
        }                                                                                          \
    } while (0)
