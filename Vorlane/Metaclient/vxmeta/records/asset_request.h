// AssetRequest: a user's request for access to a managed key that somebody else owns, signed by
// the requester. The client derives its status for this user ("waiting", "delete", "answered",
// "pending", "notify"); merges keep the status and the link to the Asset.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "vxmeta/records/asset.h"
#include "vxmeta/records/record.h"

namespace VxMeta {

class AssetRequest : public Record<AssetRequest> {
public:
    std::string created_at;
    std::string updated_at;
    std::string asset;
    std::string participant;
    std::string signature;
    std::shared_ptr<Asset> assetLink;
    std::string status;
    int64_t id = 0;
    int64_t assetid = 0;
    int64_t participantid = 0;

    static constexpr RecordShape shape = RecordShape::SignedRecord;
    static const RecordSchema<AssetRequest>& schema();
    std::string idstr() const override;
    // The asset URN, "-", the participant URN: the URN of the right that answers the request.
    std::string geturn() const override;
    // The requester's public key must verify the record text; no key found fails the check, and a
    // look-up that fails (a request to the service, an unknown URN among them) is thrown on.
    [[nodiscard]] bool verifySignature() override;
};

} // namespace VxMeta
