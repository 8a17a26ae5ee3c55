// The owner's operations on a key over the in-process transport: which access requests are filed
// (one per key; none for fixed keys, keys of another home server or keys the user holds a right for),
// a refused request kept unsent without a failure reaching the caller, the owner's answers that change
// the dataset only (nothing is sent until the next list push); a key's participants, renaming that
// sends nothing, and the gates of deletion.
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/failure_of.h"
#include "support/fake_transport.h"
#include "vxmeta/accounts/access_changes.h"
#include "vxmeta/accounts/access_requests.h"
#include "vxmeta/accounts/asset_participants.h"
#include "vxmeta/accounts/single_asset_manager.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/asset_right.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "support/signing_fixture.h"
#include "vxmeta/records/user.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/dataset.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;
using VxMeta::testing::FakeReply;
using VxMeta::testing::FakeTransport;
using VxMeta::testing::thrownBy;

namespace {

const char* const kUrn = "file-key-1";
const char* const kAsking = "urn:vx:user/asking";

template <class T>
std::shared_ptr<T> clean(std::shared_ptr<T> record) {
    record->localDirty = false;
    record->remoteDirty = false;
    return record;
}

class KeyOwnerOperations : public VxMeta::testing::PipelineTest {
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
        PipelineTest::TearDown();
    }
    static std::shared_ptr<Asset> heldKey(const std::string& owner, const std::string& kind) {
        auto asset = std::make_shared<Asset>();
        asset->urn = kUrn;
        asset->owner = owner;
        asset->object_kind = kind;
        LockScope lock(masterMutex);
        myAssets->push_back(clean(asset));
        return asset;
    }
    static std::shared_ptr<AssetRight> heldRight(const std::string& participant, const std::string& access) {
        auto right = std::make_shared<AssetRight>();
        right->asset = kUrn;
        right->owner = VxMetaTest::ownUrn;
        right->participant = participant;
        right->access = access;
        LockScope lock(masterMutex);
        myRights->push_back(clean(right));
        return right;
    }
    static std::shared_ptr<AssetRequest> heldRequest() {
        auto request = std::make_shared<AssetRequest>();
        request->asset = kUrn;
        request->participant = kAsking;
        LockScope lock(masterMutex);
        myRequests->push_back(clean(request));
        return request;
    }
    static size_t posts() {
        size_t count = 0;
        for (const CommIO& io : FakeTransport::exchanges())
            if (io.method == "POST") ++count;
        return count;
    }
};

TEST_F(KeyOwnerOperations, AKeyIsAskedForOnceAndNeverWhenNoRequestIsDue) {
    FakeTransport::install([](const CommIO& io) {
        return FakeReply(201, std::string(io.requestData.begin(), io.requestData.end()));
    });
    heldRight(VxMetaTest::ownUrn, "deny");
    struct Case {
        const char* why;
        std::string reference;
    };
    const std::vector<Case> none = {
        {"a personal key", "priv-abc:1"},
        {"a community key", "community-x:1"},
        {"a group master key", "groupMaster-x"},
        {"another home server", R"({"homeServer":"elsewhere","assets":[{"file-key-2:1":"KM"}]})"},
        {"a held right, even one that denies", std::string(kUrn) + ":1"},
    };
    for (const Case& c : none) {
        askForAsset(c.reference);
        EXPECT_EQ(posts(), 0u) << c.why;
    }

    askForAsset(R"({"homeServer":"","assets":[{"file-key-2:3":"KM"}]})");
    askForAsset("file-key-2:4");
    EXPECT_EQ(posts(), 1u) << "a request for the key is held";
    LockScope lock(masterMutex);
    ASSERT_EQ(myRequests->size(), 1u);
    EXPECT_EQ(myRequests->front()->asset, "file-key-2");
    EXPECT_EQ(myRequests->front()->participant, VxMetaTest::ownUrn);
    EXPECT_TRUE(myRequests->front()->originator);
}

TEST_F(KeyOwnerOperations, ARefusedRequestStaysUnsentAndNothingIsThrown) {
    FakeTransport::answerAll(FakeReply(400, R"({"Message":"refused"})"));
    askForAsset("file-key-2:1");
    LockScope lock(masterMutex);
    ASSERT_EQ(myRequests->size(), 1u);
    EXPECT_TRUE(myRequests->front()->remoteDirty);
}

TEST_F(KeyOwnerOperations, AnAllowWithoutARightAddsOneAndTheRequestLeaves) {
    const std::shared_ptr<Asset> asset = heldKey(VxMetaTest::ownUrn, "file");
    const std::shared_ptr<AssetRequest> request = heldRequest();
    respondToRequest(request, "allow");
    EXPECT_TRUE(FakeTransport::exchanges().empty()) << "sent with the next list push";
    LockScope lock(masterMutex);
    EXPECT_EQ(request->status, "answered");
    EXPECT_TRUE(myRequests->empty());
    ASSERT_EQ(myRights->size(), 1u);
    const std::shared_ptr<AssetRight> right = myRights->front();
    EXPECT_EQ(right->participant, kAsking);
    EXPECT_EQ(right->owner, VxMetaTest::ownUrn);
    EXPECT_EQ(right->access, "allow");
    EXPECT_EQ(right->assetLink, asset);
    EXPECT_TRUE(right->remoteDirty && right->localDirty);
}

