// The check of a typed archive password (UTF-8) against the policy's password rules, and the texts a
// host uses to describe a rule. Lengths and positions count UTF-16 code units; a character outside
// the Basic Multilingual Plane (two units) is classified as the one character it is.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Vorlane/Policy/password_complexity.h"

namespace VorlaneBridge {

enum class CharacterType : uint64_t { lowercase = 0, uppercase = 1, digits = 2, symbols = 3 };

// The characters of a class, by Unicode general category: lower-case letters (Ll); upper-case
// letters (Lu, Lt); decimal digits (Nd); symbols: separators (Z*), line ends (U+000A to U+000D,
// U+0085), punctuation (P*), control and format characters (Cc, Cf) and symbols (S*).
class CharacterSet {
public:
    explicit CharacterSet(CharacterType type) : type_(type) {}
    bool contains(char32_t codePoint) const;

private:
    CharacterType type_;
};

CharacterSet characterSet(CharacterType type);
std::string description(CharacterType type);

// The position rule of a class. Values above 2 mean no rule.
using VLPasswordPosition = uint64_t;
inline constexpr VLPasswordPosition VLPasswordPositionNone = 0;
// The class may not stand at the first or the last position.
inline constexpr VLPasswordPosition VLPasswordPositionFirstOrLast = 1;
// The class may stand only at the first or the last position.
inline constexpr VLPasswordPosition VLPasswordPositionOnlyFirstOrLast = 2;

std::string description(VLPasswordPosition position);

struct VLPolicyPasswordComplexityError {
    enum class Kind { tooFew, invalidPosition, tooShort, tooLong, tooManyRepeatingCharacters };
    Kind kind;
    // The class, for tooFew and invalidPosition.
    std::optional<CharacterType> type;

    bool operator==(const VLPolicyPasswordComplexityError&) const = default;
};

// None when the password meets the rules, else the first rule it breaks: enforcement, length range,
// repeats, then per class (lowercase, uppercase, digits, symbols) its minimum and its position rule.
std::optional<VLPolicyPasswordComplexityError> satisfiesComplexityRequirements(const std::string& password,
                                                                              const VLPasswordComplexity& setForthBy);

bool isAtLeastThisLong(const std::string& password, uint64_t n);
bool isNoLongerThan(const std::string& password, uint64_t n);
// No run of identical consecutive code units longer than n (0: no limit).
bool doesNotExceedThisNumberOfRepeatedCharacters(const std::string& password, uint64_t n);
// At least n characters of the class (n 0: always).
bool hasAtLeast(const std::string& password, uint64_t n, CharacterType charactersOfType);
// The password keeps the class's position rule; an empty password keeps every rule.
bool hasNo(const std::string& password, CharacterType type, VLPasswordPosition at);
// Neither the first nor the last character is of the class.
bool verifyAtFirstAndLast(const std::string& password, CharacterType type);

// The rule set's minimum and position rule of a class.
uint64_t min(const VLPasswordComplexity& rules, CharacterType type);
VLPasswordPosition prohibitedPositionForType(const VLPasswordComplexity& rules, CharacterType type);

} // namespace VorlaneBridge
