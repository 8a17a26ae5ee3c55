// Loading one managed key and choosing its revisions: key references read into what they name
// (archive key metadata of both forms, the plain form, damaged metadata), loading from the dataset
// without a request, the owner's loading, the gates of upgrade level and policy with their texts,
// the revision chosen for decryption and encryption, and the user's contingency master key.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/failure_of.h"
#include "support/fake_transport.h"
#include "vxmeta/accounts/asset_encryption_info.h"
#include "vxmeta/accounts/key_material.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_feature.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/contingency_master_key.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "support/signing_fixture.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;
using VxMeta::testing::thrownBy;
using VxMeta::testing::FakeReply;
using VxMeta::testing::FakeTransport;

namespace {

struct ReferenceCase {
    const char* reference;
    const char* urn;
    int32_t sequence;
    const char* keymaterial;
    const char* ca;
    const char* homeServer;
};

TEST(ExtractAssetInfo, ReadsEveryFormOfKeyReference) {
    const ReferenceCase cases[] = {
        {R"({"homeServer":"h","owner":"o","assets":[{"urn:a:3":"KM"}]})", "urn", 0, "KM", "", "h"},
        {R"({"homeServer":"h","assets":[{"file-1:7":"KM","aaa:2":"first"}]})", "aaa", 2, "first", "", "h"},
        {R"({"assets":[{"file-1::3":"KM"}]})", "file-1", 0, "KM", "", ""},
        {R"({"assets":[{"file-1:x9":"KM"}]})", "file-1", 0, "KM", "", ""},
        {R"({"assets":[{"file-1: 12z":"KM"}]})", "file-1", 12, "KM", "", ""},
        {R"({"homeServer":"h","owner":"o","cgkey":{"ca":"team-1","keymaterial":"CKM"}})", "", 0, "CKM", "team-1", "h"},
        {R"({"homeServer":"h","other":1})", R"({"homeServer")", 0, "", "", "h"},
        {"file-1:3", "file-1", 3, "", "", ""},
        {"file-1", "file-1", 0, "", "", ""},
        {"file-1::3", "file-1", 0, "", "", ""},
        {":4", "", 4, "", "", ""},
        {"file-1:-2", "file-1", -2, "", "", ""},
        {"", "", 0, "", "", ""},
    };
    for (const ReferenceCase& c : cases) {
        SCOPED_TRACE(c.reference);
        const AssetEncryptionInfo info = extractAssetInfo(c.reference);
        EXPECT_EQ(info.urn, c.urn);
        EXPECT_EQ(info.sequence, c.sequence);
        EXPECT_EQ(info.keymaterial, c.keymaterial);
        EXPECT_EQ(info.ca, c.ca);
        EXPECT_EQ(info.homeServer, c.homeServer);
    }
}

TEST(ExtractAssetInfo, DamagedMetadataIsAnInternalFailureNeverAJsonException) {
    const char* const damaged[] = {
        "[1,2]",
        "\"text\"",
        "17",
        R"({"assets":[]})",
        R"({"assets":[{}]})",
        R"({"assets":["file-1:3"]})",
        R"({"homeServer":{"x":1},"assets":[{"file-1:3":"KM"}]})",
        R"({"owner":[1],"assets":[{"file-1:3":"KM"}]})",
        R"({"assets":[{"file-1:3":{"k":"v"}}]})",
        R"({"assets":[{"file-1:3":7}]})",
        R"({"cgkey":{"ca":["t"],"keymaterial":"CKM"}})",
        R"({"cgkey":{"ca":"t","keymaterial":{}}})",
    };
    for (const char* text : damaged) {
        SCOPED_TRACE(text);
        const VxMetaException failure = thrownBy([&] { extractAssetInfo(text); });
        EXPECT_EQ(failure.category, VXMECAT_INTERNAL);
        EXPECT_EQ(failure.message, "Invalid or unknown file metadata format");
    }
}

const char* const kUrn = "file-key-1";
const char* const kOther = "urn:vx:user/other";

template <class T>
std::shared_ptr<T> clean(std::shared_ptr<T> record) {
    record->localDirty = false;
    record->remoteDirty = false;
    return record;
}

std::shared_ptr<AssetKey> keyFor(const std::string& participant, int32_t sequence, bool allowed, int64_t id) {
    auto key = std::make_shared<AssetKey>();
    key->asset = kUrn;
    key->participant = participant;
    key->keysequence = sequence;
    key->allowed = allowed;
    key->id = id;
    return clean(key);
}

class ManagedKeys : public VxMeta::testing::PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        LockScope lock(masterMutex);
        globalState.clear();
        globalState.myPrikey = VxMetaTest::testKeys().privateKey;
        myPID->urn = VxMetaTest::ownUrn;
        myPID->pubkey = VxMetaTest::testKeys().publicKey;
        myPID->id = 5;
    }
    void TearDown() override {
        LockScope lock(masterMutex);
        globalState.clear();
        myAssets->clear();
        myKeys->clear();
        myRights->clear();
        myFeatures->clear();
        myRequests->clear();
        myContingencyMasterKeys->clear();
        PipelineTest::TearDown();
    }
    // The API paths requested, without the pipeline's own etag reads.
    static std::vector<std::string> requested() {
        std::vector<std::string> paths;
        for (const CommIO& io : FakeTransport::exchanges()) {
            const std::string path = io.url.substr(io.url.find("/api/v1.0/") + 10);
            if (path != "etag/0") paths.push_back(path);
        }
        return paths;
    }
    // A key of the dataset with one revision, one right, one feature and one request.
    static std::shared_ptr<Asset> heldKey(const std::string& owner) {
        auto asset = std::make_shared<Asset>();
        asset->urn = kUrn;
        asset->owner = owner;
        asset->name = "Plans";
        asset->canEncrypt = true;
        LockScope lock(masterMutex);
        myAssets->push_back(clean(asset));
        myKeys->push_back(keyFor(VxMetaTest::ownUrn, 1, true, 11));
        auto right = std::make_shared<AssetRight>();
        right->asset = kUrn;
        right->participant = kOther;
        myRights->push_back(clean(right));
        auto feature = std::make_shared<AssetFeature>();
        feature->asset = kUrn;
        myFeatures->push_back(clean(feature));
        auto request = std::make_shared<AssetRequest>();
        request->asset = kUrn;
        request->participant = kOther;
        myRequests->push_back(clean(request));
        // Records of another key stay out of the manager.
        auto foreign = keyFor(VxMetaTest::ownUrn, 1, true, 12);
        foreign->asset = "file-key-2";
        myKeys->push_back(foreign);
        return asset;
    }
};

