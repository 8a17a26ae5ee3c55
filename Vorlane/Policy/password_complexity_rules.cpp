#include "Vorlane/Policy/password_complexity_rules.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace VorlaneBridge {

namespace {

using Units = icu::UnicodeString;

// The password as UTF-16; a byte sequence that is not UTF-8 reads as U+FFFD.
Units unitsOf(const std::string& password) {
    return icu::UnicodeString::fromUTF8(password);
}

uint64_t length(const Units& units) {
    return static_cast<uint64_t>(units.length());
}

bool longestRunAtMost(const Units& units, uint64_t n) {
    if (n == 0 || n >= length(units)) return true;
    uint64_t longest = 0;
    uint64_t run = 1;
    for (int32_t i = 1; i < units.length(); ++i) {
        run = units.charAt(i) == units.charAt(i - 1) ? run + 1 : 1;
        if (run >= 2 && run > longest) longest = run;
    }
    return longest <= n;
}

bool atLeast(const Units& units, uint64_t n, CharacterType type) {
    if (n == 0) return true;
    const CharacterSet set(type);
    uint64_t count = 0;
    for (int32_t i = 0; i < units.length();) {
        const UChar32 c = units.char32At(i);
        if (set.contains(static_cast<char32_t>(c))) ++count;
        i += U16_LENGTH(c);
    }
    return count >= n;
}

bool notAtEnds(const Units& units, CharacterType type) {
    if (units.isEmpty()) return true;
    const CharacterSet set(type);
    // char32At on either half of a surrogate pair gives the whole character.
    return !set.contains(static_cast<char32_t>(units.char32At(0))) &&
           !set.contains(static_cast<char32_t>(units.char32At(units.length() - 1)));
}

bool onlyAtEnds(const Units& units, CharacterType type) {
    if (units.isEmpty()) return true;
    const CharacterSet set(type);
    const int32_t firstEnd = U16_LENGTH(units.char32At(0));
    const int32_t lastStart = units.length() - U16_LENGTH(units.char32At(units.length() - 1));
    for (int32_t i = firstEnd; i < lastStart;) {
        const UChar32 c = units.char32At(i);
        if (set.contains(static_cast<char32_t>(c))) return false;
        i += U16_LENGTH(c);
    }
    return true;
}

bool keepsPosition(const Units& units, CharacterType type, VLPasswordPosition at) {
    if (at == VLPasswordPositionFirstOrLast) return notAtEnds(units, type);
    if (at == VLPasswordPositionOnlyFirstOrLast) return onlyAtEnds(units, type);
    return true;
}

constexpr CharacterType kClasses[] = {CharacterType::lowercase, CharacterType::uppercase, CharacterType::digits,
                                      CharacterType::symbols};

} // namespace

bool CharacterSet::contains(char32_t codePoint) const {
    const UChar32 c = static_cast<UChar32>(codePoint);
    const int8_t category = u_charType(c);
    switch (type_) {
    case CharacterType::lowercase:
        return category == U_LOWERCASE_LETTER;
    case CharacterType::uppercase:
        return category == U_UPPERCASE_LETTER || category == U_TITLECASE_LETTER;
    case CharacterType::digits:
        return category == U_DECIMAL_DIGIT_NUMBER;
    case CharacterType::symbols:
        switch (category) {
        case U_SPACE_SEPARATOR:
        case U_LINE_SEPARATOR:
        case U_PARAGRAPH_SEPARATOR:
        case U_CONTROL_CHAR:
        case U_FORMAT_CHAR:
        case U_DASH_PUNCTUATION:
        case U_START_PUNCTUATION:
        case U_END_PUNCTUATION:
        case U_CONNECTOR_PUNCTUATION:
        case U_OTHER_PUNCTUATION:
        case U_INITIAL_PUNCTUATION:
        case U_FINAL_PUNCTUATION:
        case U_MATH_SYMBOL:
        case U_CURRENCY_SYMBOL:
        case U_MODIFIER_SYMBOL:
        case U_OTHER_SYMBOL:
            return true;
        default:
            return (c >= 0x0A && c <= 0x0D) || c == 0x85;
        }
    }
    return false;
}

