// AssetEncryptionInfo: what a key reference names. A key reference is either the archive key
// metadata an encrypted archive carries (JSON: "homeServer", "owner", and "assets" or the
// contingency form "cgkey") or the plain text of an asset URN, ":" and a key sequence.
#pragma once

#include <cstdint>
#include <string>

namespace VxMeta {

struct AssetEncryptionInfo {
    std::string homeServer;
    std::string owner;
    // The asset URN.
    std::string urn;
    // The key sequence; 0 when the reference names none.
    int32_t sequence = 0;
    // The archive's wrapped session password, or the contingency key material.
    std::string keymaterial;
    // Contingency form: the URN of the user's team.
    std::string ca;
};

// Reads a key reference. The JSON form: "homeServer" and "owner"; then the first element of an
// "assets" array, an object whose member that sorts first is named "<urn>:<sequence>" and holds the
// key material; else a "cgkey" object with "ca" and "keymaterial"; else the whole text in the plain
// form. The plain form: the text split at every ":", the first part the URN, the second the
// sequence when there are exactly two parts. Sequences read as atoi does. JSON that is not an
// object, an "assets" array that does not start with a non-empty object, and members of the
// wrong JSON type fail with VXMECAT_INTERNAL "Invalid or unknown file metadata format".
AssetEncryptionInfo extractAssetInfo(const std::string& keyReference);

} // namespace VxMeta
