// The persisted store: a round trip over every record kind, changes-only saves and their removals,
// every fault of a stored list (each leaves an empty dataset), what a restore takes from the records,
// and the hand-over with a host that could not keep a list. A store is read and written by the
// independent Python checker too (tests/vectors/store_manifest.py).
#include "vxmeta/sync/persisted_store.h"

#include <cstdio>
#include <functional>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/api/stat_state.h"
#include "vxmeta/comm/access_seam.h"
#include "support/fails_with.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/app_data.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/ca_join.h"
#include "vxmeta/records/contingency_group.h"
#include "vxmeta/records/contingency_key.h"
#include "vxmeta/records/contingency_master_key.h"
#include "vxmeta/records/deployment.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/mfa_pair.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "support/record_test_support.h"
#include "support/signing_fixture.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/team_authority.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/upload.h"
#include "vxmeta/records/user.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/meta_state.h"
#include "support/temp_path.h"

using namespace VxMeta;
using VxMetaTest::failsWith;

namespace {

const char* const otherUrn = "urn:vx:user/other";
const char* const assetUrn = "urn:vx:asset/1";

// One record of every kind; URNs with "/" where the kind has one.
void fillDataset() {
    LockScope lock(masterMutex);
    myPersists->lastOnlineTime = nowSeconds() - 100;
    myPersists->pollingInterval = 90;
    myPID->email = "own@example.com";
    mySID->shash = "V2-sid/hash";
    mySID->prikey = "V1-secret";
    myUser->owner = VxMetaTest::ownUrn;
    myUser->dataCenter = "dc1";
    myUser->homeServer = "https://home.example";
    myDevice->urn = "OSX-device";
    myDevice->id = 4;
    auto deployment = std::make_shared<Deployment>();
    deployment->id = 7;
    myDeployments->push_back(deployment);
    auto app = std::make_shared<App>();
    app->name = "Reader";
    app->deviceid = 4;
    myApps->push_back(app);
    auto xpid = std::make_shared<XPID>();
    xpid->urn = otherUrn;
    xpid->email = "other@example.com";
    myXPIDs->push_back(xpid);
    auto join = std::make_shared<CAJoin>();
    join->caurn = "urn:vx:team/1";
    join->participant = VxMetaTest::ownUrn;
    myCAJoins->push_back(join);
    auto asset = std::make_shared<Asset>();
    asset->urn = assetUrn;
    asset->owner = VxMetaTest::ownUrn;
    asset->name = "Key";
    // What the restore's pass derives again: no feature of the dataset applies here.
    asset->compatibility = "Fully Compatible";
    myAssets->push_back(asset);
    auto right = std::make_shared<AssetRight>();
    right->asset = assetUrn;
    right->participant = otherUrn;
    right->access = "allow";
    myRights->push_back(right);
    auto key = std::make_shared<AssetKey>();
    key->asset = assetUrn;
    key->participant = VxMetaTest::ownUrn;
    key->keysequence = 1;
    key->keymaterial = "V2-wrapped";
    myKeys->push_back(key);
    auto request = std::make_shared<AssetRequest>();
    request->asset = assetUrn;
    request->participant = otherUrn;
    myRequests->push_back(request);
    auto feature = std::make_shared<AssetFeature>();
    feature->asset = assetUrn;
    feature->name = "watermark";
    feature->scope = "all";
    myFeatures->push_back(feature);
    auto group = std::make_shared<ContingencyGroup>();
    group->urn = "urn:vx:cg/1";
    group->caid = "ca-1";
    myContingencyGroups->push_back(group);
    auto ckey = std::make_shared<ContingencyKey>();
    ckey->owner = VxMetaTest::ownUrn;
    ckey->keysequence = 2;
    ckey->ca = "ca-1";
    myContingencyKeys->push_back(ckey);
    auto cmk = std::make_shared<ContingencyMasterKey>();
    cmk->recipient = VxMetaTest::ownUrn;
    cmk->ca = "ca-1";
    myContingencyMasterKeys->push_back(cmk);
    auto datum = std::make_shared<AppData>();
    datum->kind = "settings";
    datum->name = "layout";
    datum->owner = VxMetaTest::ownUrn;
    datum->value = "{}";
    myAppDatas->push_back(datum);
    auto team = std::make_shared<TeamData>();
    team->kind = "note";
    team->name = "n";
    team->team_id = 1;
    myTeamDatas->push_back(team);
    auto upload = std::make_shared<Upload>();
    upload->id = 11;
    myUploads->push_back(upload);
    auto pair = std::make_shared<MFAPair>();
    pair->id = 12;
    pair->kind = "TOTP";
    myMFAPairs->push_back(pair);
    auto authority = std::make_shared<TeamAuthority>();
    authority->caid = "ca-1";
    myTeamAuthorities->push_back(authority);
}

// The host's side: pairs kept by name, each list applied in order.
class HostStore {
public:
    void apply(const SerialListPtr& list) {
        for (const auto& pair : *list) {
            if (pair->value.empty()) pairs.erase(pair->name);
            else pairs[pair->name] = pair->value;
        }
    }
    SerialList list() const {
        SerialList out;
        for (const auto& [name, value] : pairs) out.push_back(std::make_shared<Serial>(name, value));
        return out;
    }
    std::map<std::string, std::string> pairs;
};

std::vector<std::string> namesOf(const SerialListPtr& list) {
    std::vector<std::string> names;
    for (const auto& pair : *list) names.push_back(pair->name);
    return names;
}

std::string valueOf(const SerialListPtr& list, const std::string& name) {
    for (const auto& pair : *list)
        if (pair->name == name) return pair->value;
    return "<absent>";
}

Json::Value toJsonPairs(const SerialList& list) {
    Json::Value out(Json::arrayValue);
    for (const auto& pair : list) {
        Json::Value item(Json::arrayValue);
        item.append(pair->name);
        item.append(pair->value);
        out.append(item);
    }
    return out;
}

// Runs the Python store script with a JSON file argument; its parsed output.
Json::Value runStoreScript(const std::string& command, const Json::Value& input, int& status) {
    const std::string path = VxMetaTest::processTempPath("store_input.json");
    std::ofstream(path, std::ios::binary) << jsonString(input);
    const std::string out = VxMetaTest::runVectorScript("store_manifest.py", command + " " + path, status);
    std::remove(path.c_str());
    return VxMetaTest::json(out);
}

// A stored list written by the Python script from the given pairs (its "m-" pair last).
SerialList pythonStore(const std::vector<std::pair<std::string, std::string>>& pairs) {
    Json::Value input(Json::objectValue);
    input["pairs"] = Json::Value(Json::arrayValue);
    for (const auto& [name, value] : pairs) {
        Json::Value item(Json::arrayValue);
        item.append(name);
        item.append(value);
        input["pairs"].append(item);
    }
    int status = 0;
    const Json::Value written = runStoreScript("write", input, status);
    SerialList out;
    for (const Json::Value& item : written) out.push_back(std::make_shared<Serial>(item[0].asString(), item[1].asString()));
    return out;
}

class PersistedStore : public VxMetaTest::LoggedInUser {
protected:
    void SetUp() override {
        LoggedInUser::SetUp();
        mdClearAll(false);
        logIn();
        LockScope lock(statState.lock);
        statState.days.clear();
        statState.savedDays.clear();
    }
    void TearDown() override {
        mdClearAll(false);
        LoggedInUser::TearDown();
    }
    // The restore clears the state: the user's key and own identity come back for the signing.
    static void logIn() {
        LockScope lock(masterMutex);
        globalState.myPrikey = VxMetaTest::testKeys().privateKey;
        myPID->urn = VxMetaTest::ownUrn;
        myPID->pubkey = VxMetaTest::testKeys().publicKey;
    }
    static bool datasetEmpty() {
        LockScope lock(masterMutex);
        return myAssets->empty() && myKeys->empty() && myAppDatas->empty() && myPID->urn.empty() &&
               globalState.manifest.entries.empty() && globalState.manifest.sessionKey.empty() &&
               globalState.homeServer.empty();
    }
};

TEST_F(PersistedStore, RoundTripOverEveryRecordKind) {
    fillDataset();
    const SerialListPtr saved = serializeAll(false);
    const std::vector<std::string> expected = {
        "persists-", "pid-urn:vx:user,own", "sid-V2-sid,hash", "user-urn:vx:user,own", "device-OSX-device",
        "deployment-7", "app-Reader-4", "xpid-urn:vx:user,other", "cajoin-urn%cvx%cteam,1-urn:vx:user,own",
        "asset-urn:vx:asset,1", "assetright-urn:vx:asset,1-urn:vx:user,other",
        "assetkey-urn:vx:asset,1-urn:vx:user,own-1", "assetrequest-urn:vx:asset,1-urn:vx:user,other",
        "assetfeature-urn:vx:asset,1-watermark-all", "contingencygroup-urn:vx:cg,1-ca%h1",
        "contingencykey-urn:vx:user,own-2-ca%h1", "contingencymasterkey-urn:vx:user,own-ca%h1",
        "appdata-settings-layout-0", "teamdata-note-n-1", "upload-11", "mfapair-12", "teamauthority-ca%h1", "m-"};
    EXPECT_EQ(namesOf(saved), expected);

    int status = 0;
    const Json::Value report = runStoreScript("check", toJsonPairs(*saved), status);
    ASSERT_TRUE(report["ok"].asBool()) << jsonString(report);
    EXPECT_EQ(report["names"].size(), expected.size() - 1);

    restoreAll(*saved);
    {
        LockScope lock(masterMutex);
        ASSERT_EQ(myAssets->size(), 1u);
        EXPECT_EQ((*myAssets)[0]->urn, assetUrn);
        EXPECT_EQ((*myAssets)[0]->compatibility, "Fully Compatible");
        EXPECT_FALSE((*myAssets)[0]->localDirty);
        EXPECT_EQ(mySID->prikey, "V1-secret");
        EXPECT_EQ(myPersists->pollingInterval, 90);
        EXPECT_EQ(globalState.homeServer, "https://home.example");
        EXPECT_EQ(lastOnlineTime.load(), myPersists->lastOnlineTime);
        EXPECT_EQ(globalState.manifest.savedNames.size(), expected.size() - 1);
    }
    // Signed records write their kept record text into both forms; the text is the one their JSON
    // value renders.
    {
        LockScope lock(masterMutex);
        std::vector<std::shared_ptr<VxMetadata>> records = {myPersists, myPID, mySID, myUser, myDevice};
        auto add = [&records](const auto& list) { records.insert(records.end(), list->begin(), list->end()); };
        add(myDeployments), add(myApps), add(myXPIDs), add(myCAJoins), add(myAssets), add(myRights), add(myKeys);
        add(myRequests), add(myFeatures), add(myContingencyGroups), add(myContingencyKeys);
        add(myContingencyMasterKeys), add(myAppDatas), add(myTeamDatas), add(myUploads), add(myMFAPairs);
        add(myTeamAuthorities);
        ASSERT_EQ(records.size(), expected.size() - 1);
        for (const auto& record : records) {
            EXPECT_EQ(record->toJSON(false), jsonString(record->toJSONValue(false))) << record->stem();
            EXPECT_EQ(record->toJSON(true), jsonString(record->toJSONValue(true))) << record->stem();
        }
    }
    const SerialListPtr again = serializeAll(false);
    ASSERT_EQ(namesOf(again), expected);
    for (size_t i = 0; i + 1 < saved->size(); ++i)
        EXPECT_EQ((*again)[i]->value, (*saved)[i]->value) << (*saved)[i]->name;
    EXPECT_EQ(VxMetaTest::json(again->back()->value)["a"], VxMetaTest::json(saved->back()->value)["a"]);
}

TEST_F(PersistedStore, RestoresAStoreThatPythonWrote) {
    fillDataset();
    const SerialListPtr saved = serializeAll(false);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const auto& pair : *saved)
        if (pair->name != "m-") pairs.emplace_back(pair->name, pair->value);
    mdClearAll(false);
    restoreAll(pythonStore(pairs));
    LockScope lock(masterMutex);
    EXPECT_EQ(myPID->urn, VxMetaTest::ownUrn);
    EXPECT_EQ(myKeys->size(), 1u);
    EXPECT_EQ(myTeamAuthorities->size(), 1u);
    EXPECT_EQ(globalState.manifest.entries.size(), pairs.size());
}