CharacterSet characterSet(CharacterType type) {
    return CharacterSet(type);
}

std::string description(CharacterType type) {
    switch (type) {
    case CharacterType::lowercase:
        return "Lowercase character(s)";
    case CharacterType::uppercase:
        return "Uppercase character(s)";
    case CharacterType::digits:
        return "Digit(s)";
    case CharacterType::symbols:
        return "Symbol(s)";
    }
    return std::string();
}

std::string description(VLPasswordPosition position) {
    if (position == VLPasswordPositionFirstOrLast) return "in first or last position";
    if (position == VLPasswordPositionOnlyFirstOrLast) return "only in first or last position";
    return std::string();
}

std::optional<VLPolicyPasswordComplexityError> satisfiesComplexityRequirements(const std::string& password,
                                                                              const VLPasswordComplexity& setForthBy) {
    using Kind = VLPolicyPasswordComplexityError::Kind;
    if (!setForthBy.enforceComplexityRules()) return std::nullopt;
    const Units units = unitsOf(password);
    if (length(units) < setForthBy.minLength()) return VLPolicyPasswordComplexityError{Kind::tooShort, std::nullopt};
    if (setForthBy.maxLength() != 0 && length(units) > setForthBy.maxLength())
        return VLPolicyPasswordComplexityError{Kind::tooLong, std::nullopt};
    if (!longestRunAtMost(units, setForthBy.maxRepeats()))
        return VLPolicyPasswordComplexityError{Kind::tooManyRepeatingCharacters, std::nullopt};
    for (const CharacterType type : kClasses) {
        if (!atLeast(units, min(setForthBy, type), type)) return VLPolicyPasswordComplexityError{Kind::tooFew, type};
        if (!keepsPosition(units, type, prohibitedPositionForType(setForthBy, type)))
            return VLPolicyPasswordComplexityError{Kind::invalidPosition, type};
    }
    return std::nullopt;
}

bool isAtLeastThisLong(const std::string& password, uint64_t n) {
    return length(unitsOf(password)) >= n;
}

bool isNoLongerThan(const std::string& password, uint64_t n) {
    return length(unitsOf(password)) <= n;
}

bool doesNotExceedThisNumberOfRepeatedCharacters(const std::string& password, uint64_t n) {
    return longestRunAtMost(unitsOf(password), n);
}

bool hasAtLeast(const std::string& password, uint64_t n, CharacterType charactersOfType) {
    return atLeast(unitsOf(password), n, charactersOfType);
}

bool hasNo(const std::string& password, CharacterType type, VLPasswordPosition at) {
    return keepsPosition(unitsOf(password), type, at);
}

bool verifyAtFirstAndLast(const std::string& password, CharacterType type) {
    return notAtEnds(unitsOf(password), type);
}

uint64_t min(const VLPasswordComplexity& rules, CharacterType type) {
    switch (type) {
    case CharacterType::lowercase:
        return rules.minLowercase();
    case CharacterType::uppercase:
        return rules.minUppercase();
    case CharacterType::digits:
        return rules.minDigits();
    case CharacterType::symbols:
        return rules.minSymbols();
    }
    return 0;
}

VLPasswordPosition prohibitedPositionForType(const VLPasswordComplexity& rules, CharacterType type) {
    switch (type) {
    case CharacterType::lowercase:
        return rules.prohibitedLowercasePosition();
    case CharacterType::uppercase:
        return rules.prohibitedUppercasePosition();
    case CharacterType::digits:
        return rules.prohibitedDigitsPosition();
    case CharacterType::symbols:
        return rules.prohibitedSymbolsPosition();
    }
    return VLPasswordPositionNone;
}

} // namespace VorlaneBridge
