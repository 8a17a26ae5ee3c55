// SingleAssetManager: one managed key (an Asset) with the records that belong to it: its access
// requests, rights, key revisions and features. The public API makes one per key operation; its lists
// hold the same record objects as the global lists when they were copied from them. The manager sends
// its changed records (sync), reconciles its lists (examineState), and keeps a store of its own:
// serializeAll and restoreAll write and read the persisted store's pairs for its five lists, without
// an integrity manifest. It loads a key from the dataset or the service (partialFetch for its users,
// fullFetch for its owner), gives the key material of a revision (key_material.cpp), creates keys
// (asset_creation.cpp) and sets their features (asset_features.cpp).
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/record_query.h"
#include "vxmeta/records/vx_metadata.h"
#include "vxmeta/sync/list_refresh.h"
#include "vxmeta/sync/persisted_store.h"

namespace VxMeta {

class Asset;
class AssetRequest;
class AssetRight;
class AssetKey;
class AssetFeature;

class SingleAssetManager {
public:
    std::shared_ptr<Asset> asset;
    // Holds exactly the asset.
    RecordListPtr<Asset> assets;
    RecordListPtr<AssetRequest> requests;
    RecordListPtr<AssetRight> rights;
    RecordListPtr<AssetKey> keys;
    RecordListPtr<AssetFeature> features;
    // Records added to or removed from the manager's lists are added to or removed from the global
    // lists too; nothing clears it.
    bool mirroring = true;
    // The key was loaded for its owner, requests included.
    bool fullyLoaded = false;
    // The records whose locally-dirty flag the last changes-only save of the manager cleared.
    std::vector<std::shared_ptr<VxMetadata>> savedRecords;
    // The names of the records of the manager's last save, written or not.
    std::set<std::string> savedNames;

    // An empty asset and empty lists.
    SingleAssetManager();

    // Under the master lock, back to an empty manager (nothing when the asset's URN is empty).
    void clear();
    std::string getKind() const;
    std::string getURN() const;

    // Sends the changed records, reconciles the lists (the per-key pass), answers "deny" to the requests
    // the pass refused, and sends what the pass changed. The caller does not hold the master lock.
    void examineState();

    // --- loading (asset_loading.cpp) -------------------------------------------------------------
    // Loads the key a reference names for its users: nothing when it is loaded already; from the
    // dataset when myAssets holds it (keys, features and rights, no requests, no request made);
    // otherwise, unless localOnly (VXMECAT_NOTFOUND "Local copy of requested asset not found"),
    // from the service: the asset, its keys, features and rights, then examineState. A refusal
    // "No Right" files an access request for the reference first when askOnNoRight. No library
    // lock is held across a request.
    void partialFetch(const std::string& keyReference, bool localOnly, bool askOnNoRight);
    // Loads the key for its owner, requests included (from the dataset, or from the service with
    // examineState), and runs the management gate. Another owner: VXMECAT_INTERNAL "You are not
    // the owner". A key partialFetch loaded gets its requests from myRequests once.
    void fullFetch(const std::string& keyReference);
    // Files an access request for the key (askForAsset of access_requests.h).
    void askForAsset(const std::string& keyReference);
    // Under the sync lock, for the owner of the loaded key (else VXMECAT_INTERNAL "You are not the
    // owner") and a request of that key (else VXMECAT_INTERNAL "Can't respond to request - asset
    // doesn't match"): the request is "answered"; a right the requester holds takes the answer as
    // its access, a requester without one gets a new right (mirrored into myRights); examineState
    // sends it and the keys the pass gives; a request answered by a new right leaves the lists.
    // (access_requests.cpp)
    void respondToRequest(const std::shared_ptr<AssetRequest>& request, const std::string& answer);

