// The single-key manager's own store and push: the pairs of its lists in order, changes-only saves
// with removals, its restore into its own asset and lists, and which records its push sends. Its
// saves leave the dataset store's records and bookkeeping alone.
#include "vxmeta/accounts/single_asset_manager.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fake_transport.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/pid.h"
#include "support/signing_fixture.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;
using VxMeta::testing::FakeReply;
using VxMeta::testing::FakeTransport;

namespace {

const char* const assetUrn = "urn:vx:asset/1";
const char* const otherUrn = "urn:vx:user/other";

template <class T>
std::shared_ptr<T> clean(std::shared_ptr<T> record) {
    record->localDirty = false;
    record->remoteDirty = false;
    return record;
}

std::shared_ptr<AssetKey> keyOf(int32_t sequence) {
    auto key = std::make_shared<AssetKey>();
    key->asset = assetUrn;
    key->participant = VxMetaTest::ownUrn;
    key->keysequence = sequence;
    key->id = 100 + sequence;
    return clean(key);
}

std::shared_ptr<AssetRight> rightOf(const std::string& participant) {
    auto right = std::make_shared<AssetRight>();
    right->asset = assetUrn;
    right->participant = participant;
    right->access = "allow";
    right->id = 200;
    return clean(right);
}

std::shared_ptr<AssetFeature> feature() {
    auto f = std::make_shared<AssetFeature>();
    f->asset = assetUrn;
    f->name = "watermark";
    f->scope = "all";
    f->id = 300;
    return clean(f);
}

std::vector<std::string> namesOf(const SerialListPtr& list) {
    std::vector<std::string> names;
    for (const auto& pair : *list) names.push_back(pair->name + (pair->value.empty() ? " (removed)" : ""));
    return names;
}

class AssetManagerStore : public VxMeta::testing::PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        LockScope lock(masterMutex);
        globalState.clear();
        globalState.myPrikey = VxMetaTest::testKeys().privateKey;
        myPID->urn = VxMetaTest::ownUrn;
        myPID->pubkey = VxMetaTest::testKeys().publicKey;
        // Every request is answered with its own body: a sent record reads back what it sent.
        FakeTransport::install([](const CommIO& io) {
            if (io.method == "GET") return FakeReply(200, "{}");
            return FakeReply(200, std::string(io.requestData.begin(), io.requestData.end()));
        });
    }
    void TearDown() override {
        LockScope lock(masterMutex);
        globalState.clear();
        PipelineTest::TearDown();
    }
    // A manager holding one key with two revisions, one right and one feature, all clean and as the
    // per-key pass leaves them (the user's revisions of the user's own key are usable).
    static void load(SingleAssetManager& manager) {
        LockScope lock(masterMutex);
        manager.asset->urn = assetUrn;
        manager.asset->owner = VxMetaTest::ownUrn;
        manager.asset->name = "Key";
        clean(manager.asset);
        manager.keys->push_back(keyOf(1));
        manager.keys->push_back(keyOf(2));
        for (auto& key : *manager.keys) key->allowed = true;
        manager.rights->push_back(rightOf(otherUrn));
        manager.features->push_back(feature());
        // Signed once, as a stored record is.
        manager.asset->toJSON(false);
        for (auto& key : *manager.keys) key->toJSON(false);
        (*manager.rights)[0]->toJSON(false);
        (*manager.features)[0]->toJSON(false);
        manager.asset->localDirty = false;
        for (auto& key : *manager.keys) key->localDirty = false;
        (*manager.rights)[0]->localDirty = false;
        (*manager.features)[0]->localDirty = false;
    }
    static std::vector<std::string> sent() {
        std::vector<std::string> lines;
        for (const CommIO& io : FakeTransport::exchanges()) {
            if (io.method == "GET") continue;
            lines.push_back(io.method + " " + io.url.substr(io.url.find("/api/v1.0/") + 10));
        }
        return lines;
    }
};

