// Deployment: a software deployment that the service offers to an application (name, platform,
// version and upgrade information), signed by the service over its local form. Application records
// name their deployment by id.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class Deployment : public Record<Deployment> {
public:
    int32_t id = 0;
    std::string created_at;
    std::string updated_at;
    std::string name;
    std::string platform_type;
    std::string upgrade_info;
    std::string version;
    std::string signature;

    static constexpr RecordShape shape = RecordShape::Flat;
    static const RecordSchema<Deployment>& schema();
    std::string idstr() const override;
    std::string geturn() const override;
    // verifySignedValue.
    [[nodiscard]] bool verifySignature() override;
    // True for a record without an id; otherwise the service's key must verify the compact text of
    // the local form without "id" and "signature". Never fails.
    [[nodiscard]] bool verifySignedValue();
};

} // namespace VxMeta
