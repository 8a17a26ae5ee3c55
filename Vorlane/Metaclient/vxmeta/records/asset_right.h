// AssetRight: one participant's access right to a managed key ("allow" or "deny"), granted and
// signed by the key's owner and verified with the signer of its Asset (linked in memory).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "vxmeta/records/asset.h"
#include "vxmeta/records/record.h"

namespace VxMeta {

class AssetRight : public Record<AssetRight> {
public:
    std::string created_at;
    std::string updated_at;
    std::string asset;
    std::string owner;
    std::string participant;
    std::string access;
    std::string signature;
    std::string homeServer;
    // The Asset of "asset" in the dataset, linked by the reconciliation pass; kept by merges.
    std::shared_ptr<Asset> assetLink;
    int64_t id = 0;
    int64_t assetid = 0;
    int64_t ownerid = 0;
    int64_t participantid = 0;

    static constexpr RecordShape shape = RecordShape::SignedRecord;
    static const RecordSchema<AssetRight>& schema();
    std::string idstr() const override;
    // The asset URN, "-", the participant URN.
    std::string geturn() const override;
    // The URN of the right of that participant for that asset.
    static std::string urnOf(const std::string& asset, const std::string& participant);
    // getSignerPublicKey must verify the record text.
    [[nodiscard]] bool verifySignature() override;
    // The signer of the linked Asset; the empty text without a link. A failed look-up of the
    // asset's owner is thrown on.
    std::string getSignerPublicKey() const;
};

} // namespace VxMeta
