#include "vxmeta/sync/manifest.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
std::string signatureOf(const std::string& key, std::string_view version, std::string_view encryptedEntries) {
    return base64_encode(hmacsha(256, key + std::string(version), encryptedEntries));
}

// A name that needs no escape in a JSON string: printable ASCII without quote or backslash.
bool plainText(std::string_view text) {
    for (const char c : text)
        if (c < 0x20 || c > 0x7E || c == '"' || c == '\\') return false;
    return true;
}

// The entry list as compact JSON text, written directly: a store holds one entry per record. The
// text has room for one more cipher block, so that it can be encrypted where it is.
std::string entryListText(const std::unordered_map<std::string, Manifest::Entry>& entries) {
    std::string text;
    size_t length = 2 + 16;
    for (const auto& [name, entry] : entries) length += name.size() + entry.digest.size() + 16;
    text.reserve(length);
    text += '[';
    for (const auto& [name, entry] : entries) {
        if (text.size() > 1) text += ',';
        if (plainText(entry.name) && plainText(entry.digest)) {
            text += "{\"a\":\"";
            text += entry.name;
            text += "\",\"b\":\"";
            text += entry.digest;
            text += "\"}";
        } else {
            text += jsonString(entry.toJsonValue());
        }
    }
    text += ']';
    return text;
}

// Reads an entry list in the compact shape that entryListText writes ([{"a":"name","b":"digest"},...]
// with plain texts, neither empty) straight into entries. False for any other text; the entries read
// before the first element of another shape stay, and the caller then reads the whole list as JSON.
bool readWrittenEntryList(const std::string& text, std::unordered_map<std::string, Manifest::Entry>& entries) {
    size_t at = 0;
    auto expect = [&](const char* literal) {
        const size_t length = std::char_traits<char>::length(literal);
        if (text.compare(at, length, literal) != 0) return false;
        at += length;
        return true;
    };
    // A non-empty plain text up to the next quote.
    auto plainUpToQuote = [&](std::string_view& out) {
        const size_t end = text.find('"', at);
        if (end == std::string::npos || end == at) return false;
        out = std::string_view(text).substr(at, end - at);
        at = end + 1;
        return plainText(out);
    };
    if (!expect("[")) return false;
    if (expect("]")) return at == text.size();
    do {
        std::string_view name, digest;
        if (!expect("{\"a\":\"") || !plainUpToQuote(name) || !expect(",\"b\":\"") || !plainUpToQuote(digest) ||
            !expect("}"))
            return false;
        Manifest::Entry& entry = entries[std::string(name)];
        entry.name = name;
        entry.digest = digest;
        entry.verified = false;
    } while (expect(","));
    return expect("]") && at == text.size();
}

// Entry::hash in a buffer of this thread: a save and a restore digest every stored value.
const std::string& digestOf(const std::string& value) {
    unsigned char raw[32];
    SHA256(value, raw);
    thread_local std::string text;
    text.clear();
    base64_append(text, raw, sizeof raw);
    return text;
}

// The four texts of a manifest document, as views into the document's text.
struct DocumentTexts {
    std::string_view a, e, s, v;
};

// Reads a document in the compact shape that toJson writes ({"a":"..","e":"..","s":"..","v":".."},
// plain texts) as views, so that the long "e" is neither decoded nor copied. False for any other
// text, which the caller then reads as JSON.
bool readWrittenDocument(std::string_view text, DocumentTexts& out) {
    size_t at = 0;
    auto member = [&](const char* opening, std::string_view& value) {
        const size_t length = std::char_traits<char>::length(opening);
        if (text.compare(at, length, opening) != 0) return false;
        at += length;
        const size_t end = text.find('"', at);
        if (end == std::string_view::npos) return false;
        value = text.substr(at, end - at);
        at = end + 1;
        return plainText(value);
    };
    return member("{\"a\":\"", out.a) && member(",\"e\":\"", out.e) && member(",\"s\":\"", out.s) &&
           member(",\"v\":\"", out.v) && text.substr(at) == "}";
}

bool sameInConstantTime(const std::string& a, std::string_view b) {
    return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace

Manifest::Entry::Entry(const std::string& entryName, const std::string& value)
    : name(entryName), digest(hash(value)) {}

std::string Manifest::Entry::hash(const std::string& value) { return digestOf(value); }

bool Manifest::Entry::matches(const std::string& /*name*/, const std::string& value) const {
    return digestOf(value) == digest;
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
    const auto [at, added] = entries.try_emplace(name);
    if (added) at->second.name = name;
    at->second.digest = digestOf(value);
    at->second.verified = false;
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
    const std::string key = entryKey(sessionKey);
    if (!plainText(wrappedKey)) {
        Json::Value document(Json::objectValue);
        document["a"] = wrappedKey;
        document["e"] = encrypt(AES(key), entryListText(entries), true);
        document["s"] = signatureOf(key, formatVersion, document["e"].asString());
        document["v"] = formatVersion;
        return jsonString(document);
    }
    // The compact document, written directly: "e" is as long as the entry list, so it is encrypted
    // into the document's text and signed there.
    std::string list = entryListText(entries);
    std::string text;
    text.reserve(wrappedKey.size() + list.size() / 3 * 4 + 128);
    text += "{\"a\":\"";
    text += wrappedKey;
    text += "\",\"e\":\"";
    const size_t encryptedAt = text.size();
    appendEncrypted(text, AES(key), std::move(list), true);
    const std::string signature =
        signatureOf(key, formatVersion, std::string_view(text).substr(encryptedAt));
    text += "\",\"s\":\"";
    text += signature;
    text += "\",\"v\":\"";
    text += formatVersion;
    text += "\"}";
    return text;
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
    DocumentTexts texts;
    // Another shape is read as JSON; its texts are then held here.
    std::string version, wrapped, encrypted, signature;
    if (!readWrittenDocument(text, texts)) {
        Json::Value document;
        if (!parse(text, document) || !document.isObject()) return false;
        version = jsonText(document, "v");
        wrapped = jsonText(document, "a");
        encrypted = jsonText(document, "e");
        signature = jsonText(document, "s");
        texts = DocumentTexts{wrapped, encrypted, signature, version};
    }
    if (texts.v != formatVersion) return false;
    wrappedKey = texts.a;
    if (wrappedKey.empty()) return false;
    sessionKey = decrypt(AES(wrapKey()), wrappedKey);
    if (sessionKey.empty()) return false;
    const std::string key = entryKey(sessionKey);
    if (texts.e.empty() || texts.s.empty()) return false;
    // The signature covers "e" as written, so it is checked before anything is decrypted.
    if (!sameInConstantTime(signatureOf(key, texts.v, texts.e), texts.s)) return false;
    const std::string plain = decrypt(AES(key), texts.e);
    if (plain.empty()) return false;
    entries.reserve(entries.size() + plain.size() / 64);
    if (readWrittenEntryList(plain, entries)) return true;
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
