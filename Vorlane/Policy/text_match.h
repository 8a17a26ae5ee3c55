// Whole-text comparison of UTF-8 texts that ignores letter case and diacritics ("SATELLITE pólicy"
// matches "Satellite Policy"): both texts decomposed, their non-spacing marks dropped, case-folded.
#pragma once

#include <string>

namespace VorlaneBridge {

// Text that is not valid UTF-8 matches nothing.
bool matchesIgnoringCaseAndDiacritics(const std::string& text, const std::string& other);

} // namespace VorlaneBridge
