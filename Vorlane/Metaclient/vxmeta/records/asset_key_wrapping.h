// Unwrapping and issuing session keys with what the dataset holds: the logged-in user's private
// key, the personal asset keys (by key sequence), the team group's key and the group master keys.
// Wrapped forms of a session key (44-character base64 text):
//   RSA form       "V2-" RSA ciphertext of the text, for the recipient's public key
//   indirect form  "V3-" keysequence "-" base64(salt) "-" base64(ciphertext): the 32 raw key bytes,
//                  unpadded, under the user's personal asset key of that key sequence
//   master form    RSA form of a fresh session key "|" "V4-" text of the wrapped key under it
#pragma once

#include <memory>
#include <string>

#include "vxmeta/records/vx_metadata.h"

namespace VxMeta {

class Asset;
class AssetKey;

// decryptAssetKey of the text.
std::string decryptSessionKey(const std::string& wrapped);
// The key wrapped in master form, opened with the logged-in user's private key. A text that is not
// exactly two parts around "|" is an upgrade failure.
std::string decryptMasterKey(const std::string& wrapped);
// The session key wrapped for a recipient: the indirect form under the user's current personal
// key when the recipient is the user (the own identity's key) and the asset is not the personal
// asset ("priv-"); the RSA form for the recipient's key otherwise.
std::string encryptAssetKey(const std::string& assetUrn, const std::string& sessionKey, const std::string& publicKey);
// The session key text of any of the three forms; requires a logged-in user. An indirect form
// whose key sequence is not a decimal number, or whose personal key is unknown, is an internal
// failure.
std::string decryptAssetKey(const std::string& wrapped);
// The next revision of the asset's key for the user, wrapped for the user (and, except for the
// personal asset, also under the current personal key), appended to keys and to the dataset's
// asset keys. Under the master lock throughout; a failure leaves both lists as they were.
std::shared_ptr<AssetKey> issueAssetKey(const std::shared_ptr<Asset>& asset, const RecordListPtr<AssetKey>& keys);

} // namespace VxMeta
