// A text that carries an e-mail address and a server name in one value: the address, `separator`,
// and the server.
#pragma once

#include <string>
#include <string_view>

namespace VorlaneBridge::Email {

inline constexpr char separator[] = "///";

// Splitting the text at every separator gives exactly two parts.
bool usesOtherHost(std::string_view text);
// The first part of that split (the whole text when it holds no separator).
std::string email(std::string_view text);
// The last part of that split (the whole text when it holds no separator).
std::string host(std::string_view text);

} // namespace VorlaneBridge::Email
