#include "vxmeta/sync/manifest.h"

#include <openssl/crypto.h>

#include "vxmeta/comm/access_seam.h"
#include "vxmeta/crypto/aes.h"
#include "vxmeta/crypto/digests.h"
#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/json_access.h"
#include "vxmeta/sync/manifest_texts.h"

namespace VxMeta {

namespace {

// The version text of the document ("v"), which also ends the signature key.
const char* const formatVersion = "1";

// SHA-256 of the wrap text: encrypts the session key.
std::string wrapKey() { return SHA256(ManifestTexts::wrapText()); }

// HMAC-SHA-256 keyed with the entry text over the session key's text: encrypts the entry list.
std::string entryKey(const std::string& sessionKey) {
    return hmacsha(256, ManifestTexts::entryText(), sessionKey);
}

// Base64 of HMAC-SHA-256 keyed with the entry key followed by the version text, over the "e" text.
std::string signatureOf(const std::string& key, const std::string& version, const std::string& encryptedEntries) {
    return base64_encode(hmacsha(256, key + version, encryptedEntries));
}

bool sameInConstantTime(const std::string& a, const std::string& b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace

Manifest::Entry::Entry(const std::string& entryName, const std::string& value)
    : name(entryName), digest(hash(value)) {}

std::string Manifest::Entry::hash(const std::string& value) { return base64_encode(SHA256(value)); }

bool Manifest::Entry::matches(const std::string& /*name*/, const std::string& value) const {
    return hash(value) == digest;
}

Json::Value Manifest::Entry::toJsonValue() const {
    Json::Value json(Json::objectValue);
    json["a"] = name;
    json["b"] = digest;
    return json;
}

bool Manifest::Entry::fromJsonValue(const Json::Value& json) {
    if (!json.isObject()) return false;
    name = jsonText(json, "a");
    if (name.empty()) return false;
    digest = jsonText(json, "b");
    return !digest.empty();
}

void Manifest::store(const std::string& name, const std::string& value) {
    if (value.empty()) {
        entries.erase(name);
        return;
    }
    entries[name] = Entry(name, value);
}

void Manifest::verifyManifest(const std::string& name, const std::string& value) {
    const auto found = entries.find(name);
    if (found == entries.end() || found->second.verified || !found->second.matches(name, value))
        throwInvalidMetadata("Found invalid metadata (" + name + ")");
    found->second.verified = true;
    ++verifiedCount;
}

bool Manifest::allVerified() const {
    // verifyManifest counts each entry once at most.
    return static_cast<size_t>(verifiedCount) == entries.size();
}

std::string Manifest::toJson() {
    if (sessionKey.empty()) {
        sessionKey = generateSessionKey();
        wrappedKey = encrypt(AES(wrapKey()), sessionKey, true);
    }
    Json::Value list(Json::arrayValue);
    for (const auto& [name, entry] : entries) list.append(entry.toJsonValue());
    const std::string key = entryKey(sessionKey);
    Json::Value document(Json::objectValue);
    document["a"] = wrappedKey;
    document["e"] = encrypt(AES(key), jsonString(list), true);
    document["s"] = signatureOf(key, formatVersion, document["e"].asString());
    document["v"] = formatVersion;
    return jsonString(document);
}

void Manifest::fromJson(const std::string& text) {
    bool read = false;
    try {
        read = fromJsonImp(text);
    } catch (...) {
        // A member of the wrong type, a cipher text of an unknown form, anything else: unreadable.
        read = false;
    }
    if (!read) throwInvalidMetadata("Invalid metadata manifest");
}

bool Manifest::fromJsonImp(const std::string& text) {
    Json::Value document;
    if (!parse(text, document) || !document.isObject()) return false;
    const std::string version = jsonText(document, "v");
    if (version != formatVersion) return false;
    wrappedKey = jsonText(document, "a");
    if (wrappedKey.empty()) return false;
    sessionKey = decrypt(AES(wrapKey()), wrappedKey);
    if (sessionKey.empty()) return false;
    const std::string key = entryKey(sessionKey);
    const std::string encryptedEntries = jsonText(document, "e");
    const std::string signature = jsonText(document, "s");
    if (encryptedEntries.empty() || signature.empty()) return false;
    // The signature covers "e" as written, so it is checked before anything is decrypted.
    if (!sameInConstantTime(signatureOf(key, version, encryptedEntries), signature)) return false;
    const std::string plain = decrypt(AES(key), encryptedEntries);
    if (plain.empty()) return false;
    Json::Value list;
    if (!parse(plain, list) || !list.isArray()) return false;
    for (const Json::Value& element : list) {
        Entry entry;
        if (!entry.fromJsonValue(element)) return false;
        entries[entry.name] = std::move(entry);
    }
    return true;
}

void Manifest::throwInvalidMetadata(const std::string& message) {
    mdClearAll(false);
    throw VxMetaException(VXMECAT_INVALID_METADATA, message);
}

} // namespace VxMeta