TEST_F(PersistedStore, ChangesOnlySavesWriteWhatChangedAndAnnounceRemovals) {
    fillDataset();
    HostStore host;
    host.apply(serializeAll(false));
    // A full save leaves the flags: the first changes-only save writes every record changed since the
    // start once more (the SID was filled in place, unchanged).
    const SerialListPtr first = serializeAll(true);
    EXPECT_EQ(first->size(), host.pairs.size() - 1);
    EXPECT_EQ(valueOf(first, "sid-V2-sid,hash"), "<absent>");
    host.apply(first);

    const SerialListPtr nothing = serializeAll(true);
    EXPECT_TRUE(nothing->empty());

    std::string removedName;
    {
        LockScope lock(masterMutex);
        (*myAssets)[0]->name = "Renamed";
        (*myAssets)[0]->changed();
        removedName = serializationName((*myRequests)[0]);
        myRequests->clear();
    }
    const SerialListPtr changes = serializeAll(true);
    EXPECT_EQ(namesOf(changes), (std::vector<std::string>{"asset-urn:vx:asset,1", removedName, "m-"}));
    EXPECT_EQ(valueOf(changes, removedName), "");
    host.apply(changes);

    restoreAll(host.list());
    LockScope lock(masterMutex);
    EXPECT_EQ((*myAssets)[0]->name, "Renamed");
    EXPECT_TRUE(myRequests->empty());
}

