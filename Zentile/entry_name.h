// Entry names: decoding the stored bytes to UTF-8 text, and turning a name into a safe relative path
// below the destination (or refusing it).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Zentile {

// The name as UTF-8: kept as is when the entry says UTF-8 or the bytes are valid UTF-8 written on a
// system other than MS-DOS; otherwise read as code page 437.
std::string decodeEntryName(std::string_view raw, bool utf8Flag, std::uint8_t hostSystem);

bool isValidUtf8(std::string_view text);

// The components of a safe relative path for the name: backslashes count as separators, empty and "."
// components are dropped, ".." removes the component before it. None when the name is absolute, starts
// with a drive letter, holds a NUL, climbs above the destination, or names nothing.
std::optional<std::vector<std::string>> safeRelativePath(std::string_view name);

// Whether a link stored at `entryComponents` (the link's own path) pointing at `target` resolves inside
// the destination: a relative target whose ".." components all come first and never climb above the
// destination.
bool linkTargetStaysInside(const std::vector<std::string>& entryComponents, std::string_view target);

// Whether `name` is usable as one leaf name: not empty, not "." or "..", no separator or NUL, at most
// 255 bytes.
bool isSafeLeafName(std::string_view name);

// Whether the name only names the destination itself ("./", "/" runs): such folder entries are ignored.
bool namesDestinationItself(std::string_view name);

} // namespace Zentile
