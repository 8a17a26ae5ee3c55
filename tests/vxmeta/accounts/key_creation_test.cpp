// Creating managed keys and setting their features without the service: the key's URN and cookie,
// the policy gate, a creation that would leave a key without revisions sends nothing, creation into
// the dataset, and the checks, look-ups and list changes of key features.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/failure_of.h"
#include "support/fake_transport.h"
#include "vxmeta/accounts/asset_creation.h"
#include "vxmeta/accounts/asset_features.h"
#include "vxmeta/accounts/personal_key.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "support/signing_fixture.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;
using VxMeta::testing::thrownBy;
using VxMeta::testing::FakeReply;
using VxMeta::testing::FakeTransport;

namespace {

class KeyCreation : public VxMeta::testing::PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        LockScope lock(masterMutex);
        globalState.clear();
        globalState.myPrikey = VxMetaTest::testKeys().privateKey;
        myPID->urn = VxMetaTest::ownUrn;
        myPID->pubkey = VxMetaTest::testKeys().publicKey;
        myPID->id = 5;
        knownFeatures = {"Deleted Lockers"};
        // Every request is answered with its own body and an id: a sent record reads back what it sent.
        FakeTransport::install([](const CommIO& io) {
            if (io.method == "GET") return FakeReply(200, "{}");
            if (io.method == "DELETE") return FakeReply(200, "{}");
            Json::Value body = parseJson(std::string(io.requestData.begin(), io.requestData.end()));
            body["id"] = 900;
            return FakeReply(201, jsonString(body));
        });
    }
    void TearDown() override {
        LockScope lock(masterMutex);
        globalState.clear();
        knownFeatures.clear();
        myAssets->clear();
        myKeys->clear();
        myFeatures->clear();
        PipelineTest::TearDown();
    }
    static std::vector<std::string> sent() {
        std::vector<std::string> lines;
        for (const CommIO& io : FakeTransport::exchanges())
            if (io.method != "GET") lines.push_back(io.method + " " + io.url.substr(io.url.find("/api/v1.0/") + 10));
        return lines;
    }
};

TEST_F(KeyCreation, KeyUrnsAndCookies) {
    EXPECT_EQ(generateAssetUrn("priv", "", "urn:vx:user/a/b"), "priv--urn:vx:user,a,b");
    EXPECT_EQ(generateAssetUrn("@adhoc", "c/1", "o"), "@adhoc-c,1-o");
    const std::string cookie = SingleAssetManager::generateCookie();
    EXPECT_EQ(cookie.size(), 32u);
    EXPECT_EQ(cookie.find('/'), std::string::npos);
    EXPECT_NE(cookie, SingleAssetManager::generateCookie());
}

TEST_F(KeyCreation, WithoutThePolicysPermissionOnlyThePersonalKeyMayBeMade) {
    {
        LockScope lock(masterMutex);
        globalState.satellitePolicy.skey_flag = 0;
    }
    EXPECT_NO_THROW(verifyCanCreateAsset("priv"));
    for (const char* kind : {"@adhoc", "@securechat", "file", "Priv"}) {
        SCOPED_TRACE(kind);
        const VxMetaException failure = thrownBy([&] { verifyCanCreateAsset(kind); });
        EXPECT_EQ(failure.category, VXMECAT_POLICY_VIOLATION);
        EXPECT_EQ(failure.message, "Policy prohibits making new Orvanels.");
    }
    SingleAssetManager manager;
    EXPECT_EQ(thrownBy([&] { manager.createAsset("one use"); }).category, VXMECAT_POLICY_VIOLATION);
    EXPECT_EQ(thrownBy([&] { addAsset("x", "file", ""); }).category, VXMECAT_POLICY_VIOLATION);
    EXPECT_TRUE(sent().empty());
    LockScope lock(masterMutex);
    EXPECT_TRUE(myAssets->empty());
    globalState.satellitePolicy.skey_flag = 1;
}

