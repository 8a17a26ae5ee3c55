// How one record member travels in JSON: the conversions of each member type, with the JSON
// library's lenient rules (a number read as text gives its decimal text, null gives the empty
// value) but a VxMetaException "Server Protocol Violation" where that library would throw.
#pragma once

#include <cstdint>
#include <string>

#include <json/value.h>

namespace VxMeta {

// Checked readers of one JSON value; `key` names the member in the failure message.
std::string readText(const Json::Value& value, const char* key);
int32_t readInt32(const Json::Value& value, const char* key);
int64_t readInt64(const Json::Value& value, const char* key);
bool readBool(const Json::Value& value, const char* key);

// FieldCodec<M>: writing, reading, emptiness and equality of a member of type M. A record class
// with a member of another type (a nested record, say) adds a specialization of its own.
template <class M>
struct FieldCodec;

template <>
struct FieldCodec<std::string> {
    static Json::Value toJson(const std::string& member, bool) { return Json::Value(member); }
    static void fromJson(std::string& member, const Json::Value& value, const char* key) {
        member = readText(value, key);
    }
    static bool isEmpty(const std::string& member) { return member.empty(); }
    static bool same(const std::string& a, const std::string& b) { return a == b; }
};

template <>
struct FieldCodec<int32_t> {
    static Json::Value toJson(int32_t member, bool) { return Json::Value(member); }
    static void fromJson(int32_t& member, const Json::Value& value, const char* key) {
        member = readInt32(value, key);
    }
    static bool isEmpty(int32_t member) { return member == 0; }
    static bool same(int32_t a, int32_t b) { return a == b; }
};

template <>
struct FieldCodec<int64_t> {
    static Json::Value toJson(int64_t member, bool) { return Json::Value(Json::Int64(member)); }
    static void fromJson(int64_t& member, const Json::Value& value, const char* key) {
        member = readInt64(value, key);
    }
    static bool isEmpty(int64_t member) { return member == 0; }
    static bool same(int64_t a, int64_t b) { return a == b; }
};

template <>
struct FieldCodec<bool> {
    static Json::Value toJson(bool member, bool) { return Json::Value(member); }
    static void fromJson(bool& member, const Json::Value& value, const char* key) { member = readBool(value, key); }
    static bool isEmpty(bool member) { return !member; }
    static bool same(bool a, bool b) { return a == b; }
};

// A JSON member is carried whole and compared as JSON.
template <>
struct FieldCodec<Json::Value> {
    static Json::Value toJson(const Json::Value& member, bool) { return member; }
    static void fromJson(Json::Value& member, const Json::Value& value, const char*) { member = value; }
    static bool isEmpty(const Json::Value& member) { return member.empty(); }
    static bool same(const Json::Value& a, const Json::Value& b) { return a == b; }
};

} // namespace VxMeta
