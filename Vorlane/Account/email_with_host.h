// A text that carries an e-mail address and a server name in one value: the address, `separator`,
// and the server.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace VorlaneBridge::Email {

inline constexpr char separator[] = "///";

// The text cut at every separator from the left, without overlap; a text holding none is one part.
// The parts view the text.
std::vector<std::string_view> parts(std::string_view text);

// Splitting the text at every separator gives exactly two parts.
bool usesOtherHost(std::string_view text);
// The first part of that split (the whole text when it holds no separator).
std::string email(std::string_view text);
// The last part of that split (the whole text when it holds no separator).
std::string host(std::string_view text);

} // namespace VorlaneBridge::Email
