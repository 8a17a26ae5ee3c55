// The declarative description of a record class: its stem, its JSON shape and one row per member
// (key, where it goes, in which form, when it is written and read, whether it is compared, kept
// on a merge or shown in a view). Record<T> (record.h) does every JSON and merge step from it,
// so a record class is its table plus the few operations that really differ.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <json/value.h>

#include "vxmeta/records/field_codec.h"
#include "vxmeta/records/vx_metadata.h"

namespace VxMeta {

// Where a class's members live in its JSON objects.
enum class RecordShape {
    Flat,         // every member is a member of the top-level object
    Record,       // the InRecord members go into a "record" object, without a signature
    SignedRecord, // as Record, and the compact text of "record" is signed by the client ("signature")
};

// Rules of one member. Without flags a member is an outer member, written in both forms, read
// whether present or not, compared, replaced on a merge and left out of views.
enum FieldFlag : uint32_t {
    InRecord = 1u << 0,     // member of the "record" object
    LocalOnly = 1u << 1,    // written only in the local form (the local store's), never sent
    WhenNotEmpty = 1u << 2, // written only when not empty (text) or not 0 (number)
    WhenPresent = 1u << 3,  // read only when the JSON object has the key; otherwise left as it is
    NotCompared = 1u << 4,  // not part of operator!=
    Kept = 1u << 5,         // a merge (copyUpdate) keeps the held value
    InView = 1u << 6,       // copied by copyView
    InMemory = 1u << 7,     // no JSON key at all: derived on this client, never sent or stored
    ServerOnly = 1u << 8,   // written only in the server form, never into the local store
};

// One member of class T, with the operations of its type bound to it.
template <class T>
struct FieldSpec {
    const char* key; // JSON key; null for an in-memory member
    uint32_t flags;
    Json::Value (*toJson)(const T& record, bool forServer);
    void (*fromJson)(T& record, const Json::Value& value, const char* key);
    bool (*isEmpty)(const T& record);
    bool (*same)(const T& a, const T& b);
    void (*copy)(T& to, const T& from);

    bool has(uint32_t flag) const { return (flags & flag) != 0; }
};

template <class P>
struct MemberPointerTraits;
template <class C, class M>
struct MemberPointerTraits<M C::*> {
    using Class = C;
    using Member = M;
};

// The row of a JSON member: field<&PID::name>("name", InRecord). T names the record class when
// the member belongs to a base (field<&VxMetadata::revision, PID>).
template <auto P, class T = typename MemberPointerTraits<decltype(P)>::Class>
FieldSpec<T> field(const char* key, uint32_t flags = 0) {
    using Codec = FieldCodec<typename MemberPointerTraits<decltype(P)>::Member>;
    return FieldSpec<T>{
        key,
        flags & ~InMemory,
        [](const T& record, bool forServer) { return Codec::toJson(record.*P, forServer); },
        [](T& record, const Json::Value& value, const char* name) { Codec::fromJson(record.*P, value, name); },
        [](const T& record) { return Codec::isEmpty(record.*P); },
        [](const T& a, const T& b) { return Codec::same(a.*P, b.*P); },
        [](T& to, const T& from) { to.*P = from.*P; },
    };
}

// The row of a member without JSON (a link or a derived flag): only merges and views use it.
template <auto P, class T = typename MemberPointerTraits<decltype(P)>::Class>
FieldSpec<T> memoryField(uint32_t flags) {
    return FieldSpec<T>{
        nullptr, flags | InMemory | NotCompared, nullptr, nullptr, nullptr, nullptr,
        [](T& to, const T& from) { to.*P = from.*P; },
    };
}

// The row of the signature member named by T's table: outside "record", read and written as text.
template <class T>
FieldSpec<T> signatureField() {
    using Codec = FieldCodec<std::string>;
    return FieldSpec<T>{
        "signature",
        0,
        [](const T& record, bool forServer) { return Codec::toJson(record.*T::schema().signature, forServer); },
        [](T& record, const Json::Value& value, const char* name) {
            Codec::fromJson(record.*T::schema().signature, value, name);
        },
        [](const T& record) { return Codec::isEmpty(record.*T::schema().signature); },
        [](const T& a, const T& b) { return Codec::same(a.*T::schema().signature, b.*T::schema().signature); },
        [](T& to, const T& from) { to.*T::schema().signature = from.*T::schema().signature; },
    };
}

// The table of class T; the class states its shape as `static constexpr RecordShape shape`. The
// table of a SignedRecord class names its signature member and lists only the class's own rows:
// the rows of the signed shape ("revision" inside "record", "signature" outside) are added here,
// after them.
template <class T>
struct RecordSchema {
    // A Flat or Record class.
    RecordSchema(const char* stemWord, std::vector<FieldSpec<T>> rows) : stem(stemWord), fields(std::move(rows)) {
        static_assert(T::shape != RecordShape::SignedRecord, "a signed record's table names its signature member");
    }
    // A SignedRecord class; signatureMember holds the client's signature of the record text.
    RecordSchema(const char* stemWord, std::string T::*signatureMember, std::vector<FieldSpec<T>> rows)
        : stem(stemWord), signature(signatureMember), fields(std::move(rows)) {
        static_assert(T::shape == RecordShape::SignedRecord, "only a signed record's table names a signature member");
        fields.push_back(field<&VxMetadata::revision, T>("revision", InRecord));
        fields.push_back(signatureField<T>());
    }
    RecordSchema(const char*, std::nullptr_t, std::vector<FieldSpec<T>>) = delete;

    const char* stem;
    std::string T::*signature = nullptr; // SignedRecord: the member that holds the signature; else null
    std::vector<FieldSpec<T>> fields;
};

} // namespace VxMeta
