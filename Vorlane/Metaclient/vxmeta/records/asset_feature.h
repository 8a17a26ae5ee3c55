// AssetFeature: a named, scoped feature that a managed key's owner attaches to the key, with a
// compatibility demand ("Mandatory", "ReadOnly", "Suggested", "Optional" or empty) and a value. A
// feature that applies to this application and that it does not know limits what it may do with
// the key. Verified with the signer of its Asset (linked in memory).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "vxmeta/records/asset.h"
#include "vxmeta/records/record.h"

namespace VxMeta {

class AssetFeature : public Record<AssetFeature> {
public:
    std::string created_at;
    std::string updated_at;
    std::string asset;
    std::string owner;
    std::string name;
    std::string scope;
    std::string compatibility;
    std::string value;
    std::string signature;
    std::string homeServer;
    std::shared_ptr<Asset> assetLink;
    int64_t id = 0;
    int64_t assetid = 0;
    int64_t ownerid = 0;

    static constexpr RecordShape shape = RecordShape::SignedRecord;
    static const RecordSchema<AssetFeature>& schema();
    std::string idstr() const override;
    // The asset URN, "-", the name, "-", the scope.
    std::string geturn() const override;
    // getSignerPublicKey must verify the record text.
    [[nodiscard]] bool verifySignature() override;
    // The signer of the linked Asset; the empty text without a link. A failed look-up of the
    // asset's owner is thrown on.
    std::string getSignerPublicKey() const;
    // True when the scope is empty or one of its comma-separated parts is one of the library's
    // scopes (setForScopes). Takes no lock.
    bool appliesToMe() const;
};

} // namespace VxMeta