TEST_F(KeyCreation, AKeyThatWouldLackItsRevisionIsNotSentWithoutThePersonalKey) {
    SingleAssetManager manager;
    const VxMetaException failure = thrownBy([&] { manager.createAsset("Plans"); });
    EXPECT_EQ(failure.category, VXMECAT_INTERNAL);
    EXPECT_EQ(failure.message, "Unable to encrypt asset key - priv key is unknown - sync required");
    EXPECT_TRUE(sent().empty());
    LockScope lock(masterMutex);
    EXPECT_TRUE(myAssets->empty());
    EXPECT_TRUE(myKeys->empty());
}

TEST_F(KeyCreation, ThePersonalKeyIsCreatedAndSentWithItsFirstRevision) {
    SingleAssetManager manager;
    manager.createKind("priv", "Personal Orvanel", "");
    EXPECT_EQ(manager.getKind(), "priv");
    EXPECT_EQ(manager.asset->object_cookie.size(), 32u);
    EXPECT_EQ(manager.getURN(), "priv-" + manager.asset->object_cookie + "-urn:vx:user,own");
    EXPECT_EQ(manager.asset->owner, VxMetaTest::ownUrn);
    EXPECT_EQ(sent(), (std::vector<std::string>{"POST asset/", "POST assetkey/"}));
    LockScope lock(masterMutex);
    ASSERT_EQ(myAssets->size(), 1u);
    EXPECT_EQ((*myAssets)[0], manager.asset);
    ASSERT_EQ(manager.keys->size(), 1u);
    EXPECT_EQ((*manager.keys)[0]->keysequence, 1);
    EXPECT_TRUE((*manager.keys)[0]->allowed);
    EXPECT_EQ(myKeys->size(), 1u);
}

TEST_F(KeyCreation, AddingAKeyToTheDatasetSendsNothing) {
    {
        LockScope lock(masterMutex);
        myUser->homeServer = "home-1";
    }
    const std::shared_ptr<Asset> asset = addAsset("Personal Orvanel", "priv", "");
    EXPECT_EQ(asset->urn, "priv--urn:vx:user,own");
    EXPECT_EQ(asset->homeServer, "home-1");
    EXPECT_TRUE(sent().empty());
    {
        LockScope lock(masterMutex);
        asset->owner = "urn:vx:user/other";
    }
    EXPECT_EQ(findOrAddAsset("other", "priv", ""), asset) << "whoever owns it";
    LockScope lock(masterMutex);
    EXPECT_EQ(myAssets->size(), 1u);
    EXPECT_EQ(myKeys->size(), 1u);
}

TEST_F(KeyCreation, ThePersonalKeyIsMadeForAVerifiedUserWithoutOneOfTheirOwn) {
    auto foreign = std::make_shared<Asset>();
    foreign->urn = "priv--urn:vx:user,other";
    foreign->owner = "urn:vx:user/other";
    foreign->object_kind = "priv";
    {
        LockScope lock(masterMutex);
        myAssets->push_back(foreign);
        myUser->authenticated = false;
    }
    checkForSpecialAssets();
    EXPECT_TRUE(sent().empty()) << "an unverified user gets none";
    {
        LockScope lock(masterMutex);
        myUser->authenticated = true;
    }
    checkForSpecialAssets();
    LockScope lock(masterMutex);
    ASSERT_EQ(myAssets->size(), 2u);
    EXPECT_EQ(myAssets->back()->urn, "priv--urn:vx:user,own");
    EXPECT_EQ(myAssets->back()->name, "Personal Orvanel");
    ASSERT_TRUE(globalState.personalKey);
    EXPECT_EQ(globalState.personalKey->asset, "priv--urn:vx:user,own");
    EXPECT_EQ(globalState.personalKey->id, 900);
}

TEST_F(KeyCreation, TheChatQueryAsksForChangesOnlyWithATime) {
    getMySecureChats("");
    getMySecureChats("2026-01-02 03:04");
    getMyAdhocAssets();
    std::vector<std::string> paths;
    for (const CommIO& io : FakeTransport::exchanges()) {
        const std::string path = io.url.substr(io.url.find("/api/v1.0/") + 10);
        if (path != "etag/0") paths.push_back(path);
    }
    EXPECT_EQ(paths, (std::vector<std::string>{"asset/?kindprefix=%40securechat",
                                               "asset/?kindprefix=%40securechat&since=2026-01-02+03%3A04",
                                               "asset/?kindprefix=%40adhoc"}));
}

