// Manifest: the persisted store's integrity manifest, held in the global state. It lists every stored
// pair (the "m-" pair excepted) by name with the SHA-256 digest of its value, travels encrypted and
// signed as the value of "m-", and at restore proves that the stored list is complete and unaltered:
// each listed pair must be met exactly once with its value. Beside the entries it carries the save
// bookkeeping of the persisted store: the names of the last save or restore, the records whose local
// changes the last changes-only save wrote, and the removals that save announced, kept until the host
// has stored them. Plain values, copied with the state; read and changed under the master lock.
// The document's format: docs/store-format.md.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include <json/value.h>

namespace VxMeta {

class VxMetadata;

class Manifest {
public:
    // One stored pair: its name ("a") and the base64 SHA-256 digest of its value ("b").
    class Entry {
    public:
        std::string name;
        std::string digest;
        // Met by the restore running now; a second meeting is a stored pair given twice.
        bool verified = false;

        Entry() = default;
        Entry(const std::string& name, const std::string& value);

        // Base64 (44 characters) of the SHA-256 digest of the value's bytes.
        static std::string hash(const std::string& value);
        // The value's digest is the entry's; the name is not consulted.
        bool matches(const std::string& name, const std::string& value) const;
        Json::Value toJsonValue() const;
        // Reads {"a": name, "b": digest}; false when either is empty. A member of another type
        // than text is a failure.
        bool fromJsonValue(const Json::Value& json);
    };

    std::unordered_map<std::string, Entry> entries;
    // The session key encrypted under the wrap key ("a"); empty until the first save or a restore.
    std::string wrappedKey;
    // 44 characters: base64 of 32 random bytes; empty until the first save or a restore.
    std::string sessionKey;
    // Pairs that passed verifyManifest since the manifest was reset.
    int32_t verifiedCount = 0;
    // Records whose locally-dirty flag the last changes-only save cleared.
    std::vector<std::shared_ptr<VxMetadata>> savedRecords;
    // Pair names of the last save or restore, in ascending byte order.
    std::set<std::string> savedNames;
    // Removals announced by the last changes-only save with the entries they dropped. Until the next
    // save takes the host's store as done, changesWereNotSaved can hand them out again.
    std::vector<Entry> unconfirmedRemovals;

    // An empty value removes the entry of that name (when there is one); any other value sets it.
    void store(const std::string& name, const std::string& value);
    // Counts a stored pair that the manifest lists with this value and has not met before in this
    // restore; any other pair fails with "Found invalid metadata (<name>)".
    void verifyManifest(const std::string& name, const std::string& value);
    // Every entry met by verifyManifest.
    bool allVerified() const;
    // The manifest document; creates the session key on first use.
    std::string toJson();
    // Reads a manifest document into this manifest (entries are added to those held); a document
    // that fails any check, or whose reading fails in any way, gives "Invalid metadata manifest".
    void fromJson(const std::string& text);
    // Clears all in-memory metadata, then throws VXMECAT_INVALID_METADATA with the message.
    [[noreturn]] static void throwInvalidMetadata(const std::string& message);

private:
    bool fromJsonImp(const std::string& text);
};

} // namespace VxMeta
