// Key files (AKF): the one-line text that names a managed key, {"asset": <key URN>, "version": 2} in
// compact JSON with a line end (Asset::asAKF writes it). Readers also accept a bare key URN.
#pragma once

#include <string>

namespace VxMeta {

// The key URN of a key-file text: a text that does not begin with "{" is the URN itself; otherwise
// its "asset" (empty when absent) while "version" (0 when absent) is below 3. An empty or unreadable
// text, or members of the wrong type, fail with VXMECAT_CLIENT "Bad AKF contents"; version 3 or
// above with VXMECAT_UPGRADE "Asset information is using a newer format - upgrade required.".
std::string AKFToAssetURN(const std::string& text);
// The kind prefix of the key URN that AKFToAssetURN reads: the text before its first "-".
std::string AKFToAssetKind(const std::string& text);

} // namespace VxMeta
