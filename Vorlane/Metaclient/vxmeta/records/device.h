// Device: this device's registration under the account: owner, platform, identifier and name in
// the signed "record"; outside it the registering application, the password-recovery material
// and the service's access decision. "recovery_cipher" never leaves this device, and
// "recovery_code" (its key) is never stored on it.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class Device : public Record<Device> {
public:
    std::string created_at;
    std::string updated_at;
    std::string owner;
    std::string platform_type;
    std::string platform_subtype;
    std::string platform_version;
    std::string urn;
    std::string name;
    bool owner_disabled = false;
    std::string signature;
    std::string app_name;
    std::string app_version;
    std::string recovery_code;
    std::string recovery_cipher;
    // Fails closed: a service copy without the member reads as false.
    bool allow_access = true;
    int32_t appComplianceEtag = 0;
    int64_t id = 0;
    int64_t ownerid = 0;

    static constexpr RecordShape shape = RecordShape::SignedRecord;
    static const RecordSchema<Device>& schema();
    std::string idstr() const override;
    std::string geturn() const override;
    // verifySignedValue.
    [[nodiscard]] bool verifySignature() override;
    // True without a URN; otherwise the own identity's public key must verify the record text.
    // Never fails.
    [[nodiscard]] bool verifySignedValue();
};

} // namespace VxMeta
