// Record<T>: the part of every record class that its field table (record_schema.h) determines:
// the two JSON forms, reading, the change step, equality, the merge of a fresh copy, refreshing and the view
// copies. A class T derives from Record<T> and provides `static constexpr RecordShape shape` and
// `static const RecordSchema<T>& schema()`.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include <json/value.h>

#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/json_access.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/record_query.h"
#include "vxmeta/records/record_schema.h"
#include "vxmeta/records/record_signing.h"
#include "vxmeta/records/vx_metadata.h"

namespace VxMeta {

template <class T>
class Record : public VxMetadata {
public:
    const char* stem() const override { return T::schema().stem; }

    // Under the master lock. Signed records: a record that holds a signature writes its stored
    // record text again, whatever its members hold now; one without is rendered and signed with
    // the logged-in user's key (and becomes locally dirty).
    void encode(Json::Value& out, bool forServer) override;
    // Under the master lock. Members not marked WhenPresent are read whether present or not.
    void decode(const Json::Value& in) override;

    // After a local change, under the master lock: both dirty flags, revision + 1, and a signed
    // record drops its signature so that the next encode signs it again.
    void changed();
    // Any compared member differs (signed records: the record text too).
    bool operator!=(const T& other) const;
    // Merges a copy from the service, under the master lock: when it differs, it first takes this
    // record's originator and kept members and then replaces this record whole, which becomes
    // locally dirty; in every case this record is no longer remotely dirty.
    void copyUpdate(T& fresh);
    // Fetches the record again from its path and merges it with copyUpdate when it was read; a
    // failure of the request leaves the record as it was.
    void refresh();

    // The class's queries: every record of its list path ("<stem>/"), the records of a path as
    // given, and those of "<stem>/?<name>=<value>" (the value URL-encoded).
    static RecordListPtr<T> queryAll() { return queryClass<T>(std::string(T::schema().stem) + "/"); }
    static RecordListPtr<T> queryCollect(const std::string& path) { return queryClass<T>(path); }
    static RecordListPtr<T> query(const std::string& name, const std::string& value) {
        return queryClass<T>(std::string(T::schema().stem) + "/" + querySuffix(name, value));
    }

protected:
    // Signed records: recordText becomes the compact text of the "record" object rendered from the
    // current members, without signing it; the caller signs it with a key of its own.
    void renderRecordText();

    Record() = default;
    Record(const Record&) = default;
    Record& operator=(const Record&) = default;
    ~Record() override = default;

    std::unique_ptr<VxMetadata> cloneRecord() const override { return std::make_unique<T>(self()); }
    // Signed records that hold a signature: the record text goes into the text as it is, not read
    // and written again (the stored and sent forms of every such record pass here).
    std::string encodeText(bool forServer) override;
    void assignRecord(VxMetadata&& decoded) override { self() = std::move(static_cast<T&>(decoded)); }

private:
    // Writes the members of one form: the InRecord ones into record, the others into out.
    void writeMembers(Json::Value& out, Json::Value& record, bool forServer);

