// Stateless text helpers: splitting and comparing, query strings, URL and identifier escaping,
// hexadecimal, the local date, and the versioned-prefix check of stored data. Texts are bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace VxMeta {

// Parts between any of the separator characters; empty parts are kept ("a--b" gives a, "", b).
std::vector<std::string> splitParts(const std::string& text, const char* separators);
// ASCII upper-case letters to lower case; other bytes unchanged.
std::string canocase(const std::string& text);
// Same length and equal ignoring the case of ASCII letters.
bool eq(const std::string& a, const std::string& b);
bool startswith(const std::string& text, const char* prefix);
bool endswith(const std::string& text, const char* suffix);
// The text without leading and trailing white space (blank, tab, line ends, form feed, vertical tab).
std::string trim(const std::string& text);
// Whether the text begins with one of the comma-separated prefixes of the list (each stripped of
// blanks; empty ones skipped), ignoring the case of ASCII letters; a "+" in a prefix matches the
// rest of the text, whatever it is. A list that is empty or holds only blanks matches every text.
bool matchPrefixList(const std::string& text, const std::string& prefixList);
// Formats one text into a printf-style format holding one "%s" directive (precision honoured).
std::string Fmt(const char* format, const std::string& text);

// Today in the local time zone as "%Y-%m-%d", from the library's clock.
std::string todayYMD();

// "?name=value" with the value form-encoded; the name is inserted as it is.
std::string querySuffix(const std::string& name, const std::string& value);
std::string querySuffix(const std::string& name, int64_t value);
// "&name=value", for the second and later query members.
std::string querySuffix2(const std::string& name, const std::string& value);
std::string querySuffix2(const std::string& name, int64_t value);
// "path?name=value".
std::string qualifySuffix(const std::string& path, const std::string& name, const std::string& value);

// Form encoding: blank to "+", A-Z a-z 0-9 - . _ ~ kept, every other byte "%XX" (upper-case hex).
std::string urlencode(const std::string& text);
// Lower-case hexadecimal, two digits a byte.
std::string hex(const std::string& bytes);
// The bytes of a hexadecimal text (upper- or lower-case digits, two a byte). A text shorter than
// minDigits, of odd length, or with any character that is not a hexadecimal digit fails with the
// category and message given.
std::string unhex(const std::string& text, size_t minDigits, const std::string& category, const std::string& message);
// Every "/" becomes ",".
std::string urnsafe(const std::string& text);
// Escapes a text for use inside a URN or a file name ("%" escapes; "/" becomes ","); ends at a zero byte.
std::string urnxsafe(const std::string& text);

// Whether the bytes are well-formed UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(const char* begin, const char* end);
bool isValidUtf8(const std::string& text);

// The text after a leading "tag-". A newer tag is an upgrade failure; anything else invalid data.
std::string checkPrefix(const std::string& text, const std::string& tag);

} // namespace VxMeta