TEST_F(PersistedStore, AStoredListThatWasTamperedWithIsRefusedAndLeavesNoDataset) {
    fillDataset();
    HostStore host;
    host.apply(serializeAll(false));
    const std::string assetName = "asset-urn:vx:asset,1";
    const std::string keyName = "assetkey-urn:vx:asset,1-urn:vx:user,own-1";
    auto manifestWith = [&](const char* member) {
        Json::Value doc = VxMetaTest::json(host.pairs["m-"]);
        std::string text = doc[member].asString();
        text[text.size() / 2] = text[text.size() / 2] == 'A' ? 'B' : 'A';
        doc[member] = member == std::string("v") ? "2" : text;
        return jsonString(doc);
    };
    struct Case {
        std::string why;
        std::function<void(std::vector<std::pair<std::string, std::string>>&)> tamper;
        std::string message;
    };
    auto set = [](std::vector<std::pair<std::string, std::string>>& pairs, const std::string& name,
                  const std::string& value) {
        for (auto& pair : pairs)
            if (pair.first == name) pair.second = value;
    };
    const std::vector<Case> cases = {
        {"altered value",
         [&](auto& p) { set(p, assetName, host.pairs[assetName].substr(0, 20) + " " + host.pairs[assetName].substr(20)); },
         "Found invalid metadata (" + assetName + ")"},
        {"emptied value", [&](auto& p) { set(p, assetName, ""); }, "Found invalid metadata (" + assetName + ")"},
        {"extra pair", [&](auto& p) { p.emplace_back("asset-urn:vx:asset,2", host.pairs[assetName]); },
         "Found invalid metadata (asset-urn:vx:asset,2)"},
        {"missing pair", [&](auto& p) { std::erase_if(p, [&](auto& x) { return x.first == keyName; }); },
         "Missing metadata"},
        {"a pair twice in place of another",
         [&](auto& p) {
             std::erase_if(p, [&](auto& x) { return x.first == keyName; });
             p.emplace_back(assetName, host.pairs[assetName]);
         },
         "Found invalid metadata (" + assetName + ")"},
        {"no manifest", [&](auto& p) { std::erase_if(p, [](auto& x) { return x.first == "m-"; }); }, "Missing manifest"},
        {"altered a", [&](auto& p) { set(p, "m-", manifestWith("a")); }, "Invalid metadata manifest"},
        {"altered e", [&](auto& p) { set(p, "m-", manifestWith("e")); }, "Invalid metadata manifest"},
        {"altered s", [&](auto& p) { set(p, "m-", manifestWith("s")); }, "Invalid metadata manifest"},
        {"altered v", [&](auto& p) { set(p, "m-", manifestWith("v")); }, "Invalid metadata manifest"},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<std::string, std::string>> pairs(host.pairs.begin(), host.pairs.end());
        c.tamper(pairs);
        SerialList list;
        for (const auto& [name, value] : pairs) list.push_back(std::make_shared<Serial>(name, value));
        EXPECT_TRUE(failsWith([&] { restoreAll(list); }, VXMECAT_INVALID_METADATA, c.message)) << c.why;
        EXPECT_TRUE(datasetEmpty()) << c.why;
    }
}