    // --- key material (key_material.cpp) ---------------------------------------------------------
    // The plain key material (base64 text) of the revision a key reference names, for decryption:
    // the key is loaded with partialFetch; a refusal with status 403 turns into the contingency key
    // when the user holds a contingency master key, else into an access request and the refusal.
    // Then the decryption gate, the "decrypt" MFA checkpoint and the unwrapping. The empty text when
    // the manager holds no usable key of that sequence. The flag is passed on and has no effect.
    // A sequence below 1: VXMECAT_INTERNAL "Invalid or missing key sequence number". The caller
    // holds no library lock.
    std::string getDecryptionKeyMaterial(const std::string& keyReference, bool flag);
    // Under the master lock: the first key of the sequence that is allowed and addressed to the user.
    std::shared_ptr<AssetKey> getKey(int32_t sequence);
    // Under the master lock, after the encryption gate: the allowed key addressed to the user with
    // the highest sequence (the first in list order among equals); null when none.
    std::shared_ptr<AssetKey> getEncryptionKey();
    // getEncryptionKey after loading the key the reference names (an access request is filed on a
    // refusal "No Right").
    std::shared_ptr<AssetKey> getEncryptionKeyFor(const std::string& keyReference);

    // --- creation (asset_creation.cpp) -------------------------------------------------------------
    // 24 random bytes from OpenSSL in base64, "/" written ",".
    static std::string generateCookie();
    // Under the sync lock: a new key of the kind, owned by the user, sent to the service, mirrored
    // into myAssets, with its first revision for the owner, then examineState. An empty cookie asks
    // for a random one. A kind other than "priv" needs the personal key: without it nothing is sent
    // and VXMECAT_INTERNAL "Unable to encrypt asset key - priv key is unknown - sync required".
    void createKind(const std::string& kind, const std::string& name, const std::string& cookie);
    void createKind(const std::string& kind, const std::string& name);
    // createKind of "@adhoc", "@securechat".
    void createAsset(const std::string& name);
    void createSecureChat(const std::string& name);

    // --- features (asset_features.cpp) -------------------------------------------------------------
    // The loaded key's feature of that name and scope (_getAssetFeature over the features list).
    std::shared_ptr<AssetFeature> getAssetFeature(const std::string& name, const std::string& scope);
    // _setAssetFeature and _delAssetFeature over the features list with the loaded key.
    void setAssetFeature(const std::string& name, const std::string& scope, const std::string& compatibility,
                         const std::string& value);
    void delAssetFeature(const std::string& name, const std::string& scope);

    // Under the master lock: the pairs of the asset, keys, rights, requests and features lists, in that
    // order (every record, or the locally dirty ones and an empty value for each name of the last
    // save that no record yields any more). A changes-only save clears the flag of the records of the
    // manager's own; records shared with the global lists keep theirs, and the dataset store's
    // bookkeeping is left alone, so the dataset's next changes-only save still writes them.
    SerialListPtr serializeAll(bool changesOnly);
    // Under the master lock, reads the pairs of the manager's stems ("asset" into the manager's asset,
    // the others appended to their lists; other stems are skipped), then examineState. A record reader's
    // failure propagates and leaves the pairs before it restored.
    void restoreAll(SerialList pairs);
    // Sends the changed records of the features, rights and keys lists (mustSyncList).
    void sync();
};

// Sends each record of a copy of the list (made under the master lock) that holds unsent changes,
// without the master lock; the first failure propagates and the later records are not sent.
template <class T>
void mustSyncList(const RecordListPtr<T>& list) {
    const RecordListPtr<T> copy = MLockClone(list);
    if (!copy) return;
    for (const std::shared_ptr<T>& record : *copy)
        if (record) record->sync();
}

// Under the master lock: appends to destination every record of source whose "asset" is urn
// (exact), in source order; destination is not emptied first.
template <class T>
void copyForAsset(const RecordListPtr<T>& destination, const RecordListPtr<T>& source, const std::string& urn) {
    LockScope lock(masterMutex);
    if (!destination || !source) return;
    for (const std::shared_ptr<T>& record : *source)
        if (record && record->asset == urn) destination->push_back(record);
}

// The records of the list path "<stem>?<name>=<value>" from the service (a 404 or an unreadable
// reply: none), fetched without a lock, merged into list under the master lock; the held records
// the service did not return leave the list unless they hold unsent changes.
template <class T>
void refreshList(const RecordListPtr<T>& list, const std::string& name, const std::string& value) {
    const RecordListPtr<T> fetched = queryClass<T>(qualifySuffix(T().stem(), name, value));
    LockScope lock(masterMutex);
    if (!list) return;
    refreshListNoLock(list, *fetched);
    removeUnmarked(*list);
}

} // namespace VxMeta
