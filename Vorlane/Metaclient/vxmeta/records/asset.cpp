#include "vxmeta/records/asset.h"

#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/state_access.h"

namespace VxMeta {

namespace {

// Derived on this client by the reconciliation pass; merges keep them.
constexpr uint32_t Derived = Kept;

} // namespace

const RecordSchema<Asset>& Asset::schema() {
    static const RecordSchema<Asset> table{
        "asset",
        &Asset::signature,
        {
            field<&Asset::created_at>("created_at", LocalOnly),
            field<&Asset::updated_at>("updated_at", LocalOnly),
            field<&Asset::owner>("owner", InRecord),
            field<&Asset::name>("name", InRecord | InView),
            field<&Asset::urn>("urn", InRecord | InView),
            field<&Asset::object_kind>("object_kind", InRecord | InView),
            field<&Asset::object_cookie>("object_cookie", InRecord),
            field<&Asset::delete_by>("delete_by", InRecord | WhenNotEmpty),
            field<&Asset::compatibility>("compatibility", LocalOnly | WhenPresent | NotCompared | Derived),
            memoryField<&Asset::canEncrypt>(Derived | InView),
            memoryField<&Asset::canDelete>(Derived | InView),
            memoryField<&Asset::upgradeLevel>(Derived),
            field<&Asset::homeServer>("homeServer"),
            field<&Asset::keyRotation>("keyRotation", InView),
            field<&Asset::keyRetirement>("keyRetirement", InView),
            field<&Asset::keyDestruction>("keyDestruction", InView),
            field<&Asset::id>("id", InView),
            field<&Asset::ownerid>("ownerid", LocalOnly | InView),
        },
    };
    return table;
}

std::string Asset::idstr() const { return idStr(id); }

std::string Asset::geturn() const { return urn; }

bool Asset::verifySignature() { return verifyTextNoExceptions(recordText, signature, getSignerPublicKey()); }

std::string Asset::getSignerPublicKey() const { return getAssetSigner(object_kind, owner); }

std::string Asset::asAKF() const {
    Json::Value file(Json::objectValue);
    file["version"] = 2;
    file["asset"] = urn;
    return jsonString(file) + "\n";
}

bool isPriv(const std::string& urn) { return urn.compare(0, 5, "priv-") == 0; }

bool isFixedAsset(const std::string& urn) {
    return isPriv(urn) || urn.compare(0, 10, "community-") == 0 || urn.compare(0, 12, "groupMaster-") == 0;
}

std::shared_ptr<Asset> findAssetByURN(const std::string& urn) {
    LockScope lock(masterMutex);
    if (!myAssets) return nullptr;
    for (const std::shared_ptr<Asset>& asset : *myAssets)
        if (asset && asset->urn == urn) return asset;
    return nullptr;
}

std::shared_ptr<Asset> findTeamAsset(int teamId) {
    const std::string cookie = std::to_string(teamId);
    LockScope lock(masterMutex);
    if (!myAssets) return nullptr;
    for (const std::shared_ptr<Asset>& asset : *myAssets)
        if (asset && asset->object_kind == "TeamGroup" && asset->object_cookie == cookie) return asset;
    return nullptr;
}

bool assetIsSignedBySMDS(const std::string& kind) {
    return kind == "groupMaster" || kind == "community" || kind == "TDEKey";
}

std::string getAssetSigner(const std::string& kind, const std::string& owner) {
    if (assetIsSignedBySMDS(kind)) return servicePublicKey();
    return pubkeyLookupUrn(owner);
}

std::string linkedAssetSigner(const std::shared_ptr<Asset>& link, const char* what, int64_t id) {
    if (link) return link->getSignerPublicKey();
    VXLOG(2, "Unable to get signer for asset %s %lld - no matching asset", what, static_cast<long long>(id));
    return std::string();
}

} // namespace VxMeta
