// One managed key's own store end to end against the test key service over HTTPS: the owner's
// manager saves its key, revisions, right and feature; its changes-only saves leave the records it
// shares with the dataset to the dataset's own store; another device of the owner restores the pairs
// into a fresh manager, which sends the change that was never sent and opens the key with the
// restored revision.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "managed_keys_fixture.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/sync/persisted_store.h"

using namespace VxMeta;

namespace {

class KeyStoreOnTheService : public VxMeta::testing::ManagedKeysServiceTest {
protected:
    static std::vector<std::string> stemsOf(const SerialListPtr& pairs) {
        std::vector<std::string> stems;
        for (const auto& pair : *pairs) stems.push_back(pair->name.substr(0, pair->name.find('-')));
        return stems;
    }
    static bool holds(const SerialListPtr& pairs, const std::string& name) {
        for (const auto& pair : *pairs)
            if (pair->name == name) return true;
        return false;
    }
};

TEST_F(KeyStoreOnTheService, TheOwnersOtherDeviceRestoresTheKeySendsWhatWasNotSentAndOpensIt) {
    const Json::Value a = person("a@example.test");
    const Json::Value b = person("b@example.test");
    personalKeyOf(a);
    signInAs(a, true);
    SingleAssetManager made;
    made.createAsset("Plans");
    const std::string urn = made.getURN();
    made.setAssetFeature("Deleted Lockers", "Reader", "ReadOnly", "1");
    made.setAccessByEmail("b@example.test", "allow");
    ASSERT_FALSE(storedKey(urn, b, 1).empty());
    const std::shared_ptr<AssetKey> own = made.getKey(1);
    ASSERT_TRUE(own);
    const std::string material = own->decryptKeyMaterial();

    // Everything the key holds, in the manager's order.
    const SerialListPtr full = made.serializeAll(false);
    EXPECT_EQ(stemsOf(full), (std::vector<std::string>{"asset", "assetkey", "assetkey", "assetright", "assetfeature"}));
    EXPECT_EQ((*full)[0]->name, "asset-" + urnsafe(urn));

    // The manager's records are the dataset's too: its changes-only save writes them and leaves them
    // to the dataset's own store, whose changes-only save still writes them.
    EXPECT_EQ(made.serializeAll(true)->size(), full->size());
    const SerialListPtr dataset = serializeAll(true);
    for (const auto& pair : *full) EXPECT_TRUE(holds(dataset, pair->name)) << pair->name;
    EXPECT_TRUE(made.serializeAll(true)->empty());

    // A change that never reached the service (the device went away first).
    std::shared_ptr<AssetFeature> feature;
    {
        LockScope lock(masterMutex);
        feature = (*made.features)[0];
        feature->value = "3";
        feature->changed();
    }
    const SerialListPtr changes = made.serializeAll(true);
    ASSERT_EQ(changes->size(), 1u);
    EXPECT_EQ((*changes)[0]->name, serializationName(feature));
    std::map<std::string, std::shared_ptr<Serial>> host;
    for (const auto& list : {full, changes})
        for (const auto& pair : *list) host[pair->name] = pair;
    SerialList kept{std::make_shared<Serial>("persists-", "{}")};
    for (const auto& [name, pair] : host) kept.push_back(pair);

    // The owner's other device: nothing of the key in its dataset.
    signInAs(a, false);
    const size_t putsBefore = requestsTo("PUT assetfeature/");
    const size_t keyPostsBefore = requestsTo("POST assetkey/");
    SingleAssetManager restored;
    restored.restoreAll(kept);
    EXPECT_EQ(restored.getURN(), urn);
    EXPECT_EQ(restored.rights->size(), 1u);
    EXPECT_EQ(requestsTo("PUT assetfeature/"), putsBefore + 1);
    EXPECT_EQ(requestsTo("POST assetkey/"), keyPostsBefore) << "the restored revisions are the service's";
    const std::vector<Json::Value> features = stored("assetfeature", "asset", urn);
    ASSERT_EQ(features.size(), 1u);
    EXPECT_EQ(features[0]["record"]["value"].asString(), "3");
    const std::shared_ptr<AssetKey> reopened = restored.getKey(1);
    ASSERT_TRUE(reopened);
    EXPECT_EQ(reopened->decryptKeyMaterial(), material);

    // A restore announces no removals; a right dropped afterwards is announced once.
    const SerialListPtr afterRestore = restored.serializeAll(true);
    for (const auto& pair : *afterRestore) EXPECT_FALSE(pair->value.empty()) << pair->name;
    std::string rightName;
    {
        LockScope lock(masterMutex);
        rightName = serializationName((*restored.rights)[0]);
        restored.rights->clear();
    }
    const SerialListPtr removal = restored.serializeAll(true);
    ASSERT_EQ(removal->size(), 1u);
    EXPECT_EQ((*removal)[0]->name, rightName);
    EXPECT_TRUE((*removal)[0]->value.empty());
    EXPECT_TRUE(restored.serializeAll(true)->empty());
}

} // namespace
