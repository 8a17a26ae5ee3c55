// What the reconciliation pass tests share: a signed-in user ("me", with a personal key) over the
// canned in-process service, key pairs made once per run for the user, another participant, a team
// group and a team's contingency key, and builders of the records the pass works on.
#pragma once

#include <memory>
#include <string>

#include "sync_fixture.h"
#include "vxmeta/crypto/key_wrapping.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/foundation/base64.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/state_processor.h"

namespace VxMetaTest {

struct KeyPair {
    std::string publicKey;  // "V2-" text
    std::string privateKey; // DER
};

// A key pair made once per name and run (RSA key generation is slow under the sanitizers).
inline const KeyPair& keyPair(int which) {
    static KeyPair pairs[4];
    KeyPair& pair = pairs[which];
    if (pair.publicKey.empty()) VxMeta::generateRSAKeys(pair.publicKey, pair.privateKey);
    return pair;
}
inline const KeyPair& userPair() { return keyPair(0); }
inline const KeyPair& otherPair() { return keyPair(1); }
inline const KeyPair& groupPair() { return keyPair(2); }
inline const KeyPair& teamPair() { return keyPair(3); }

inline const std::string kMe = "urn:vx:user/me";
inline const std::string kOther = "urn:vx:user/other";
inline const std::string kPersonalAsset = "priv-me";
constexpr int64_t kMyId = 7;
constexpr int64_t kOtherId = 42;

class PassTest : public SyncTest {
protected:
    void SetUp() override {
        SyncTest::SetUp();
        using namespace VxMeta;
        LockScope lock(masterMutex);
        globalState.clear();
        myPID->urn = kMe;
        myPID->id = kMyId;
        myPID->email = "Me@Example.TEST";
        myPID->pubkey = userPair().publicKey;
        myUser->homeServer = "home-1";
        lastOnlineTime = nowSeconds();
    }

    // The user's private key held: a user is logged in.
    static void signIn() {
        VxMeta::LockScope lock(VxMeta::masterMutex);
        VxMeta::globalState.myPrikey = userPair().privateKey;
    }
    // Signed in with a personal key (sequence 1, of the team `ca`) in the dataset; its session key.
    std::string signInWithPersonalKey(const std::string& ca = "") {
        signIn();
        VxMeta::LockScope lock(VxMeta::masterMutex);
        VxMeta::myAssets->push_back(asset(kPersonalAsset, kMe, "priv"));
        const std::string session = VxMeta::generateSessionKey();
        auto personal = key(kPersonalAsset, kMe, kMe, 1, VxMeta::encryptSessionKey(session, userPair().publicKey), 100);
        personal->ca = ca;
        VxMeta::myKeys->push_back(personal);
        return session;
    }

    static std::shared_ptr<VxMeta::Asset> asset(const std::string& urn, const std::string& owner,
                                                const std::string& kind = "file") {
        auto made = std::make_shared<VxMeta::Asset>();
        made->urn = urn;
        made->owner = owner;
        made->object_kind = kind;
        made->ownerid = owner == kMe ? kMyId : kOtherId;
        made->remoteDirty = false;
        return made;
    }
    static std::shared_ptr<VxMeta::AssetRight> right(const std::string& assetUrn, const std::string& participant,
                                                     const std::string& access, int64_t participantid = 0) {
        auto made = std::make_shared<VxMeta::AssetRight>();
        made->asset = assetUrn;
        made->owner = kMe;
        made->participant = participant;
        made->access = access;
        made->participantid = participantid;
        made->id = 500 + participantid;
        made->remoteDirty = false;
        return made;
    }
    static std::shared_ptr<VxMeta::AssetKey> key(const std::string& assetUrn, const std::string& owner,
                                                 const std::string& participant, int32_t sequence,
                                                 const std::string& material = "V2-unused", int64_t id = 900) {
        auto made = std::make_shared<VxMeta::AssetKey>();
        made->asset = assetUrn;
        made->owner = owner;
        made->participant = participant;
        made->keysequence = sequence;
        made->keymaterial = material;
        made->id = id;
        made->ownerid = owner == kMe ? kMyId : kOtherId;
        made->participantid = participant == kMe ? kMyId : 0;
        made->remoteDirty = false;
        return made;
    }
    static std::shared_ptr<VxMeta::XPID> identity(const std::string& urn, int64_t id, const std::string& publicKey,
                                                  const std::string& email = "") {
        auto made = std::make_shared<VxMeta::XPID>();
        made->urn = urn;
        made->id = id;
        made->pubkey = publicKey;
        made->email = email;
        made->remoteDirty = false;
        return made;
    }

    // The full pass over the global lists, as the synchronization runs it (no lock held).
    static std::unique_ptr<VxMeta::StateProcessor> runMaster() {
        using namespace VxMeta;
        auto pass = std::make_unique<StateProcessor>(myAssets, myRights, myKeys, myFeatures);
        pass->runMaster();
        return pass;
    }
};

} // namespace VxMetaTest
