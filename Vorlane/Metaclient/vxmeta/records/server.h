// Server: one key server (name, public key, URL and an authorization document carried whole); the
// migration server that the login parameters name. Also how a Server travels as a member of
// another record: a nested object of its four keys.
#pragma once

#include <string>

#include <json/value.h>

#include "vxmeta/records/record.h"

namespace VxMeta {

class Server : public Record<Server> {
public:
    std::string name;
    std::string pubkey;
    std::string url;
    Json::Value authorization;

    static constexpr RecordShape shape = RecordShape::Flat;
    static const RecordSchema<Server>& schema();
    // The name.
    std::string idstr() const override;
    // Always empty.
    std::string geturn() const override;
};

// A nested Server: written by its own encode in the same form (its four keys, without the base's
// flags) and read by its own decode from an object or null; any other JSON type is a protocol
// failure.
template <>
struct FieldCodec<Server> {
    static Json::Value toJson(const Server& member, bool forServer);
    static void fromJson(Server& member, const Json::Value& value, const char* key);
    static bool isEmpty(const Server&) { return false; }
    static bool same(const Server& a, const Server& b) { return !(a != b); }
};

} // namespace VxMeta
