#include "vxmeta/records/server.h"

#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"

namespace VxMeta {

const RecordSchema<Server>& Server::schema() {
    static const RecordSchema<Server> table{
        "server",
        {
            field<&Server::name>("name"),
            field<&Server::pubkey>("pubkey"),
            field<&Server::url>("url"),
            field<&Server::authorization>("authorization"),
        },
    };
    return table;
}

std::string Server::idstr() const { return idStr(name); }

std::string Server::geturn() const { return std::string(); }

Json::Value FieldCodec<Server>::toJson(const Server& member, bool forServer) {
    Json::Value nested(Json::objectValue);
    Server copy = member;
    copy.encode(nested, forServer);
    return nested;
}

void FieldCodec<Server>::fromJson(Server& member, const Json::Value& value, const char* key) {
    if (!value.isObject() && !value.isNull())
        throw VxMetaException(VXMECAT_PROTOCOL, std::string("Unexpected JSON type for ") + key + " (expected object)");
    member.decode(value);
}

} // namespace VxMeta