TEST_F(AssetManagerStore, AFullSaveListsTheKeyThenItsRevisionsRightsAndFeatures) {
    SingleAssetManager manager;
    load(manager);
    const SerialListPtr saved = manager.serializeAll(false);
    EXPECT_EQ(namesOf(saved), (std::vector<std::string>{
                                  "asset-urn:vx:asset,1", "assetkey-urn:vx:asset,1-urn:vx:user,own-1",
                                  "assetkey-urn:vx:asset,1-urn:vx:user,own-2",
                                  "assetright-urn:vx:asset,1-urn:vx:user,other",
                                  "assetfeature-urn:vx:asset,1-watermark-all"}));
    EXPECT_EQ((*saved)[0]->value, manager.asset->toJSON(false));
    EXPECT_EQ(manager.savedNames.size(), 5u);
}

TEST_F(AssetManagerStore, ChangesOnlySavesWriteTheChangedRecordsAndAnnounceTheRemovedOnes) {
    SingleAssetManager manager;
    load(manager);
    manager.serializeAll(false);
    EXPECT_TRUE(manager.serializeAll(true)->empty());

    {
        LockScope lock(masterMutex);
        (*manager.keys)[1]->changed();
        manager.rights->clear();
    }
    const SerialListPtr changes = manager.serializeAll(true);
    EXPECT_EQ(namesOf(changes), (std::vector<std::string>{"assetkey-urn:vx:asset,1-urn:vx:user,own-2",
                                                          "assetright-urn:vx:asset,1-urn:vx:user,other (removed)"}));
    EXPECT_FALSE((*manager.keys)[1]->localDirty);
    EXPECT_EQ(manager.savedRecords.size(), 1u);
    EXPECT_TRUE(manager.serializeAll(true)->empty());
}

TEST_F(AssetManagerStore, SavingLeavesTheDatasetStoreAndItsRecordsAlone) {
    SingleAssetManager manager;
    load(manager);
    auto shared = keyOf(3);
    shared->localDirty = true;
    auto own = keyOf(4);
    own->localDirty = true;
    {
        LockScope lock(masterMutex);
        manager.keys->push_back(shared);
        manager.keys->push_back(own);
        myKeys->push_back(shared);
    }
    const SerialListPtr changes = manager.serializeAll(true);
    EXPECT_EQ(changes->size(), 2u);
    EXPECT_TRUE(shared->localDirty);
    EXPECT_FALSE(own->localDirty);
    {
        LockScope lock(masterMutex);
        EXPECT_TRUE(globalState.manifest.savedNames.empty());
        EXPECT_TRUE(globalState.manifest.savedRecords.empty());
    }
    // The dataset's own save still writes the shared record.
    const SerialListPtr dataset = serializeAll(true);
    bool written = false;
    for (const auto& pair : *dataset) written = written || pair->name == serializationName(shared);
    EXPECT_TRUE(written);
}