TEST_F(ManagedKeys, AKeyOfTheDatasetLoadsWithoutARequestAndLoadingItAgainDoesNothing) {
    const std::shared_ptr<Asset> held = heldKey(kOther);
    SingleAssetManager manager;
    manager.partialFetch(std::string(kUrn) + ":1", false, true);
    EXPECT_TRUE(FakeTransport::exchanges().empty());
    EXPECT_EQ(manager.asset, held);
    ASSERT_EQ(manager.assets->size(), 1u);
    EXPECT_EQ((*manager.assets)[0], held);
    EXPECT_EQ(manager.keys->size(), 1u);
    EXPECT_EQ((*manager.keys)[0], (*myKeys)[0]) << "the dataset's own record";
    EXPECT_EQ(manager.rights->size(), 1u);
    EXPECT_EQ(manager.features->size(), 1u);
    EXPECT_TRUE(manager.requests->empty());

    manager.partialFetch(kUrn, false, true);
    EXPECT_EQ(manager.keys->size(), 1u);
    EXPECT_TRUE(FakeTransport::exchanges().empty());
}

TEST_F(ManagedKeys, ALocalOnlyLoadOfAnUnknownKeyFailsAndLeavesTheManagerEmpty) {
    heldKey(kOther);
    SingleAssetManager manager;
    manager.partialFetch(kUrn, true, false);
    const VxMetaException failure = thrownBy([&] { manager.partialFetch("file-key-9:1", true, false); });
    EXPECT_EQ(failure.category, VXMECAT_NOTFOUND);
    EXPECT_EQ(failure.message, "Local copy of requested asset not found");
    EXPECT_EQ(manager.getURN(), "");
    EXPECT_TRUE(manager.keys->empty());
    EXPECT_TRUE(FakeTransport::exchanges().empty());
}

