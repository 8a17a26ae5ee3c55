// AssetKey: one revision (key sequence) of a managed key's session key, wrapped for one
// participant (the user, the user's team group, or an identity whose private key a group master
// key carries), with the same session key under the user's personal key ("ckeymaterial").
// Verified with the signer of its Asset (linked in memory).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "vxmeta/records/asset.h"
#include "vxmeta/records/record.h"

namespace VxMeta {

class AssetKey : public Record<AssetKey> {
public:
    std::string created_at;
    std::string updated_at;
    std::string asset;
    std::string owner;
    std::string participant;
    int32_t keysequence = 0;
    std::string keymaterial;
    std::string ckeymaterial;
    std::string ca;
    std::string signature;
    // The participant may use this session key; set by the reconciliation pass, kept by merges.
    bool allowed = false;
    std::string forwarded_keymaterial;
    std::string homeServer;
    // The Asset of "asset" in the dataset; kept by merges.
    std::shared_ptr<Asset> assetLink;
    int64_t id = 0;
    int64_t assetid = 0;
    int64_t ownerid = 0;
    int64_t participantid = 0;

    static constexpr RecordShape shape = RecordShape::SignedRecord;
    static const RecordSchema<AssetKey>& schema();
    std::string idstr() const override;
    // The asset URN, "-", the participant URN, "-", the key sequence.
    std::string geturn() const override;
    // The URN of an asset key with these members.
    static std::string urnOf(const std::string& asset, const std::string& participant, int32_t keysequence);
    // Key material forwarded for the own identity's forwarding URN (compared ignoring case)
    // replaces "keymaterial". Under the master lock; never fails.
    void postDecode() override;
    // getSignerPublicKey must verify the record text.
    [[nodiscard]] bool verifySignature() override;
    // The signer of the linked Asset; the empty text without a link. A failed look-up of the
    // asset's owner is thrown on.
    std::string getSignerPublicKey() const;
    // The plain session key (base64 text) of this key, opened with the private key that its
    // participant calls for (asset_key_wrapping.h). Holds the master lock throughout.
    std::string decryptKeyMaterial() const;
};

// Under the master lock: the user's key of the team's key (findTeamAsset): the first asset key of the
// dataset whose "asset" is that key's URN and whose "participant" is the user's own URN; null when
// there is no such team key or no such asset key.
std::shared_ptr<AssetKey> findMyTeamKey(int teamId);

} // namespace VxMeta
