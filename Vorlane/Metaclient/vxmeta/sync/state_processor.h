// StateProcessor: the reconciliation pass, a one-shot object built over four record lists. It
// derives what the service does not send (upgrade levels and permissions of keys, links between
// records, the state of access requests, the "allowed" flag of asset keys, the user's team and team
// group, the key indexes and the forwarding URN) and repairs what the user's client is responsible
// for: the forwarding datum, wrapped keys for participants that lack them, rewritten invitations,
// contingency keys and contingency master keys, the team's contingency key pair. What it creates or
// rewrites stays remote-dirty in the lists; isChanged tells the caller to push them.
//
// No request is sent and no MFA answer awaited while the pass holds the master lock: runMaster
// applies the team policies before it takes the lock, looks up the participants the locked steps
// could not resolve from the dataset with the lock released and then runs the steps again, and
// answers the requests it refuses after the locked steps (sync lock before master lock).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "vxmeta/records/vx_metadata.h"
#include "vxmeta/sync/list_maps.h"

namespace VxMeta {

class Asset;
class AssetRight;
class AssetKey;
class AssetFeature;
class AssetRequest;
class AppData;
class XPID;

class StateProcessor {
public:
    // Over the four list holders (kept by reference; the argument order differs from the members');
    // reads the user's identity under the master lock. The lists are indexed (clearing the sweep marks
    // of the indexed records) when a run begins under the lock: by run when nothing indexed them yet,
    // by runMaster at each of its rounds.
    StateProcessor(RecordListPtr<Asset>& assets, RecordListPtr<AssetRight>& rights, RecordListPtr<AssetKey>& keys,
                   RecordListPtr<AssetFeature>& features);

    // The full pass over the global dataset. The caller holds the sync lock and not the master lock:
    // the team policies are applied first (a signature check may fetch a record), then the steps run
    // under the master lock (forwarding datum, team, team group, run(true), team key pair); the
    // participants they could not resolve from the dataset are looked up without the lock and the
    // steps run once more; last, the refused requests are answered. May be called again on the same
    // object (the lists are indexed again).
    void runMaster();
    // The per-key part: forwarding URN, features, rights, requests, keys. The caller holds the master
    // lock. A participant unknown to the dataset gets no keys in this run, and a refused request is
    // only collected: the caller answers it with answerRefusedRequests once it has released the lock.
    void run(bool fullPass);
    // Whether the pass created or changed something that must be pushed.
    bool isChanged() const { return changed; }
    // Answers "deny" to the requests the pass refused (for keys being deleted), when a user is logged
    // in; without one they wait for a later pass. The caller does not hold the master lock.
    void answerRefusedRequests();

    // The URN of an asset key with these three values.
    static std::string urnForKey(const std::string& asset, const std::string& participant, int32_t keysequence);

    std::string ownerUrn;
    int64_t ownerId = 0;
    bool changed = false;
    std::string forwardingUrn;
    RecordListPtr<Asset>& assets;
    RecordListPtr<AssetRight>& rights;
    RecordListPtr<AssetFeature>& features;
    RecordListPtr<AssetKey>& keys;
    URNMap<Asset> assetsByUrn;
    URNMap<AssetRight> rightsByUrn;
    URNMap<XPID> identitiesByUrn;
    URNMap<Asset> ownEncryptable;
    URNMap<AssetKey> keysByUrn;
    URNMap<AppData> appDataByUrn;
    // The user's own requests that were granted, requests for the user's keys that wait for an
    // answer, the user's open requests, other participants' answered requests.
    RecordListPtr<AssetRequest> toDelete;
    RecordListPtr<AssetRequest> toNotify;
    RecordListPtr<AssetRequest> waiting;
    RecordListPtr<AssetRequest> answered;

private:
    void indexLists();
    void examineAppData();
    void examineCA();
    void examineTeamGroup();
    void examineTeamPubKey();
    void examineFeatures();
    void examineRights();
    void examineRequests();
    void examineRequest(const std::shared_ptr<AssetRequest>& request);

    // Key distribution (key_distribution.cpp).
    void examineKeys(bool fullPass);
    void indexOwnKeys();
    void decideAllowed(const std::shared_ptr<AssetKey>& key, bool signedIn);
    void rewriteInvitations();
    void giveMissingKeys(const std::shared_ptr<Asset>& asset, const std::shared_ptr<AssetRight>& right);
    bool giveContingencyKeys();
    bool giveContingencyMasterKeys();
    // The identity of a forwarded participant: a look-up made earlier without the lock, else what the
    // dataset and the look-up cache hold; null when unknown (the participant is then noted for a
    // look-up without the lock).
    std::shared_ptr<XPID> forwardedIdentity(const std::string& participant);
    // Looks up the noted participants without the master lock; an MFA refusal counts as no identity.
    // Whether any was looked up.
    bool lookUpNotedParticipants();

    // The user's keys of the own encryptable assets (participant the user, allowed or not yet stored):
    // grouped by asset, in list order within a group, and where each asset's group starts and ends.
    std::vector<std::shared_ptr<AssetKey>> ownKeys;
    std::unordered_map<const Asset*, std::pair<size_t, size_t>> ownKeyRanges;
    bool indexed = false;
    // Participants looked up without the lock (null: none found), and those still to look up.
    std::unordered_map<std::string, std::shared_ptr<XPID>> lookedUp;
    std::vector<std::string> lookUps;
    std::unordered_set<std::string> lookUpsNoted;
    // Requests refused by the pass, answered after it.
    std::vector<std::shared_ptr<AssetRequest>> refused;
    std::unordered_set<const AssetRequest*> refusedSet;
};

} // namespace VxMeta
