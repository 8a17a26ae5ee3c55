#include "Vorlane/Policy/text_match.h"

#include <optional>

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include "Platform/utf8.h"

namespace VorlaneBridge {

namespace {

std::optional<icu::UnicodeString> comparable(const std::string& text) {
    if (!Platform::isValidUtf8(text)) return std::nullopt;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status)) return std::nullopt;
    const icu::UnicodeString decomposed = nfd->normalize(icu::UnicodeString::fromUTF8(text), status);
    if (U_FAILURE(status)) return std::nullopt;
    icu::UnicodeString bare;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) bare.append(c);
        i += U16_LENGTH(c);
    }
    return bare.foldCase(U_FOLD_CASE_DEFAULT);
}

} // namespace

bool matchesIgnoringCaseAndDiacritics(const std::string& text, const std::string& other) {
    const std::optional<icu::UnicodeString> left = comparable(text);
    const std::optional<icu::UnicodeString> right = comparable(other);
    return left && right && *left == *right;
}

} // namespace VorlaneBridge