TEST_F(AssetManagerStore, RestoreFillsTheManagersOwnAssetAndListsAndSkipsOtherPairs) {
    SingleAssetManager source;
    load(source);
    const SerialListPtr saved = source.serializeAll(false);
    SerialList pairs{std::make_shared<Serial>("m-", "{}"), std::make_shared<Serial>("persists-", "{}")};
    pairs.insert(pairs.end(), saved->begin(), saved->end());
    // A key stored under the name of another revision.
    auto moved = keyOf(5);
    moved->allowed = true;
    pairs.push_back(std::make_shared<Serial>("assetkey-urn:vx:asset,1-urn:vx:user,own-9", moved->toJSON(false)));
    // A revision saved before a pass had judged it: the restore's pass makes it usable, and a flag
    // the pass changed is a change the next save writes.
    auto unjudged = keyOf(6);
    pairs.push_back(std::make_shared<Serial>(serializationName(*unjudged), unjudged->toJSON(false)));

    SingleAssetManager manager;
    const std::shared_ptr<Asset> before = manager.asset;
    manager.restoreAll(pairs);
    EXPECT_EQ(manager.asset, before);
    EXPECT_EQ(manager.asset->urn, assetUrn);
    ASSERT_EQ(manager.assets->size(), 1u);
    ASSERT_EQ(manager.keys->size(), 4u);
    EXPECT_FALSE((*manager.keys)[0]->localDirty);
    EXPECT_FALSE((*manager.keys)[1]->localDirty);
    EXPECT_TRUE((*manager.keys)[2]->localDirty);
    EXPECT_EQ((*manager.keys)[2]->keysequence, 5);
    EXPECT_TRUE((*manager.keys)[3]->allowed);
    EXPECT_TRUE((*manager.keys)[3]->localDirty);
    EXPECT_EQ(manager.asset->compatibility, "Fully Compatible");
    EXPECT_EQ(manager.rights->size(), 1u);
    EXPECT_EQ(manager.features->size(), 1u);
    EXPECT_TRUE(manager.requests->empty());
    EXPECT_TRUE(manager.savedNames.empty());
    EXPECT_TRUE(sent().empty());
}

TEST_F(AssetManagerStore, ARecordThatDoesNotReadStopsTheRestoreBeforeAnythingIsSent) {
    SingleAssetManager manager;
    auto dirty = keyOf(1);
    dirty->remoteDirty = true;
    const SerialList pairs{std::make_shared<Serial>("assetkey-a", dirty->toJSON(false)),
                           std::make_shared<Serial>("assetright-b", "[1]"),
                           std::make_shared<Serial>("assetfeature-c", feature()->toJSON(false))};
    try {
        manager.restoreAll(pairs);
        ADD_FAILURE() << "restored";
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_INTERNAL);
        EXPECT_EQ(e.message, "Value is not in correct object format");
    }
    EXPECT_EQ(manager.keys->size(), 1u);
    EXPECT_TRUE(manager.features->empty());
    EXPECT_TRUE(sent().empty());
}

TEST_F(AssetManagerStore, PushSendsTheChangedFeaturesRightsAndKeysOnly) {
    SingleAssetManager manager;
    load(manager);
    manager.sync();
    EXPECT_TRUE(sent().empty());

    auto request = std::make_shared<AssetRequest>();
    request->asset = assetUrn;
    request->participant = otherUrn;
    {
        LockScope lock(masterMutex);
        manager.asset->changed();
        manager.requests->push_back(request);
        (*manager.keys)[0]->changed();
        (*manager.rights)[0]->changed();
        (*manager.features)[0]->changed();
        auto fresh = rightOf(VxMetaTest::ownUrn);
        fresh->id = 0;
        fresh->remoteDirty = true;
        manager.rights->push_back(fresh);
    }
    manager.sync();
    EXPECT_EQ(sent(), (std::vector<std::string>{"PUT assetfeature/300/", "PUT assetright/200/", "POST assetright/",
                                                "PUT assetkey/101/"}));
    EXPECT_FALSE((*manager.keys)[0]->remoteDirty);
    EXPECT_TRUE(manager.asset->remoteDirty);
    EXPECT_TRUE(request->remoteDirty);
}

TEST_F(AssetManagerStore, AFailedSendStopsThePush) {
    SingleAssetManager manager;
    load(manager);
    {
        LockScope lock(masterMutex);
        (*manager.features)[0]->changed();
        (*manager.keys)[0]->changed();
    }
    FakeTransport::install([](const CommIO& io) {
        if (io.method == "GET") return FakeReply(200, "{}");
        return FakeReply(400, "{\"Message\":\"refused\"}");
    });
    EXPECT_THROW(manager.sync(), VxMetaException);
    EXPECT_EQ(sent(), (std::vector<std::string>{"PUT assetfeature/300/"}));
    EXPECT_TRUE((*manager.keys)[0]->remoteDirty);
}

} // namespace
