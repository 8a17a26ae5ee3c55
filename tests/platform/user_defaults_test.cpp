#include "Platform/system_log.h"
#include "Platform/user_defaults.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(PlatformUserDefaults, AnAbsentBooleanReadsAsNoAndRemovalForgetsAValue) {
    Platform::InMemoryUserDefaults defaults;
    EXPECT_FALSE(defaults.boolForKey("kRememberCredentials"));
    defaults.setBool(true, "kRememberCredentials");
    EXPECT_TRUE(defaults.boolForKey("kRememberCredentials"));
    EXPECT_FALSE(defaults.boolForKey("EULA"));
    defaults.removeObjectForKey("kRememberCredentials");
    EXPECT_FALSE(defaults.boolForKey("kRememberCredentials"));
}

TEST(PlatformSystemLog, ATestSinkReceivesEachLineUntilItIsReplaced) {
    std::vector<std::string> lines;
    auto previous = Platform::setSystemLogSink([&](const std::string& line) { lines.push_back(line); });
    Platform::systemLog("first");
    Platform::systemLog("second");
    Platform::setSystemLogSink(previous);
    EXPECT_EQ(lines, (std::vector<std::string>{"first", "second"}));
}

} // namespace
