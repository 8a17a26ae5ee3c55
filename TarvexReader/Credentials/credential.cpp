#include "TarvexReader/Credentials/credential.h"

#include "TarvexReader/Credentials/secret_bytes.h"

#include <utility>

namespace TarvexReader {

Credential::Credential() = default;

Credential::Credential(std::string user, std::optional<std::string> server, std::string secret)
    : username(std::move(user)), host(std::move(server)), password(std::move(secret)) {}

Credential::Credential(const Credential& other) = default;

Credential::Credential(Credential&& other) noexcept
    : username(std::move(other.username)), host(std::move(other.host)), password(std::move(other.password)) {
    // A short password stays in the moved-from string's own buffer.
    wipeText(other.password);
}

Credential& Credential::operator=(const Credential& other) {
    if (this != &other) {
        wipeText(password);
        username = other.username;
        host = other.host;
        password = other.password;
    }
    return *this;
}

Credential& Credential::operator=(Credential&& other) noexcept {
    if (this != &other) {
        wipeText(password);
        username = std::move(other.username);
        host = std::move(other.host);
        password = std::move(other.password);
        wipeText(other.password);
    }
    return *this;
}

Credential::~Credential() { wipeText(password); }

bool Credential::operator==(const Credential& other) const {
    return username == other.username && host == other.host && password == other.password;
}

} // namespace TarvexReader