TEST_F(KeyOwnerOperations, AnAnswerThroughAHeldRightKeepsTheRequest) {
    heldKey(VxMetaTest::ownUrn, "file");
    const std::shared_ptr<AssetRight> right = heldRight(kAsking, "deny");
    const std::shared_ptr<AssetRequest> request = heldRequest();
    respondToRequest(request, "allow");
    LockScope lock(masterMutex);
    EXPECT_EQ(right->access, "allow");
    EXPECT_TRUE(right->remoteDirty);
    EXPECT_TRUE(myKeys->empty()) << "no key revision for a grant";
    ASSERT_EQ(myRequests->size(), 1u);
    EXPECT_EQ(request->status, "answered");
}

TEST_F(KeyOwnerOperations, OnlyTheOwnerOfAKnownKeyOfAnotherKindAnswers) {
    struct Case {
        const char* owner;
        const char* kind;
        const char* message;
    };
    const Case cases[] = {
        {"urn:vx:user/else", "file", "You are not the owner"},
        {nullptr, "file", "Can't respond to request - requested Asset is unknown"},
        {VxMetaTest::ownUrn, "priv", "Illegal request for private asset."},
    };
    for (const Case& c : cases) {
        {
            LockScope lock(masterMutex);
            myAssets->clear();
            myRequests->clear();
        }
        if (c.owner) heldKey(c.owner, c.kind);
        const std::shared_ptr<AssetRequest> request = heldRequest();
        const VxMetaException failure = thrownBy([&] { respondToRequest(request, "allow"); });
        EXPECT_EQ(failure.category, VXMECAT_INTERNAL);
        EXPECT_EQ(failure.message, c.message);
        LockScope lock(masterMutex);
        EXPECT_TRUE(myRights->empty());
        EXPECT_EQ(myRequests->size(), 1u);
    }
    // Another owner's key: the right another user holds is left alone too.
    const std::shared_ptr<AssetRight> right = heldRight(kAsking, "allow");
    {
        LockScope lock(masterMutex);
        myAssets->clear();
        right->owner = "urn:vx:user/else";
    }
    const std::shared_ptr<AssetRequest> request = heldRequest();
    EXPECT_EQ(thrownBy([&] { respondToRequest(request, "deny"); }).message, "You are not the owner");
    EXPECT_EQ(right->access, "allow");
    EXPECT_EQ(request->status, "");
}

TEST_F(KeyOwnerOperations, TheDatasetFormStoresAnyTextAndNeverDeniesTheOwner) {
    heldKey(VxMetaTest::ownUrn, "file");
    const std::shared_ptr<AssetRight> right = heldRight(kAsking, "deny");
    changeAccess(right, "maybe");
    EXPECT_EQ(right->access, "maybe");
    EXPECT_TRUE(right->remoteDirty);
    changeAccess(right, "allow");
    EXPECT_EQ(right->access, "allow");
    EXPECT_TRUE(myKeys->empty()) << "no key revision without a revocation";

    const std::shared_ptr<AssetRight> own = heldRight(VxMetaTest::ownUrn, "allow");
    const VxMetaException failure = thrownBy([&] { changeAccess(own, "deny"); });
    EXPECT_EQ(failure.category, VXMECAT_CLIENT);
    EXPECT_EQ(failure.message, "The key's owner cannot be denied access");
    EXPECT_EQ(own->access, "allow");
    EXPECT_FALSE(own->remoteDirty);
}

TEST_F(KeyOwnerOperations, ParticipantsAreTheIdentitiesOfTheRightsThatAllow) {
    heldKey(VxMetaTest::ownUrn, "file");
    auto known = std::make_shared<XPID>();
    known->urn = kAsking;
    known->email = "asking@example.test";
    known->name = "Asking";
    {
        LockScope lock(masterMutex);
        myXPIDs->push_back(known);
        globalState.mdsPubkey = "V2-service-key";
    }
    heldRight(kAsking, "allow");
    heldRight("email!invited@example.test", "allow");
    heldRight("urn:vx:user/denied", "deny");
    heldRight("urn:vx:user/unknown", "allow");
    heldRight(VxMetaTest::ownUrn, "allow");
    SingleAssetManager manager;
    manager.partialFetch(kUrn, true, false);

    const RecordListPtr<XPID> views = manager.getParticipants();
    ASSERT_EQ(views->size(), 2u) << "the user's own identity is not in the directory";
    EXPECT_NE(views->at(0), known) << "a view, not the directory's record";
    EXPECT_EQ(views->at(0)->name, "Asking");
    EXPECT_EQ(views->at(1)->urn, "email!invited@example.test");
    EXPECT_EQ(views->at(1)->email, "invited@example.test");
    EXPECT_EQ(views->at(1)->name, "(unknown)");
    EXPECT_EQ(views->at(1)->pubkey, "V2-service-key");
    EXPECT_EQ(manager.getAllParticipantsExceptSelf()->size(), 2u) << "the user owns the key";
    EXPECT_TRUE(manager.canEditParticipants());
    EXPECT_TRUE(FakeTransport::exchanges().empty());

    // Another user's key ends with its owner; a personal key is never edited.
    {
        LockScope lock(masterMutex);
        myAssets->front()->owner = kAsking;
    }
    const RecordListPtr<XPID> others = manager.getAllParticipantsExceptSelf();
    ASSERT_EQ(others->size(), 3u);
    EXPECT_EQ(others->back()->urn, kAsking);
    EXPECT_FALSE(manager.canEditParticipants());
    {
        LockScope lock(masterMutex);
        myAssets->front()->owner = VxMetaTest::ownUrn;
        myAssets->front()->object_kind = "priv";
    }
    EXPECT_FALSE(canEditParticipants(myAssets->front()));
}