TEST_F(PersistedStore, AReadersFailureOnACheckedValuePassesOnAndClearsNothing) {
    fillDataset();
    const SerialListPtr saved = serializeAll(false);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const auto& pair : *saved)
        if (pair->name != "m-") pairs.emplace_back(pair->name, pair->value);
    const struct {
        std::string value;
        const char* category; // empty: restored
        const char* message;
    } cases[] = {
        // Not JSON: the reader leaves the record fresh, and the restore goes on.
        {"not JSON", "", ""},
        // The readers refuse a value of another shape; that failure is the caller's, as raised.
        {"[1]", VXMECAT_INTERNAL, "Value is not in correct object format"},
        {"{\"record\":5}", VXMECAT_PROTOCOL, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        auto stored = pairs;
        stored.emplace_back("asset-urn:vx:asset,9", c.value);
        const SerialList list = pythonStore(stored);
        if (std::string(c.category).empty()) {
            restoreAll(list);
            LockScope lock(masterMutex);
            ASSERT_EQ(myAssets->size(), 2u);
            EXPECT_TRUE(myAssets->back()->urn.empty());
            EXPECT_EQ(myPID->urn, VxMetaTest::ownUrn);
            continue;
        }
        try {
            restoreAll(list);
            ADD_FAILURE() << "restored";
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, c.category);
            if (*c.message) {
                EXPECT_EQ(e.message, c.message);
            }
        }
        // The pairs before it stay restored: nothing was cleared.
        EXPECT_FALSE(datasetEmpty());
        LockScope lock(masterMutex);
        EXPECT_EQ(myPID->urn, VxMetaTest::ownUrn);
        EXPECT_EQ(myAssets->size(), 1u);
        EXPECT_FALSE(globalState.manifest.entries.empty());
    }
}