TEST_F(ManagedKeys, TheOwnersLoadAddsTheRequestsOnceAndRefusesAnotherOwner) {
    heldKey(VxMetaTest::ownUrn);
    SingleAssetManager manager;
    manager.partialFetch(kUrn, false, false);
    manager.fullFetch(kUrn);
    EXPECT_TRUE(manager.fullyLoaded);
    EXPECT_EQ(manager.requests->size(), 1u);
    manager.fullFetch(kUrn);
    EXPECT_EQ(manager.requests->size(), 1u);

    SingleAssetManager direct;
    direct.fullFetch(kUrn);
    EXPECT_EQ(direct.requests->size(), 1u);
    EXPECT_EQ(direct.keys->size(), 1u);
    EXPECT_TRUE(FakeTransport::exchanges().empty());

    {
        LockScope lock(masterMutex);
        (*myAssets)[0]->owner = kOther;
    }
    SingleAssetManager other;
    const VxMetaException failure = thrownBy([&] { other.fullFetch(kUrn); });
    EXPECT_EQ(failure.category, VXMECAT_INTERNAL);
    EXPECT_EQ(failure.message, "You are not the owner");

    // From the service too: the asset it answers belongs to someone else.
    FakeTransport::install([](const CommIO&) {
        return FakeReply(200, R"({"record":{"urn":"file-key-7","owner":"urn:vx:user/other"},"id":4})");
    });
    SingleAssetManager fetched;
    const VxMetaException remote = thrownBy([&] { fetched.fullFetch("file-key-7"); });
    EXPECT_EQ(remote.message, "You are not the owner");
    EXPECT_EQ(requested(), (std::vector<std::string>{"asset?urn=file-key-7"}));
}

TEST_F(ManagedKeys, AKeyFromTheServiceIsLoadedWithItsListsByAssetUrn) {
    FakeTransport::install([](const CommIO& io) {
        if (io.url.find("/asset?") != std::string::npos)
            return FakeReply(200, R"({"record":{"urn":"file/key 1","owner":"urn:vx:user/other"},"id":4})");
        return FakeReply(404, R"({"Message":"none"})");
    });
    SingleAssetManager manager;
    manager.partialFetch("file/key 1:2", false, false);
    std::vector<std::string> paths;
    for (const std::string& path : requested()) paths.push_back(path);
    EXPECT_EQ(paths, (std::vector<std::string>{"asset?urn=file%2Fkey+1", "assetkey?asseturn=file%2Fkey+1",
                                               "assetfeature?asseturn=file%2Fkey+1",
                                               "assetright?asseturn=file%2Fkey+1"}));
    EXPECT_EQ(manager.getURN(), "file/key 1");
    EXPECT_EQ(manager.asset->owner, kOther);
}

TEST_F(ManagedKeys, ARefusalNoRightIsThrownAfterTheAccessRequest) {
    FakeTransport::answerAll(FakeReply(403, R"({"Message":"not yours","reason":"No Right"})"));
    SingleAssetManager manager;
    const VxMetaException refused = thrownBy([&] { manager.partialFetch("file-key-3:1", false, true); });
    EXPECT_EQ(refused.httpStatus, 403);
    EXPECT_EQ(refused.reason, VXMEREASON_NO_RIGHT);
    EXPECT_EQ(requested(), (std::vector<std::string>{"asset?urn=file-key-3", "assetrequest/"}));
}

TEST_F(ManagedKeys, DecryptionNeedsAKeySequenceBeforeAnyRequest) {
    for (const char* reference : {"file-key-3", "file-key-3:0", "file-key-3:-1", R"({"assets":[{"file-key-3":"K"}]})"}) {
        SCOPED_TRACE(reference);
        SingleAssetManager manager;
        const VxMetaException failure = thrownBy([&] { manager.getDecryptionKeyMaterial(reference, false); });
        EXPECT_EQ(failure.category, VXMECAT_INTERNAL);
        EXPECT_EQ(failure.message, "Invalid or missing key sequence number");
    }
    EXPECT_TRUE(FakeTransport::exchanges().empty());

    // An empty URN names the fresh manager's own empty key: nothing is loaded and nothing found.
    SingleAssetManager manager;
    EXPECT_EQ(manager.getDecryptionKeyMaterial(":1", false), "");
    EXPECT_TRUE(FakeTransport::exchanges().empty());
}

