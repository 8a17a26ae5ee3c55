// SignatureRequest: one signature request record of the service: its kind, a message, a status,
// and a record text with its signature, both carried as plain texts and not checked here.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class SignatureRequest : public Record<SignatureRequest> {
public:
    std::string created_at;
    std::string updated_at;
    std::string kind;
    std::string message;
    std::string status;
    std::string record;
    std::string signature;
    int64_t id = 0;

    static constexpr RecordShape shape = RecordShape::Flat;
    static const RecordSchema<SignatureRequest>& schema();
    std::string idstr() const override;
    std::string geturn() const override;
};

} // namespace VxMeta
