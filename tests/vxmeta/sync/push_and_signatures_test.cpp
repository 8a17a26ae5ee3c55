// The list push and the signature checks against an in-process service: the lists a TDE agent
// pushes, a refused upload retried by the next push, what the live list keeps after a push (the
// records marked, by the push or an earlier pass, and those with unsent changes), and signature
// checks that look a signer up and read a record again only without the master lock.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/access_fixture.h"
#include "sync_fixture.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/app_data.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/mfa_pair.h"
#include "vxmeta/records/upload.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/list_push.h"
#include "vxmeta/sync/signature_checks.h"

using namespace VxMeta;
using VxMeta::testing::FakeReply;

namespace {

template <class T>
std::shared_ptr<T> add(const RecordListPtr<T>& list, bool dirty, int64_t id = 0) {
    auto record = std::make_shared<T>();
    record->remoteDirty = dirty;
    record->id = id;
    LockScope lock(masterMutex);
    list->push_back(record);
    return record;
}

class ListPush : public VxMetaTest::SyncTest {};

TEST_F(ListPush, ATdeAgentPushesItsSubsetAndAnAppListTheServiceLacksIsNotPushed) {
    add(getMyApps(), true);
    add(getMyAssets(), true);
    add(getMyRequests(), true);
    add(getMyUploads(), true);
    add(getMyMFAPairs(), true);
    {
        LockScope lock(masterMutex);
        globalState.tdeAgentMode = true;
        globalState.appListSupported = false;
    }
    vxmcSyncLists();
    EXPECT_EQ(service->requests(), (std::vector<std::string>{"POST asset/", "POST upload/"}));
}

TEST_F(ListPush, ARefusedUploadStaysAndIsSentAgainAndCleanRecordsStay) {
    const auto refused = add(getMyUploads(), true);
    const auto clean = add(getMyUploads(), false, 9);
    service->on("POST upload/", FakeReply(400, "{\"Message\":\"no\"}"));
    syncList(getMyUploads());
    EXPECT_TRUE(refused->remoteDirty);
    EXPECT_EQ(*getMyUploads(), (RecordList<Upload>{refused, clean}));
    EXPECT_EQ(problemCount(), 1u);

    Json::Value stored;
    stored["id"] = 12;
    service->on("POST upload/", FakeReply(201, jsonString(stored)));
    syncList(getMyUploads());
    EXPECT_FALSE(refused->remoteDirty);
    EXPECT_EQ(refused->id, 12);
    EXPECT_EQ(service->requests(), (std::vector<std::string>{"POST upload/", "POST upload/"}));
}

TEST_F(ListPush, ThePushMarksWhatItWentThroughAndKeepsWhatIsMarkedOrUnsent) {
    const auto pushed = add(getMyUploads(), true);
    const auto cleanHeld = add(getMyUploads(), false, 3);
    std::shared_ptr<Upload> appendedClean;
    std::shared_ptr<Upload> appendedMarked;
    std::shared_ptr<Upload> appendedDirty;
    service->on("POST upload/", FakeReply(201, "{\"id\":4}"));
    // While the upload is in flight records are appended: one clean, one clean with a mark left by an
    // earlier pass, one with unsent changes.
    service->onRequest = [&](const std::string&) {
        appendedClean = add(getMyUploads(), false, 5);
        appendedMarked = add(getMyUploads(), false, 6);
        appendedDirty = add(getMyUploads(), true);
        LockScope lock(masterMutex);
        appendedMarked->marked = true;
    };
    syncList(getMyUploads());
    EXPECT_EQ(*getMyUploads(), (RecordList<Upload>{pushed, cleanHeld, appendedMarked, appendedDirty}));
    // The marks the push set stay for the next pass to clear.
    LockScope lock(masterMutex);
    EXPECT_TRUE(pushed->marked);
    EXPECT_TRUE(cleanHeld->marked);
    EXPECT_FALSE(appendedDirty->marked);
}

class SignatureChecks : public VxMetaTest::SyncTest {
protected:
    void SetUp() override {
        SyncTest::SetUp();
        LockScope lock(masterMutex);
        myPID->urn = "urn:me";
    }
};

TEST_F(SignatureChecks, ASignerNotYetHeldIsLookedUpWithoutTheMasterLock) {
    const VxMetaTest::KeyPair& other = VxMetaTest::serviceKeys();
    auto request = std::make_shared<AssetRequest>();
    request->asset = "urn:asset";
    request->participant = "urn:other";
    request->id = 3;
    Json::Value record;
    record["asset"] = "urn:asset";
    record["participant"] = "urn:other";
    record["revision"] = 1;
    Json::Value form;
    form["record"] = record;
    form["signature"] = signTextOther(jsonString(record), other.privateKey);
    form["id"] = 3;
    request->update(form);
    {
        LockScope lock(masterMutex);
        myRequests->push_back(request);
    }
    Json::Value identity;
    identity["record"]["urn"] = "urn:other";
    identity["record"]["pubkey"] = other.publicKey;
    identity["record"]["revision"] = 1;
    identity["id"] = 8;
    service->on("GET xpid?urn=urn%3Aother", identity);
    // The request points assert in debug builds that the master lock is not held.
    checkAllSignatures();
    EXPECT_EQ(request->verified, 1);
    EXPECT_EQ(problemCount(), 0u);
    EXPECT_EQ(service->requests(), std::vector<std::string>{"GET xpid?urn=urn%3Aother"});
}

TEST_F(SignatureChecks, AnInvalidRecordIsReadAgainOnceReportedOnceAndKept) {
    const auto forged = add(getMyAssets(), false, 4);
    {
        LockScope lock(masterMutex);
        forged->owner = "urn:me";
        forged->signature = "V2-AAAA";
        forged->urn = "urn:a";
    }
    Json::Value copy;
    copy["record"]["owner"] = "urn:me";
    copy["record"]["urn"] = "urn:a";
    copy["signature"] = "V2-AAAA";
    copy["id"] = 4;
    service->on("GET asset/4/", copy);
    checkAllSignatures();
    EXPECT_EQ(forged->verified, 2);
    EXPECT_EQ(problemMessages(), std::vector<std::string>{"Invalid signature on asset/4/"});
    EXPECT_EQ(service->requests(), std::vector<std::string>{"GET asset/4/"});
    EXPECT_EQ(getMyAssets()->size(), 1u);
}

} // namespace