TEST_F(ManagedKeys, ARefusalWithoutContingencyMasterKeysIsRethrownAfterTheLog) {
    FakeTransport::answerAll(FakeReply(403, R"({"Message":"not yours","reason":"No Right"})"));
    VxMeta::testing::LogCapture log(1);
    SingleAssetManager manager;
    const VxMetaException refused = thrownBy([&] { manager.getDecryptionKeyMaterial("file-key-3:2", false); });
    EXPECT_EQ(refused.httpStatus, 403);
    EXPECT_EQ(refused.reason, VXMEREASON_NO_RIGHT);
    EXPECT_TRUE(log.contains("getDecryptionKeyMaterial failed for urn file-key-3 - not yours"));
    for (const CommIO& io : FakeTransport::exchanges()) EXPECT_EQ(io.url.find("contingencykey"), std::string::npos);
}

TEST_F(ManagedKeys, TheGatesRefuseByUpgradeLevelWithTheirTextsAndRaiseTheUpgradeState) {
    const std::string manage =
        "This application must be upgraded. Managing the keys requires functionality not present in this version.";
    const std::string encrypt = "This application must be upgraded. Use of the encryption key requires "
                                "functionality not present in this version.";
    const std::string decrypt = "This application must be upgraded. Use of the decryption key(s) requires "
                                "functionality not present in this version.";
    struct Gate {
        void (*gate)(const std::shared_ptr<Asset>&);
        int32_t allowed;
        const std::string* message;
    } gates[] = {{wantToManageAsset, 2, &manage}, {wantToEncryptUsingAsset, 2, &encrypt},
                 {wantToDecryptUsingAsset, 3, &decrypt}};
    for (const Gate& g : gates) {
        for (int32_t level = 0; level <= 4; ++level) {
            SCOPED_TRACE(*g.message + " level " + std::to_string(level));
            {
                LockScope lock(masterMutex);
                globalState.upgradeState = 0;
            }
            auto asset = std::make_shared<Asset>();
            asset->upgradeLevel = level;
            asset->canEncrypt = true;
            if (level <= g.allowed) {
                EXPECT_NO_THROW(g.gate(asset));
            } else {
                const VxMetaException failure = thrownBy([&] { g.gate(asset); });
                EXPECT_EQ(failure.category, VXMECAT_UPGRADE);
                EXPECT_EQ(failure.message, *g.message);
            }
            LockScope lock(masterMutex);
            EXPECT_EQ(globalState.upgradeState, level);
        }
    }
    // The upgrade state never falls.
    auto low = std::make_shared<Asset>();
    wantToDecryptUsingAsset(low);
    LockScope lock(masterMutex);
    EXPECT_EQ(globalState.upgradeState, 4);
}

TEST_F(ManagedKeys, ThePolicyMayForbidEncryption) {
    auto asset = std::make_shared<Asset>();
    asset->name = "Plans";
    asset->canEncrypt = false;
    const VxMetaException failure = thrownBy([&] { wantToEncryptUsingAsset(asset); });
    EXPECT_EQ(failure.category, VXMECAT_POLICY_VIOLATION);
    EXPECT_EQ(failure.message, "Policy forbids encryption with Orvanel 'Plans'");
    EXPECT_NO_THROW(wantToDecryptUsingAsset(asset));
    EXPECT_NO_THROW(wantToManageAsset(asset));
}

