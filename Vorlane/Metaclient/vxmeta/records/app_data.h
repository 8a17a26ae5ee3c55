// AppData: a named value that an application keeps on the service for the account, for one
// device (its id) or all of them (id 0). The owner signs it; a datum of kind "MDS" is the
// service's and is signed by the service.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class AppData : public Record<AppData> {
public:
    std::string created_at;
    std::string updated_at;
    int64_t deviceid = 0;
    std::string kind;
    std::string owner;
    std::string name;
    std::string value;
    std::string signature;
    int64_t id = 0;
    int64_t ownerid = 0;

    static constexpr RecordShape shape = RecordShape::SignedRecord;
    static const RecordSchema<AppData>& schema();
    // "appdata?deviceid=<own device id>", then "&since=<since>" when since is not empty.
    std::string refreshSuffix(const std::string& since) const override;
    std::string idstr() const override;
    // The kind, "-", the file-name safe name, "-", the device id.
    std::string geturn() const override;
    // getSignerPublicKey must verify the record text.
    [[nodiscard]] bool verifySignature() override;
    // Under the master lock: the service's key for kind "MDS", else the own identity's key.
    std::string getSignerPublicKey() const;
};

} // namespace VxMeta