TEST_F(PersistedStore, EmptyListsAndManifestsWithoutEntries) {
    fillDataset();
    restoreAll({});
    EXPECT_TRUE(datasetEmpty());
    fillDataset();
    restoreAll(pythonStore({}));
    LockScope lock(masterMutex);
    EXPECT_TRUE(myAssets->empty());
    EXPECT_TRUE(myPID->urn.empty());
    EXPECT_TRUE(globalState.manifest.entries.empty());
    EXPECT_FALSE(globalState.manifest.sessionKey.empty());
}

// The key "urn:vx:asset/new" of the given name, as the restore's pass leaves it.
Asset newAsset(const std::string& name = std::string()) {
    Asset asset;
    asset.urn = "urn:vx:asset/new";
    asset.owner = VxMetaTest::ownUrn;
    asset.name = name;
    asset.compatibility = "Fully Compatible";
    return asset;
}

TEST_F(PersistedStore, APairUnderAnotherNameComesBackDirtyAndMovesToItsOwnName) {
    Asset asset = newAsset();
    const std::string value = asset.toJSON(false);
    restoreAll(pythonStore({{"asset-urn:vx:asset,old", value}, {"toopherpair-x", "{}"}, {"unknown-x", "{}"}}));
    {
        LockScope lock(masterMutex);
        ASSERT_EQ(myAssets->size(), 1u);
        EXPECT_TRUE((*myAssets)[0]->localDirty);
    }
    const SerialListPtr changes = serializeAll(true);
    EXPECT_EQ(valueOf(changes, "asset-urn:vx:asset,new"), value);
    EXPECT_EQ(valueOf(changes, "asset-urn:vx:asset,old"), "");
    EXPECT_EQ(valueOf(changes, "toopherpair-x"), "");
    EXPECT_EQ(valueOf(changes, "unknown-x"), "");
}

