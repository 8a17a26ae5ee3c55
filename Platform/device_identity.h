// This machine as the key service knows it: the device identifier (the platform's first three letters,
// upper case, a hyphen, and the machine UUID from /etc/machine-id as 8-4-4-4-12 upper-case hex), the
// device name (the host name, with each U+2019 made an apostrophe) and the system version
// ("major.minor" of the running kernel).
#pragma once

#include <optional>
#include <string>

namespace Platform {

inline constexpr char kPlatformName[] = "Linux";

// The UUID from a machine-id file (32 hex digits); none when the file is missing or malformed.
std::optional<std::string> machineUUID(const std::string& machineIdPath = "/etc/machine-id");
// "LIN-" followed by the UUID.
std::string deviceIdentifier(const std::string& uuid);
// The text with every RIGHT SINGLE QUOTATION MARK replaced by an APOSTROPHE.
std::string deviceNameFrom(const std::string& hostName);
// The host's name; none when it has none.
std::optional<std::string> hostName();
// The first two numbers of a version text ("10.15.7" gives "10.15", "6.1.0-18-amd64" gives "6.1").
std::string majorMinorVersion(const std::string& release);
// Of the running kernel.
std::string systemVersion();

} // namespace Platform
