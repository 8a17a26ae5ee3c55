#include "Platform/device_identity.h"

#include <sys/utsname.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <fstream>

namespace Platform {

std::optional<std::string> machineUUID(const std::string& machineIdPath) {
    std::ifstream file(machineIdPath);
    std::string id;
    if (!file || !std::getline(file, id)) {
        return std::nullopt;
    }
    if (id.size() != 32) {
        return std::nullopt;
    }
    std::string uuid;
    for (std::size_t i = 0; i < id.size(); ++i) {
        const auto c = static_cast<unsigned char>(id[i]);
        if (!std::isxdigit(c)) {
            return std::nullopt;
        }
        if (i == 8 || i == 12 || i == 16 || i == 20) {
            uuid += '-';
        }
        uuid += static_cast<char>(std::toupper(c));
    }
    return uuid;
}

std::string deviceIdentifier(const std::string& uuid) {
    std::string prefix(kPlatformName, 3);
    for (char& c : prefix) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return prefix + "-" + uuid;
}

std::string deviceNameFrom(const std::string& name) {
    static const std::string kRightQuote = "\xE2\x80\x99";
    std::string result;
    for (std::size_t i = 0; i < name.size();) {
        if (name.compare(i, kRightQuote.size(), kRightQuote) == 0) {
            result += '\'';
            i += kRightQuote.size();
        } else {
            result += name[i++];
        }
    }
    return result;
}

std::optional<std::string> hostName() {
    std::array<char, 256> buffer{};
    if (gethostname(buffer.data(), buffer.size() - 1) != 0 || buffer[0] == '\0') {
        return std::nullopt;
    }
    return deviceNameFrom(buffer.data());
}

std::string majorMinorVersion(const std::string& release) {
    std::string numbers[2];
    std::size_t i = 0;
    for (int part = 0; part < 2; ++part) {
        while (i < release.size() && std::isdigit(static_cast<unsigned char>(release[i]))) {
            numbers[part] += release[i++];
        }
        if (i < release.size() && release[i] == '.') {
            ++i;
        } else {
            break;
        }
    }
    return (numbers[0].empty() ? "0" : numbers[0]) + "." + (numbers[1].empty() ? "0" : numbers[1]);
}

std::string systemVersion() {
    utsname name{};
    if (uname(&name) != 0) {
        return "0.0";
    }
    return majorMinorVersion(name.release);
}

} // namespace Platform