TEST_F(PersistedStore, ARecoveryCodeInAStoredDeviceRestoresAndTheNextSaveDropsIt) {
    Device device;
    device.urn = "OSX-device";
    device.id = 4;
    device.recovery_cipher = "cipher-text";
    device.recovery_code = "code-of-today";
    Json::Value stored = VxMetaTest::json(device.toJSON(false));
    EXPECT_FALSE(stored.isMember("recovery_code"));
    // A pair as stores written before kept it.
    stored["recovery_code"] = "code-of-today";
    restoreAll(pythonStore({{"device-OSX-device", jsonString(stored)}}));
    {
        LockScope lock(masterMutex);
        EXPECT_EQ(myDevice->recovery_cipher, "cipher-text");
        EXPECT_EQ(myDevice->id, 4);
        EXPECT_TRUE(myDevice->recovery_code.empty());
    }
    const SerialListPtr changes = serializeAll(true);
    const std::string written = valueOf(changes, "device-OSX-device");
    EXPECT_NE(written.find("cipher-text"), std::string::npos);
    EXPECT_EQ(written.find("recovery_code"), std::string::npos);
    EXPECT_EQ(written.find("code-of-today"), std::string::npos);
}

TEST_F(PersistedStore, RestoreTakesTheTimesAndTidiesTheApplicationData) {
    Persists persists;
    persists.lastOnlineTime = nowSeconds() + 100000;
    AppData ownerless;
    ownerless.kind = "k";
    ownerless.name = "orphan";
    AppData owned = ownerless;
    owned.name = "kept";
    owned.owner = VxMetaTest::ownUrn;
    restoreAll(pythonStore({{"persists-", persists.toJSON(false)},
                            {serializationName(ownerless), ownerless.toJSON(false)},
                            {serializationName(owned), owned.toJSON(false)}}));
    LockScope lock(masterMutex);
    EXPECT_EQ(lastOnlineTime.load(), 0);
    EXPECT_EQ(myPersists->lastOnlineTime, 0);
    EXPECT_TRUE(myPersists->localDirty);
    ASSERT_EQ(myAppDatas->size(), 1u);
    EXPECT_EQ((*myAppDatas)[0]->name, "kept");
}

