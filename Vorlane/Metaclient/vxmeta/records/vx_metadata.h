// VxMetadata: the base of every server record. It gives a record its place on the service (stem,
// id text, URN and the paths made of them), its two JSON forms (the server form that is sent and
// the local form that the local store keeps), the bookkeeping flags of a synchronized copy and
// the operations that read a record from JSON.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <json/value.h>

namespace VxMeta {

class VxMetaException;

class VxMetadata {
public:
    // Sweep mark of the list refreshes; a record with neither this nor remoteDirty set is dropped by a sweep.
    bool marked = false;
    // Differs from what the local store holds and must be written there.
    bool localDirty = true;
    // Holds a change that must be sent to the service ("remoteDirty" in the local form).
    bool remoteDirty = true;
    // Signature check: 0 not checked since the content changed, 1 valid, 2 invalid.
    int32_t verified = 0;
    // Signed records: the exact text that the signature covers (the compact text of "record").
    std::string recordText;
    // This client created the record on the service ("originator" in the local form).
    bool originator = false;
    // Revision of the content, raised by each local change; "revision" inside a "record" object.
    int32_t revision = 1;

    VxMetadata() = default;
    VxMetadata(const VxMetadata&) = default;
    VxMetadata& operator=(const VxMetadata&) = default;
    virtual ~VxMetadata();

    // The path word of the record's endpoint; null on the base.
    virtual const char* stem() const;
    // Path of a list refresh: the stem, then "?since=<value>" when since is not empty.
    virtual std::string refreshSuffix(const std::string& since) const;
    virtual std::string idstr() const;
    virtual std::string geturn() const;
    // fetch of the record path.
    virtual bool get();
    // sync for a synchronization pass: never fails on a refusal of the service. A revision
    // conflict (409 "Revision") re-reads the record; a communication failure runs the
    // remote-disabled check; every other refusal is kept as a synchronization problem. False
    // after any refusal.
    virtual bool trySync();
    // Creates the record: POST of the server form to the list path; the reply is read back, and a
    // 201 answer makes this client its originator (and counts the change in the user's expected
    // etag, except for the SID).
    virtual bool post();
    // Updates the record: PUT of the server form to the record path; the change counts in the
    // user's expected etag (except for the SID) whatever the reply holds; the reply is read back.
    virtual bool put();
    // Deletes the record on the service: DELETE of the record path (a record without an id text
    // fails before any request); afterwards neither dirty flag is set, the change counts in the
    // user's expected etag (except for the SID) and the record leaves the dataset lists with what
    // depends on it. A failed request changes nothing.
    virtual bool del();
    // Writes the class's members into out: the server form when forServer, else the local form.
    virtual void encode(Json::Value& out, bool forServer);
    // Reads the class's members from a JSON object.
    virtual void decode(const Json::Value& in);
    // Runs after every decode.
    virtual void postDecode();
    [[nodiscard]] virtual bool verifySignature();

    // Record path: "<stem>/<id>/", or "<stem>/" while the record has no id text.
    std::string getSuffix() const;

    // GET of path, read with fromJSON; not checked afterwards, and no longer remotely dirty when
    // the reply was read. Whether it was read.
    bool fetch(const std::string& path);
    // GET of the list path followed by query (complete, e.g. "?urn=x"); the first record of a
    // non-empty array reply is read. False, record unchanged, for any other reply.
    bool findOne(const std::string& query);
    // Sends a pending change: nothing while not remotely dirty; put with an id text, else post.
    // Whether nothing is pending afterwards. A refusal "MFA Denied" drops the change.
    bool sync();

    // Parses text and reads it with fromJSONValue; false (record unchanged) when it is not JSON.
    bool fromJSON(const std::string& text);
    // Reads "remoteDirty", "originator" and "verified" when present, then decode and postDecode.
    // The record changes only when the whole read succeeds: a value that is not an object is an
    // internal failure, a member of the wrong JSON type a protocol failure.
    bool fromJSONValue(const Json::Value& value);
    // Reads the record from the local store: not locally dirty and not checked afterwards.
    bool restore(const std::string& text);
    // Takes a copy from the service: locally dirty, not remotely dirty, not checked afterwards.
    bool update(const std::string& text);
    bool update(const Json::Value& value);

    // The server form (forServer) or the local form, which starts with "remoteDirty" and "originator".
    Json::Value toJSONValue(bool forServer);
    // toJSONValue as compact text.
    std::string toJSON(bool forServer);

protected:
    // What trySync does with a refusal of sync: a revision conflict of a record with an id reads
    // the record again; a communication failure runs the remote-disabled check; every other
    // refusal is kept as a synchronization problem.
    void handleSyncFailure(const VxMetaException& failure);

    // A copy of this record of its own class, and the assignment of such a copy: a read decodes
    // into a copy and takes it over only when the whole read succeeded.
    virtual std::unique_ptr<VxMetadata> cloneRecord() const;
    // The text of toJSON: jsonString of toJSONValue; a class may write the same text another way.
    virtual std::string encodeText(bool forServer);
    // Takes over the members of a decoded copy, which is left valid but unspecified.
    virtual void assignRecord(VxMetadata&& decoded);
};

// A dataset list: its records in the order they were added.
template <class T>
using RecordList = std::vector<std::shared_ptr<T>>;
template <class T>
using RecordListPtr = std::shared_ptr<RecordList<T>>;

// The id text of a numeric id: its decimal text, or the empty text when it is below 1.
std::string idStr(int64_t id);
// The id text of a text id: the text unchanged.
std::string idStr(const std::string& id);

} // namespace VxMeta