    T& self() { return static_cast<T&>(*this); }
    const T& self() const { return static_cast<const T&>(*this); }
};

// Copies the members marked InView; nothing else of either record changes. The caller holds the
// master lock when the source is shared.
template <class T>
void copyView(T& view, const T& source) {
    for (const FieldSpec<T>& f : T::schema().fields)
        if (f.has(InView)) f.copy(view, source);
}

// Under the master lock: a new list of new records, each holding the view of one record of list.
template <class T>
RecordListPtr<T> copyViewList(const RecordListPtr<T>& list) {
    LockScope lock(masterMutex);
    auto views = std::make_shared<RecordList<T>>();
    if (!list) return views;
    views->reserve(list->size());
    for (const std::shared_ptr<T>& record : *list) {
        auto view = std::make_shared<T>();
        if (record) copyView(*view, *record);
        views->push_back(std::move(view));
    }
    return views;
}

template <class T>
void Record<T>::writeMembers(Json::Value& out, Json::Value& record, bool forServer) {
    const T& me = self();
    for (const FieldSpec<T>& f : T::schema().fields) {
        if (f.has(InMemory) || (forServer ? f.has(LocalOnly) : f.has(ServerOnly))) continue;
        if (f.has(WhenNotEmpty) && f.isEmpty(me)) continue;
        (f.has(InRecord) ? record : out)[f.key] = f.toJson(me, forServer);
    }
}

template <class T>
void Record<T>::renderRecordText() {
    static_assert(T::shape == RecordShape::SignedRecord, "only signed records have a record text to sign");
    LockScope lock(masterMutex);
    Json::Value outer(Json::objectValue);
    Json::Value record(Json::objectValue);
    writeMembers(outer, record, true);
    recordText = jsonString(record);
}

template <class T>
void Record<T>::encode(Json::Value& out, bool forServer) {
    LockScope lock(masterMutex);
    const RecordSchema<T>& schema = T::schema();
    T& me = self();
    Json::Value record(Json::objectValue);
    writeMembers(out, record, forServer);
    if constexpr (T::shape == RecordShape::SignedRecord) {
        std::string& signature = me.*schema.signature;
        if (!signature.empty()) {
            record = parseJson(recordText);
        } else {
            recordText = jsonString(record);
            signature = signText(recordText);
            localDirty = true;
        }
        out["signature"] = signature;
    }
    if constexpr (T::shape != RecordShape::Flat) out["record"] = record;
}

template <class T>
std::string Record<T>::encodeText(bool forServer) {
    if constexpr (T::shape != RecordShape::SignedRecord) {
        return VxMetadata::encodeText(forServer);
    } else {
        LockScope lock(masterMutex);
        const std::string& signature = self().*T::schema().signature;
        // Without a signature the record is signed first; without a record text there is none to keep.
        if (signature.empty() || recordText.empty()) return VxMetadata::encodeText(forServer);
        Json::Value out(Json::objectValue);
        if (!forServer) {
            out["remoteDirty"] = remoteDirty;
            out["originator"] = originator;
        }
        Json::Value unused(Json::objectValue);
        writeMembers(out, unused, forServer);
        out["signature"] = signature;
        return jsonStringWithMember(out, "record", recordText);
    }
}

template <class T>
void Record<T>::decode(const Json::Value& in) {
    LockScope lock(masterMutex);
    const RecordSchema<T>& schema = T::schema();
    T& me = self();
    const Json::Value* record = &in;
    if constexpr (T::shape != RecordShape::Flat) {
        record = &jsonMember(in, "record");
        if constexpr (T::shape == RecordShape::SignedRecord) recordText = jsonString(*record);
    }
    for (const FieldSpec<T>& f : schema.fields) {
        if (f.has(InMemory)) continue;
        const Json::Value& container = f.has(InRecord) ? *record : in;
        const Json::Value& value = jsonMember(container, f.key);
        if (f.has(WhenPresent) && !container.isMember(f.key)) continue;
        f.fromJson(me, value, f.key);
    }
}

template <class T>
void Record<T>::changed() {
    LockScope lock(masterMutex);
    localDirty = true;
    remoteDirty = true;
    ++revision;
    if constexpr (T::shape == RecordShape::SignedRecord) (self().*T::schema().signature).clear();
}

template <class T>
bool Record<T>::operator!=(const T& other) const {
    const RecordSchema<T>& schema = T::schema();
    if constexpr (T::shape == RecordShape::SignedRecord)
        if (recordText != other.recordText) return true;
    for (const FieldSpec<T>& f : schema.fields)
        if (!f.has(NotCompared) && !f.same(self(), other)) return true;
    return false;
}

template <class T>
void Record<T>::copyUpdate(T& fresh) {
    LockScope lock(masterMutex);
    T& me = self();
    if (me != fresh) {
        fresh.originator = originator;
        for (const FieldSpec<T>& f : T::schema().fields)
            if (f.has(Kept)) f.copy(fresh, me);
        me = fresh;
        localDirty = true;
    }
    remoteDirty = false;
}

template <class T>
void Record<T>::refresh() {
    T fresh;
    if (fresh.fetch(getSuffix())) copyUpdate(fresh);
}

} // namespace VxMeta
