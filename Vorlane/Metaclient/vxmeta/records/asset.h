// Asset: a managed key: its owner, name, URN, kind and cookie in the signed "record"; outside it
// the key's home server, lifetime values and the service's ids. The client derives for itself the
// key's compatibility with this application, an upgrade level, and whether the user may encrypt
// with it or delete it; merges keep those. Fixed keys of the kinds the service owns are signed by
// the service, every other kind by its owner.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class Asset : public Record<Asset> {
public:
    std::string created_at;
    std::string updated_at;
    std::string owner;
    std::string name;
    std::string urn;
    std::string object_kind;
    std::string object_cookie;
    std::string delete_by;
    std::string signature;
    std::string compatibility;
    bool canEncrypt = false;
    bool canDelete = false;
    int32_t upgradeLevel = 0;
    std::string homeServer;
    int32_t keyRotation = 0;
    int32_t keyRetirement = 0;
    int32_t keyDestruction = 0;
    int64_t id = 0;
    int64_t ownerid = 0;

    static constexpr RecordShape shape = RecordShape::SignedRecord;
    static const RecordSchema<Asset>& schema();
    std::string idstr() const override;
    std::string geturn() const override;
    // getSignerPublicKey must verify the record text.
    [[nodiscard]] bool verifySignature() override;
    // getAssetSigner of the kind and the owner. Takes no lock of its own; a failed look-up of the
    // owner is thrown on.
    std::string getSignerPublicKey() const;
    // The key-file text: the compact JSON of {"asset": urn, "version": 2} with its line end.
    std::string asAKF() const;
};

// The URN names the user's personal key ("priv-" in front).
bool isPriv(const std::string& urn);
// The URN names a key nobody asks for: a personal key, a community key or a group master key.
bool isFixedAsset(const std::string& urn);
// Under the master lock: the first key of the dataset's keys whose "urn" is urn (exact), or null.
std::shared_ptr<Asset> findAssetByURN(const std::string& urn);
// Under the master lock: the first key of the dataset's keys of kind "TeamGroup" whose "object_cookie"
// is the team id in decimal, compared exactly ("07" is not team 7), or null.
std::shared_ptr<Asset> findTeamAsset(int teamId);
// Kinds of key that the service itself signs: "groupMaster", "community" and "TDEKey".
bool assetIsSignedBySMDS(const std::string& kind);
// The public key that verifies a key of that kind and owner: the service's for the kinds it signs,
// else the owner's (the empty text when the owner is not known). A look-up of the owner that fails (a
// request to the service, an unknown URN among them) is thrown on, never read as a bad signature.
std::string getAssetSigner(const std::string& kind, const std::string& owner);
// The signer of the key that a right, an asset key or a feature is linked to. Without a link, the
// empty text after the level-2 line "Unable to get signer for asset <what> <id> - no matching asset".
std::string linkedAssetSigner(const std::shared_ptr<Asset>& link, const char* what, int64_t id);

} // namespace VxMeta