TEST_F(PersistedStore, RestoreEndsWithAReconciliationPassOverTheRestoredLists) {
    PID pid;
    pid.urn = VxMetaTest::ownUrn;
    // Stored before the feature below arrived: its derived text is stale.
    Asset asset;
    asset.urn = assetUrn;
    asset.owner = VxMetaTest::ownUrn;
    asset.compatibility = "Fully Compatible";
    AssetFeature feature;
    feature.asset = assetUrn;
    feature.name = "redaction";
    feature.compatibility = "Suggested";
    feature.id = 5;
    // Stored before a pass had judged it.
    AssetKey key;
    key.asset = assetUrn;
    key.participant = VxMetaTest::ownUrn;
    key.keysequence = 1;
    key.id = 7;
    AssetRequest request;
    request.asset = assetUrn;
    request.participant = otherUrn;
    request.id = 8;
    restoreAll(pythonStore({{serializationName(pid), pid.toJSON(false)},
                            {serializationName(asset), asset.toJSON(false)},
                            {serializationName(feature), feature.toJSON(false)},
                            {serializationName(key), key.toJSON(false)},
                            {serializationName(request), request.toJSON(false)}}));
    LockScope lock(masterMutex);
    ASSERT_EQ(myAssets->size(), 1u);
    EXPECT_EQ((*myAssets)[0]->compatibility, "Suggested Upgrade");
    EXPECT_EQ((*myAssets)[0]->upgradeLevel, 2);
    ASSERT_EQ(myFeatures->size(), 1u);
    EXPECT_EQ((*myFeatures)[0]->assetLink, (*myAssets)[0]);
    ASSERT_EQ(myKeys->size(), 1u);
    EXPECT_TRUE((*myKeys)[0]->allowed);
    EXPECT_TRUE((*myKeys)[0]->localDirty);
    ASSERT_EQ(myRequests->size(), 1u);
    EXPECT_EQ((*myRequests)[0]->status, "notify");
}

TEST_F(PersistedStore, WithoutPersistedMetadataOnlyTheOwnRecordsAreStored) {
    fillDataset();
    {
        LockScope lock(masterMutex);
        globalState.satellitePolicy.persist_metadata = false;
    }
    EXPECT_EQ(namesOf(serializeAll(false)), (std::vector<std::string>{"persists-", "pid-urn:vx:user,own", "m-"}));
}

TEST_F(PersistedStore, StatisticsDaysTravelWithTheStore) {
    restoreAll(pythonStore({{"xstat-2026-01-31", "[{\"kind\":\"open\",\"value\":3}]\n"}}));
    {
        LockScope lock(statState.lock);
        EXPECT_EQ(statState.days["2026-01-31"].counters["open"][""], 3);
    }
    // A restored day is not dirty: only a full save writes it.
    EXPECT_EQ(valueOf(serializeAll(true), "xstat-2026-01-31"), "<absent>");
    EXPECT_EQ(valueOf(serializeAll(false), "xstat-2026-01-31"), "[{\"kind\":\"open\",\"value\":3}]\n");
}

// A host that could not keep a changes-only list still holds the pairs it removed: the next
// changes-only save announces them again, with the records of the list, and the store restores.
TEST_F(PersistedStore, AListTheHostCouldNotKeepIsHandedOutAgain) {
    fillDataset();
    HostStore host;
    host.apply(serializeAll(false));
    host.apply(serializeAll(true));
    {
        LockScope lock(statState.lock);
        statState.days["2026-02-01"].counters["open"][""] = 1;
        statState.days["2026-02-01"].dirty = true;
    }
    std::string removedName;
    {
        LockScope lock(masterMutex);
        (*myAssets)[0]->name = "Renamed";
        (*myAssets)[0]->changed();
        removedName = serializationName((*myRequests)[0]);
        myRequests->clear();
    }
    const SerialListPtr failed = serializeAll(true);
    EXPECT_EQ(namesOf(failed),
              (std::vector<std::string>{"asset-urn:vx:asset,1", "xstat-2026-02-01", removedName, "m-"}));
    RawVorlane().changesWereNotSaved();

    const SerialListPtr retried = serializeAll(true);
    EXPECT_EQ(namesOf(retried), namesOf(failed));
    host.apply(retried);
    restoreAll(host.list());
    LockScope lock(masterMutex);
    EXPECT_EQ((*myAssets)[0]->name, "Renamed");
    EXPECT_TRUE(myRequests->empty());
}

