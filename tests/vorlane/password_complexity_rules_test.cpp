#include "Vorlane/Policy/password_complexity_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace VorlaneBridge {
namespace {

using Kind = VLPolicyPasswordComplexityError::Kind;
using Outcome = std::optional<VLPolicyPasswordComplexityError>;

PasswordComplexity enforced() {
    PasswordComplexity rules;
    rules.setEnforceComplexityRules(true);
    return rules;
}

Outcome fails(Kind kind, std::optional<CharacterType> type = std::nullopt) {
    return VLPolicyPasswordComplexityError{kind, type};
}

struct Case {
    const char* what;
    PasswordComplexity rules;
    std::string password;
    Outcome expected;
};

PasswordComplexity with(void (PasswordComplexity::*set)(uint64_t), uint64_t value, PasswordComplexity rules = enforced()) {
    (rules.*set)(value);
    return rules;
}

TEST(PasswordComplexityRules, TheChecksRunInOrderAndReportTheFirstRuleBroken) {
    PasswordComplexity off = with(&PasswordComplexity::setMinLength, 8);
    off.setEnforceComplexityRules(false);
    off.setMinDigits(3);
    const PasswordComplexity shortAndDigits =
        with(&PasswordComplexity::setMinDigits, 1, with(&PasswordComplexity::setMinLength, 8));
    const PasswordComplexity repeats2 = with(&PasswordComplexity::setMaxRepeats, 2);
    const PasswordComplexity repeats3 = with(&PasswordComplexity::setMaxRepeats, 3);
    const PasswordComplexity lowerNotAtEnds =
        with(&PasswordComplexity::setProhibitedLowercasePosition, VLPasswordPositionFirstOrLast);
    const PasswordComplexity oneSymbol = with(&PasswordComplexity::setMinSymbols, 1);
    const PasswordComplexity tooLongAt = with(&PasswordComplexity::setMaxLength, 4);

    const std::vector<Case> cases = {
        {"enforcement off: anything passes", off, "", std::nullopt},
        {"enforcement off, short", off, "ab", std::nullopt},
        {"length is checked before the digits", shortAndDigits, "abc", fails(Kind::tooShort)},
        {"maxLength 0 is no limit", enforced(), std::string(5000, 'x') + "y", std::nullopt},
        {"above maxLength", tooLongAt, "abcde", fails(Kind::tooLong)},
        {"maxRepeats 2, two in a row", repeats2, "aab", std::nullopt},
        {"maxRepeats 2, three in a row", repeats2, "aaab", fails(Kind::tooManyRepeatingCharacters)},
        {"maxRepeats 3 not below the length", repeats3, "aaa", std::nullopt},
        {"maxRepeats 0 is no limit", enforced(), "aaaa", std::nullopt},
        {"a digit is required", with(&PasswordComplexity::setMinDigits, 1), "abc", fails(Kind::tooFew, CharacterType::digits)},
        {"lower-case at the first position", lowerNotAtEnds, "abC1", fails(Kind::invalidPosition, CharacterType::lowercase)},
        {"lower-case inside only", lowerNotAtEnds, "Ab1C", std::nullopt},
        {"lower-case at the last position", lowerNotAtEnds, "AB1c", fails(Kind::invalidPosition, CharacterType::lowercase)},
        {"a single unit is first and last", lowerNotAtEnds, "a", fails(Kind::invalidPosition, CharacterType::lowercase)},
        {"the space is a symbol", oneSymbol, "ab cd", std::nullopt},
        {"the line feed is a symbol", oneSymbol, "ab\ncd", std::nullopt},
        {"punctuation is a symbol", oneSymbol, "ab.cd", std::nullopt},
        {"no symbol", oneSymbol, "abcd", fails(Kind::tooFew, CharacterType::symbols)},
        {"upper-case is checked after lower-case",
         with(&PasswordComplexity::setMinUppercase, 1, with(&PasswordComplexity::setMinLowercase, 2)), "A1",
         fails(Kind::tooFew, CharacterType::lowercase)},
    };
    for (const Case& c : cases) EXPECT_EQ(satisfiesComplexityRequirements(c.password, c.rules), c.expected) << c.what;
}

TEST(PasswordComplexityRules, ACombiningAccentIsAUnitOfItsOwnAndOfNoClass) {
    const std::string accented = "e\u0301"; // e, combining acute accent
    EXPECT_TRUE(isAtLeastThisLong(accented, 2));
    EXPECT_FALSE(isAtLeastThisLong(accented, 3));
    EXPECT_TRUE(hasAtLeast(accented, 1, CharacterType::lowercase));
    EXPECT_FALSE(hasAtLeast(accented, 2, CharacterType::lowercase));
    for (CharacterType type : {CharacterType::uppercase, CharacterType::digits, CharacterType::symbols})
        EXPECT_FALSE(hasAtLeast(accented, 1, type)) << description(type);
    // The accent stands last, so a lower-case rule on the ends sees only the first letter.
    EXPECT_TRUE(hasNo("A" + accented, CharacterType::lowercase, VLPasswordPositionFirstOrLast));
}

TEST(PasswordComplexityRules, CharactersOutsideTheBasicPlaneAreClassifiedAsTheCharacterTheyAre) {
    const std::string boldA = "\U0001D400";    // MATHEMATICAL BOLD CAPITAL A (Lu)
    const std::string boldZero = "\U0001D7CE"; // MATHEMATICAL BOLD DIGIT ZERO (Nd)
    const std::string smile = "\U0001F600";    // GRINNING FACE (So)
    const std::string boldSmallA = "\U0001D41A"; // MATHEMATICAL BOLD SMALL A (Ll)

    // Two code units each, counted as one character of their class.
    EXPECT_TRUE(isNoLongerThan(boldA, 2));
    EXPECT_FALSE(isNoLongerThan(boldA, 1));
    EXPECT_TRUE(hasAtLeast(boldA + boldA, 2, CharacterType::uppercase));
    EXPECT_FALSE(hasAtLeast(boldA + boldA, 3, CharacterType::uppercase));
    EXPECT_TRUE(hasAtLeast(boldZero, 1, CharacterType::digits));
    EXPECT_TRUE(hasAtLeast(smile, 1, CharacterType::symbols));
    EXPECT_TRUE(hasAtLeast(boldSmallA, 1, CharacterType::lowercase));
    EXPECT_FALSE(hasAtLeast(smile, 1, CharacterType::lowercase));

    // At either end the whole pair is seen.
    EXPECT_FALSE(verifyAtFirstAndLast(boldA + "bc", CharacterType::uppercase));
    EXPECT_FALSE(verifyAtFirstAndLast("bc" + boldA, CharacterType::uppercase));
    EXPECT_TRUE(verifyAtFirstAndLast("b" + boldA + "c", CharacterType::uppercase));
    EXPECT_TRUE(hasNo(boldA + "bc" + boldA, CharacterType::uppercase, VLPasswordPositionOnlyFirstOrLast));
    EXPECT_FALSE(hasNo("b" + boldA + "c", CharacterType::uppercase, VLPasswordPositionOnlyFirstOrLast));
    EXPECT_TRUE(hasNo(boldA, CharacterType::uppercase, VLPasswordPositionOnlyFirstOrLast));

    // The repeat check compares code units: a repeated pair has no two equal units in a row.
    EXPECT_TRUE(doesNotExceedThisNumberOfRepeatedCharacters(smile + smile + smile, 1));

    PasswordComplexity rules = enforced();
    rules.setMinLength(6);
    rules.setMinUppercase(1);
    rules.setMinDigits(1);
    rules.setMinSymbols(1);
    rules.setProhibitedUppercasePosition(VLPasswordPositionFirstOrLast);
    EXPECT_EQ(satisfiesComplexityRequirements("a" + boldA + boldZero + smile, rules), std::nullopt);
    EXPECT_EQ(satisfiesComplexityRequirements(boldA + "a" + boldZero + smile, rules),
              fails(Kind::invalidPosition, CharacterType::uppercase));
}

TEST(PasswordComplexityRules, OnlyFirstOrLastKeepsTheClassOutOfTheInside) {
    const std::vector<std::pair<std::string, bool>> cases = {
        {"1abc2", true}, {"1", true}, {"12", true}, {"abc", true}, {"ab1c", false}, {"1a1", true}, {"a11", false},
    };
    for (const auto& [password, keeps] : cases)
        EXPECT_EQ(hasNo(password, CharacterType::digits, VLPasswordPositionOnlyFirstOrLast), keeps) << password;

    PasswordComplexity rules = enforced();
    rules.setProhibitedDigitsPosition(VLPasswordPositionOnlyFirstOrLast);
    EXPECT_EQ(satisfiesComplexityRequirements("ab1c", rules), fails(Kind::invalidPosition, CharacterType::digits));
    EXPECT_EQ(satisfiesComplexityRequirements("1abc", rules), std::nullopt);
}

TEST(PasswordComplexityRules, AnEmptyPasswordKeepsEveryPositionRuleAndValuesAboveTwoAreNoRule) {
    for (VLPasswordPosition position : {VLPasswordPositionFirstOrLast, VLPasswordPositionOnlyFirstOrLast, uint64_t{3},
                                        uint64_t{99}}) {
        PasswordComplexity rules = enforced();
        rules.setProhibitedLowercasePosition(position);
        rules.setProhibitedUppercasePosition(position);
        rules.setProhibitedDigitsPosition(position);
        rules.setProhibitedSymbolsPosition(position);
        EXPECT_EQ(satisfiesComplexityRequirements("", rules), std::nullopt) << position;
        if (position > 2) {
            EXPECT_EQ(satisfiesComplexityRequirements("a-1.B", rules), std::nullopt) << position;
        }
    }
    EXPECT_TRUE(verifyAtFirstAndLast("", CharacterType::symbols));
    EXPECT_FALSE(hasAtLeast("", 1, CharacterType::symbols));
    EXPECT_TRUE(hasAtLeast("", 0, CharacterType::symbols));
}

TEST(PasswordComplexityRules, ClassesAndPositionsDescribeThemselves) {
    EXPECT_EQ(description(CharacterType::lowercase), "Lowercase character(s)");
    EXPECT_EQ(description(CharacterType::uppercase), "Uppercase character(s)");
    EXPECT_EQ(description(CharacterType::digits), "Digit(s)");
    EXPECT_EQ(description(CharacterType::symbols), "Symbol(s)");
    EXPECT_EQ(description(VLPasswordPositionNone), "");
    EXPECT_EQ(description(VLPasswordPositionFirstOrLast), "in first or last position");
    EXPECT_EQ(description(VLPasswordPositionOnlyFirstOrLast), "only in first or last position");

    // Title-case letters are upper-case; tab and U+0085 are symbols; a mark is of no class.
    EXPECT_TRUE(characterSet(CharacterType::uppercase).contains(U'\u01C5'));
    EXPECT_TRUE(characterSet(CharacterType::symbols).contains(U'\t'));
    EXPECT_TRUE(characterSet(CharacterType::symbols).contains(U'\u0085'));
    EXPECT_TRUE(characterSet(CharacterType::symbols).contains(U'\u200B')); // format character
    EXPECT_TRUE(characterSet(CharacterType::digits).contains(U'\u0663'));  // ARABIC-INDIC DIGIT THREE
    EXPECT_FALSE(characterSet(CharacterType::digits).contains(U'\u00B2')); // superscript two is not decimal
    for (CharacterType type : {CharacterType::lowercase, CharacterType::uppercase, CharacterType::digits,
                               CharacterType::symbols})
        EXPECT_FALSE(characterSet(type).contains(U'\u0301')) << description(type);
}

TEST(PasswordComplexityRules, BytesThatAreNotUtf8AreCheckedWithoutStopping) {
    PasswordComplexity rules = enforced();
    rules.setMinLength(2);
    rules.setMaxRepeats(1);
    rules.setProhibitedSymbolsPosition(VLPasswordPositionFirstOrLast);
    // Each broken sequence reads as one replacement character, a symbol.
    EXPECT_EQ(satisfiesComplexityRequirements("\xff" "ab", rules), fails(Kind::invalidPosition, CharacterType::symbols));
    EXPECT_EQ(satisfiesComplexityRequirements("\xc3", rules), fails(Kind::tooShort));
}

} // namespace
} // namespace VorlaneBridge
