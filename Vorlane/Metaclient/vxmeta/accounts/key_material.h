// What a managed key may be used for, and the contingency road to its key material: the upgrade
// gate and the three gates of management, encryption and decryption, the user's contingency master
// key of a team, the contingency-group public key of the user's team, and the key material of a
// revision recovered through the contingency key. The key material of the manager's own revisions
// is SingleAssetManager's (single_asset_manager.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace VxMeta {

class Asset;
class AssetKey;
class ContingencyMasterKey;
class TeamData;

// Under the master lock: raises the state's upgrade state to the asset's upgrade level; a level
// above allowedLevel fails with VXMECAT_UPGRADE and the message.
void checkAssetUpgradeState(const std::shared_ptr<Asset>& asset, int32_t allowedLevel, const std::string& message);
// Level 2 at most to manage a key, 2 and the policy's leave to encrypt with it (else
// VXMECAT_POLICY_VIOLATION "Policy forbids encryption with Orvanel '<name>'"), 3 to decrypt.
void wantToManageAsset(const std::shared_ptr<Asset>& asset);
void wantToEncryptUsingAsset(const std::shared_ptr<Asset>& asset);
void wantToDecryptUsingAsset(const std::shared_ptr<Asset>& asset);

// Under the master lock: the user's contingency master key for the team (its "ca" compared
// ignoring case, its recipient the user's URN exactly); null when none.
std::shared_ptr<ContingencyMasterKey> findMyCMKForCA(const std::string& ca);
// Under the master lock: the team datum holding the contingency-group public key of the user's
// team (of any team while the user's identity has no server id); null when none.
std::shared_ptr<TeamData> findMyCGPublicKey();

// The key material of the revision "<asset URN>:<key sequence>" recovered through the service's
// contingency key and the user's contingency master key of its team. The flag has no effect.
// A reply that is not JSON: VXMECAT_INTERNAL "Unable to parse response"; no master key of the
// user for the team: VXMECAT_INTERNAL "Contingency key was found but unusable - necessary master
// key is missing". The caller holds no library lock.
std::string getContingencyKey(const std::string& keyId, bool flag);

// Under the master lock (the caller holds it): the key is the user's, by its participant (the
// user's URN, the user's forwarding URN ignoring case, the team group's URN) or by a group master
// key the user holds for its participant id.
bool addressedToMe(const AssetKey& key);

} // namespace VxMeta