TEST_F(KeyOwnerOperations, ParticipantsListedBesideALogoutAreWholeOrRefused) {
    heldKey(VxMetaTest::ownUrn, "file");
    auto known = std::make_shared<XPID>();
    known->urn = kAsking;
    known->name = "Asking";
    {
        LockScope lock(masterMutex);
        myXPIDs->push_back(known);
    }
    heldRight(kAsking, "allow");
    constexpr int rounds = 150;
    // The account's logout moves the whole dataset into a snapshot and leaves an empty one; here the
    // snapshot comes back every other round, so that listings meet both.
    std::thread signingOut([] {
        Dataset snapshot;
        for (int i = 0; i < rounds; ++i) {
            if (i % 2 == 0) {
                snapshot.freeze();
            } else {
                snapshot.use();
            }
        }
    });
    for (int i = 0; i < rounds; ++i) {
        try {
            SingleAssetManager manager;
            manager.partialFetch(kUrn, true, false);
            const RecordListPtr<XPID> views = manager.getParticipants();
            ASSERT_LE(views->size(), 1u);
        } catch (const VxMetaException&) {
            // The key was not in the dataset at that moment.
        }
    }
    signingOut.join();
    EXPECT_TRUE(FakeTransport::exchanges().empty());
}

TEST_F(KeyOwnerOperations, RenamingToTheSameNameSendsNothing) {
    const std::shared_ptr<Asset> asset = heldKey(VxMetaTest::ownUrn, "file");
    asset->name = "Plans";
    SingleAssetManager manager;
    manager.partialFetch(kUrn, true, false);
    manager.changeName("Plans");
    manager.changeName("  Plans\t");
    EXPECT_TRUE(FakeTransport::exchanges().empty());
    const VxMetaException blank = thrownBy([&] { manager.changeName(" \n "); });
    EXPECT_EQ(blank.category, VXMECAT_CLIENT);
    EXPECT_EQ(blank.message, "Asset name cannot be blank");
    asset->owner = kAsking;
    EXPECT_EQ(thrownBy([&] { manager.changeName("New"); }).message, "You are not the owner");
    EXPECT_EQ(asset->name, "Plans");
}

TEST_F(KeyOwnerOperations, DeletionPassesThePolicyAndTheKeysOwnGate) {
    SingleAssetManager empty;
    EXPECT_EQ(thrownBy([&] { empty.deleteAsset(); }).message, "Cannot delete - no asset loaded");
    const std::shared_ptr<Asset> asset = heldKey(VxMetaTest::ownUrn, "file");
    asset->id = 9;
    asset->name = "Plans";
    SingleAssetManager manager;
    manager.partialFetch(kUrn, true, false);
    const VxMetaException policy = thrownBy([&] { manager.deleteAsset(); });
    EXPECT_EQ(policy.category, VXMECAT_POLICY_VIOLATION) << "the default permission word 11 lacks the bit";
    EXPECT_EQ(policy.message, "Policy forbids deleting Orvanels");
    {
        LockScope lock(masterMutex);
        globalState.satellitePolicy.skey_flag = 11 | 0x10;
    }
    const VxMetaException own = thrownBy([&] { manager.deleteAsset(); });
    EXPECT_EQ(own.category, VXMECAT_CLIENT);
    EXPECT_EQ(own.message, "Orvanel 'Plans' cannot be deleted");
    EXPECT_TRUE(FakeTransport::exchanges().empty());

    asset->canDelete = true;
    manager.deleteAsset();
    EXPECT_EQ(manager.getURN(), "");
    LockScope lock(masterMutex);
    EXPECT_TRUE(myAssets->empty());
    std::vector<std::string> deletions;
    for (const CommIO& io : FakeTransport::exchanges())
        if (io.method == "DELETE") deletions.push_back(io.url.substr(io.url.find("/api/v1.0/") + 10));
    EXPECT_EQ(deletions, std::vector<std::string>{"asset/9/"});
}

} // namespace
