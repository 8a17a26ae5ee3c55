#include "Platform/device_identity.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

std::string writeMachineId(const std::string& text) {
    const auto path = std::filesystem::temp_directory_path() / ("machine-id-" + std::to_string(::getpid()));
    std::ofstream(path) << text;
    return path.string();
}

TEST(DeviceIdentity, TheIdentifierIsThePlatformPrefixAndTheMachineUUID) {
    const std::string path = writeMachineId("0123456789abcdef0123456789ABCDEF\n");
    const auto uuid = Platform::machineUUID(path);
    ASSERT_TRUE(uuid.has_value());
    EXPECT_EQ(*uuid, "01234567-89AB-CDEF-0123-456789ABCDEF");
    EXPECT_EQ(Platform::deviceIdentifier(*uuid), "LIN-01234567-89AB-CDEF-0123-456789ABCDEF");
    for (const char* bad : {"", "0123", "0123456789abcdef0123456789abcdeg", "0123456789abcdef0123456789abcdef00"}) {
        std::ofstream(path) << bad;
        EXPECT_FALSE(Platform::machineUUID(path).has_value()) << bad;
    }
    std::filesystem::remove(path);
    EXPECT_FALSE(Platform::machineUUID(path).has_value());
}

TEST(DeviceIdentity, NamesAndVersions) {
    EXPECT_EQ(Platform::deviceNameFrom("Ann\xE2\x80\x99s laptop \xE2\x80\x99\xE2\x80\x98"), "Ann's laptop '\xE2\x80\x98");
    EXPECT_EQ(Platform::majorMinorVersion("10.15.7"), "10.15");
    EXPECT_EQ(Platform::majorMinorVersion("6.1.0-18-amd64"), "6.1");
    EXPECT_EQ(Platform::majorMinorVersion("12"), "12.0");
}

} // namespace