TEST_F(PersistedStore, AFullSaveAfterAListTheHostCouldNotKeepListsWhatTheHostHolds) {
    fillDataset();
    HostStore host;
    host.apply(serializeAll(false));
    host.apply(serializeAll(true));
    {
        LockScope lock(masterMutex);
        myRequests->clear();
    }
    serializeAll(true); // not kept
    changesWereNotSaved();
    host.apply(serializeAll(false));
    restoreAll(host.list());
    LockScope lock(masterMutex);
    // The full save announced the removal again: the host let the old pair go.
    EXPECT_TRUE(myRequests->empty());
}

// A record renamed since the last save (here: restored from a pair of another name) goes out under its
// new name, and a full save announces the old one as removed, as a changes-only save does.
TEST_F(PersistedStore, AFullSaveAnnouncesTheOldNameOfARenamedRecord) {
    Asset asset = newAsset();
    HostStore host;
    host.pairs["asset-urn:vx:asset,old"] = asset.toJSON(false);
    restoreAll(pythonStore({{"asset-urn:vx:asset,old", asset.toJSON(false)}}));
    const SerialListPtr full = serializeAll(false);
    EXPECT_EQ(valueOf(full, "asset-urn:vx:asset,new"), asset.toJSON(false));
    EXPECT_EQ(valueOf(full, "asset-urn:vx:asset,old"), "");
    host.apply(full);
    EXPECT_EQ(host.pairs.count("asset-urn:vx:asset,old"), 0u);
    restoreAll(host.list());
    LockScope lock(masterMutex);
    EXPECT_EQ(myAssets->size(), 1u);
}

// A store that a full save of before wrote after such a rename holds the record under both names,
// both in its manifest: it restores to one record, the own-named pair's, whichever comes first, and
// the next save lets the old name go.
TEST_F(PersistedStore, ARecordStoredTwiceUnderItsOldAndItsOwnNameRestoresOnce) {
    Asset older = newAsset("older");
    Asset newer = newAsset("newer");
    const std::pair<std::string, std::string> oldPair{"asset-urn:vx:asset,old", older.toJSON(false)};
    const std::pair<std::string, std::string> ownPair{"asset-urn:vx:asset,new", newer.toJSON(false)};
    for (const bool ownFirst : {false, true}) {
        for (const bool changesOnly : {true, false}) {
            SCOPED_TRACE(std::string(ownFirst ? "own-named pair first" : "old pair first") +
                         (changesOnly ? ", changes-only save" : ", full save"));
            const SerialList stored =
                pythonStore(ownFirst ? std::vector{ownPair, oldPair} : std::vector{oldPair, ownPair});
            restoreAll(stored);
            {
                LockScope lock(masterMutex);
                ASSERT_EQ(myAssets->size(), 1u);
                EXPECT_EQ((*myAssets)[0]->name, "newer");
            }
            HostStore host;
            for (const auto& pair : stored) host.pairs[pair->name] = pair->value;
            const SerialListPtr saved = serializeAll(changesOnly);
            EXPECT_EQ(valueOf(saved, "asset-urn:vx:asset,old"), "");
            host.apply(saved);
            EXPECT_EQ(host.pairs.count("asset-urn:vx:asset,old"), 0u);
            restoreAll(host.list());
            LockScope lock(masterMutex);
            ASSERT_EQ(myAssets->size(), 1u);
            EXPECT_EQ((*myAssets)[0]->name, "newer");
        }
    }
}

TEST_F(PersistedStore, ASaveAfterAKeptListTakesItsRemovalsAsDone) {
    fillDataset();
    HostStore host;
    host.apply(serializeAll(false));
    host.apply(serializeAll(true));
    {
        LockScope lock(masterMutex);
        myRequests->clear();
    }
    host.apply(serializeAll(true));
    EXPECT_TRUE(serializeAll(true)->empty());
    changesWereNotSaved(); // about the empty list: nothing to hand out again
    EXPECT_TRUE(serializeAll(true)->empty());
    restoreAll(host.list());
}

} // namespace