TEST_F(ManagedKeys, TheRevisionsChosenAreAllowedAddressedToTheUserAndTheNewestFirstInListOrder) {
    heldKey(kOther);
    SingleAssetManager manager;
    manager.partialFetch(kUrn, true, false);
    const auto first3 = keyFor(VxMetaTest::ownUrn, 3, true, 31);
    const auto second3 = keyFor("EMAIL!Own@Example.test", 3, true, 32);
    const auto notAllowed = keyFor(VxMetaTest::ownUrn, 9, false, 91);
    const auto otherUser = keyFor(kOther, 8, true, 81);
    const auto groupCase = keyFor("TEAM-GROUP-1", 7, true, 71);
    const auto group = keyFor("team-group-1", 2, true, 21);
    const auto throughMaster = keyFor("urn:vx:user/group", 1, true, 41);
    throughMaster->participantid = 77;
    {
        LockScope lock(masterMutex);
        myPID->forwarding_urn = "email!own@example.test";
        globalState.teamGroupUrn = "team-group-1";
        globalState.masterKeys[77] = keyFor(VxMetaTest::ownUrn, 1, true, 1);
        manager.keys->clear();
        for (const auto& key : {first3, second3, notAllowed, otherUser, groupCase, group, throughMaster})
            manager.keys->push_back(key);
    }
    EXPECT_EQ(manager.getEncryptionKey(), first3);
    EXPECT_EQ(manager.getKey(3), first3);
    EXPECT_EQ(manager.getKey(9), nullptr) << "not allowed";
    EXPECT_EQ(manager.getKey(8), nullptr) << "another participant";
    EXPECT_EQ(manager.getKey(7), nullptr) << "the team group's URN compares exactly";
    EXPECT_EQ(manager.getKey(2), group);
    EXPECT_EQ(manager.getKey(1), throughMaster);
    {
        LockScope lock(masterMutex);
        first3->allowed = false;
    }
    EXPECT_EQ(manager.getEncryptionKey(), second3) << "the forwarding URN compares ignoring case";
    EXPECT_EQ(manager.getKey(3), second3);
}

TEST_F(ManagedKeys, TheOwnerAnswersARequestOfTheLoadedKeyWithANewRight) {
    heldKey(VxMetaTest::ownUrn);
    SingleAssetManager manager;
    manager.fullFetch(kUrn);
    std::shared_ptr<AssetRequest> request;
    {
        LockScope lock(masterMutex);
        request = (*manager.requests)[0];
        request->participant = "urn:vx:user/asking";
    }
    auto foreign = std::make_shared<AssetRequest>();
    foreign->asset = "file-key-2";
    EXPECT_EQ(thrownBy([&] { manager.respondToRequest(foreign, "allow"); }).message,
              "Can't respond to request - asset doesn't match");

    // A sent record reads back what it sent.
    FakeTransport::install([](const CommIO& io) {
        if (io.method == "GET") return FakeReply(200, "{}");
        return FakeReply(201, std::string(io.requestData.begin(), io.requestData.end()));
    });
    manager.respondToRequest(request, "allow");
    LockScope lock(masterMutex);
    ASSERT_EQ(manager.rights->size(), 2u);
    EXPECT_EQ(manager.rights->back()->participant, "urn:vx:user/asking");
    EXPECT_EQ(manager.rights->back()->access, "allow");
    EXPECT_EQ(myRights->back(), manager.rights->back());
    EXPECT_TRUE(manager.requests->empty());
    EXPECT_TRUE(myRequests->empty());
}

TEST_F(ManagedKeys, OnlyTheOwnerAnswersRequests) {
    heldKey(kOther);
    SingleAssetManager manager;
    manager.partialFetch(kUrn, true, false);
    auto request = std::make_shared<AssetRequest>();
    request->asset = kUrn;
    const VxMetaException failure = thrownBy([&] { manager.respondToRequest(request, "allow"); });
    EXPECT_EQ(failure.category, VXMECAT_INTERNAL);
    EXPECT_EQ(failure.message, "You are not the owner");
    EXPECT_EQ(request->status, "");
}

TEST_F(ManagedKeys, TheUsersContingencyMasterKeyIsFoundByTeamInAnyCaseAndExactRecipient) {
    auto wrongRecipient = std::make_shared<ContingencyMasterKey>();
    wrongRecipient->ca = "urn:vx:team/alpha";
    wrongRecipient->recipient = "URN:VX:USER/OWN";
    auto mine = std::make_shared<ContingencyMasterKey>();
    mine->ca = "URN:VX:TEAM/ALPHA";
    mine->recipient = VxMetaTest::ownUrn;
    {
        LockScope lock(masterMutex);
        myContingencyMasterKeys->push_back(wrongRecipient);
        myContingencyMasterKeys->push_back(mine);
    }
    EXPECT_EQ(findMyCMKForCA("urn:vx:team/alpha"), mine);
    EXPECT_EQ(findMyCMKForCA("urn:vx:team/beta"), nullptr);
}

} // namespace
