// The secret store as the credential keepers see it: items of two classes (generic and internet
// passwords) with their attributes and value data, reached through three calls that take a query
// and answer a 32-bit status: copy-matching, add and delete. `SecretServiceKeychain` is the desktop's
// secret store; tests use an in-memory store with the same rules.
//
// Rules every implementation keeps:
// - Only the application's own items are seen: an item another program stored, whatever its
//   attributes, is never matched, returned or deleted.
// - An attribute given in a copy-matching or delete query must be equal; an absent one matches
//   anything. Value data and the result flags are ignored when matching.
// - Copy-matching without a match limit or with the limit one answers one item, the most recently
//   changed of those that match; with the limit all, every match, newest first.
// - Delete removes every item that matches.
// - Add refuses an item whose identity (generic: service and account; internet: server and account;
//   an absent attribute counts as empty) is already stored, with `kKeychainDuplicateItem`. (On the
//   desktop's store the check and the write are two calls: two processes adding the same item at the
//   same moment can both succeed.)
#pragma once

#include "TarvexReader/Credentials/secret_bytes.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace TarvexReader {

using KeychainStatus = std::int32_t;

inline constexpr KeychainStatus kKeychainSuccess = 0;
// The query or its attributes are not usable.
inline constexpr KeychainStatus kKeychainBadParameter = -50;
// The user dismissed the store's prompt.
inline constexpr KeychainStatus kKeychainUserCanceled = -128;
// No secret store answers on this session.
inline constexpr KeychainStatus kKeychainNotAvailable = -25291;
// The store is locked and could not be unlocked.
inline constexpr KeychainStatus kKeychainInteractionNotAllowed = -25308;
inline constexpr KeychainStatus kKeychainDuplicateItem = -25299;
inline constexpr KeychainStatus kKeychainItemNotFound = -25300;
// The store answered something this layer cannot read.
inline constexpr KeychainStatus kKeychainDecode = -26275;
// Any other failure of the store.
inline constexpr KeychainStatus kKeychainInternalComponent = -2070;

enum class KeychainItemClass { genericPassword, internetPassword };

enum class KeychainMatchLimit { unspecified, one, all };

// An item's class and attributes: what an added item holds, and what copy-matching answers of an
// item (its attributes when they were asked for, its value data when it was asked for).
struct KeychainItem {
    KeychainItemClass itemClass = KeychainItemClass::genericPassword;
    std::optional<std::string> service;
    std::optional<std::string> server;
    std::optional<std::string> account;
    std::optional<std::string> label;
    std::optional<SecretBytes> valueData;
};

// The attributes to match or to add, with what a copy-matching answer is to carry.
struct KeychainQuery : KeychainItem {
    KeychainMatchLimit matchLimit = KeychainMatchLimit::unspecified;
    bool returnAttributes = false;
    bool returnData = false;
};

// What copy-matching answers: one item (a dictionary), or a list when the query asked for all matches.
struct KeychainResult {
    bool isList = false;
    std::vector<KeychainItem> items;

    // The single item, when the answer is one item rather than a list.
    const KeychainItem* dictionary() const { return !isList && items.size() == 1 ? &items.front() : nullptr; }
};

class Keychain {
public:
    virtual ~Keychain();
    // `kKeychainItemNotFound` when nothing matches; `result` is filled only on success.
    virtual KeychainStatus copyMatching(const KeychainQuery& query, KeychainResult* result) = 0;
    virtual KeychainStatus add(const KeychainQuery& attributes) = 0;
    // `kKeychainItemNotFound` when nothing matches.
    virtual KeychainStatus remove(const KeychainQuery& query) = 0;
};

} // namespace TarvexReader