class KeyFeatures : public KeyCreation {
protected:
    std::shared_ptr<Asset> ownKey(const std::string& owner) {
        auto asset = std::make_shared<Asset>();
        asset->urn = "file-1";
        asset->owner = owner;
        asset->localDirty = asset->remoteDirty = false;
        LockScope lock(masterMutex);
        myAssets->push_back(asset);
        return asset;
    }
};

TEST_F(KeyFeatures, TheChecksRunInOrderNameOwnerCompatibility) {
    ownKey("urn:vx:user/other");
    VxMetaException failure = thrownBy([] { setAssetFeature("file-1", "Watermark", "all", "Bogus", "v"); });
    EXPECT_EQ(failure.category, VXMECAT_CLIENT);
    EXPECT_EQ(failure.message, "Cannot manage unknown feature: Watermark");
    failure = thrownBy([] { setAssetFeature("file-1", "Deleted Lockers", "all", "Bogus", "v"); });
    EXPECT_EQ(failure.message, "Cannot manage asset - must be owner.");
    failure = thrownBy([] { delAssetFeature("file-1", "Deleted Lockers", "all"); });
    EXPECT_EQ(failure.message, "Cannot manage asset - must be owner.");
    failure = thrownBy([] { setAssetFeature("file-9", "Deleted Lockers", "all", "Bogus", "v"); });
    EXPECT_EQ(failure.message, "Illegal value for compatibility: Bogus");
    EXPECT_TRUE(sent().empty());
}

TEST_F(KeyFeatures, SettingAddsOnceThenUpdatesInPlaceAndTheScopeComparesIgnoringCase) {
    const std::shared_ptr<Asset> key = ownKey(VxMetaTest::ownUrn);
    setAssetFeature("file-1", "Deleted Lockers", "All", "", "1");
    const std::shared_ptr<AssetFeature> added = getAssetFeature("file-1", "Deleted Lockers", "all");
    ASSERT_TRUE(added);
    EXPECT_EQ(added->value, "1");
    EXPECT_EQ(added->assetLink, key);
    EXPECT_EQ(getAssetFeature("file-1", "deleted lockers", "All"), nullptr);

    setAssetFeature("file-1", "Deleted Lockers", "ALL", "ReadOnly", "2");
    EXPECT_EQ(sent(), (std::vector<std::string>{"POST assetfeature/", "PUT assetfeature/900/"}));
    LockScope lock(masterMutex);
    ASSERT_EQ(myFeatures->size(), 1u);
    EXPECT_EQ((*myFeatures)[0], added);
    EXPECT_EQ(added->value, "2");
    EXPECT_EQ(added->compatibility, "ReadOnly");
    EXPECT_EQ(added->scope, "ALL");
}

TEST_F(KeyFeatures, OnAManagersKeyTheFeatureJoinsBothListsAndDeletingLeavesBoth) {
    ownKey(VxMetaTest::ownUrn);
    SingleAssetManager manager;
    manager.partialFetch("file-1", true, false);
    manager.delAssetFeature("Deleted Lockers", "all");
    EXPECT_TRUE(sent().empty()) << "nothing to delete";

    manager.setAssetFeature("Deleted Lockers", "all", "Optional", "yes");
    {
        LockScope lock(masterMutex);
        ASSERT_EQ(manager.features->size(), 1u);
        ASSERT_EQ(myFeatures->size(), 1u);
        EXPECT_EQ((*manager.features)[0], (*myFeatures)[0]);
    }
    EXPECT_TRUE(manager.getAssetFeature("Deleted Lockers", "ALL"));
    manager.delAssetFeature("Deleted Lockers", "all");
    EXPECT_EQ(sent(), (std::vector<std::string>{"POST assetfeature/", "DELETE assetfeature/900/"}));
    LockScope lock(masterMutex);
    EXPECT_TRUE(manager.features->empty());
    EXPECT_TRUE(myFeatures->empty());
}

} // namespace
