// Records against the test key service over HTTPS: a record is created, read back, updated and
// deleted, a revision conflict makes trySync read the service's newer record, and the service's
// etag counts exactly the changes the client counted plus those made elsewhere.
#include <memory>
#include <mutex>
#include <string>

#include <gtest/gtest.h>

#include "support/key_service.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/url.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;

namespace {

class RecordsOnTheService : public VxMeta::testing::ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return; // no service: skipped, or failed in CI
        service.reset();
        // Started first: the start empties the dataset and the global state.
        init();
        getMyClusterEvaluator()->setClusterInfo(TarvexProtocol::Url::newInstance(service.servers.at(0), ""));
        std::string publicKey, privateKey;
        generateRSAKeys(publicKey, privateKey);
        LockScope lock(masterMutex);
        globalState.clear();
        globalState.myPrikey = privateKey;
        myPID->urn = "urn:vx:user/integration";
        myPID->name = "Integration";
        myPID->email = "integration@example.test";
        myPID->pubkey = publicKey;
        // The start leaves the own records clean; these are new ones, still to be created.
        myPID->remoteDirty = true;
        myDevice->remoteDirty = true;
        std::lock_guard<std::mutex> guard(syncProblemsMutex);
        syncProblems.clear();
    }
    void TearDown() override {
        {
            LockScope lock(masterMutex);
            globalState.clear();
        }
        ServiceTest::TearDown();
    }

    int64_t serviceEtag() const { return service.call("GET", "/records")["etag"].asInt64(); }
    static int32_t clientEtag() { return getMyUser()->expectedEtag; }
};

TEST_F(RecordsOnTheService, CreateReadUpdateDelete) {
    // Create: a copy of the own identity is sent and merged back.
    std::shared_ptr<PID> copy = MLockClone(getMyPID());
    ASSERT_TRUE(copy->sync());
    EXPECT_TRUE(copy->originator);
    ASSERT_GT(copy->id, 0);
    getMyPID()->copyUpdate(*copy);
    EXPECT_EQ(getMyPID()->id, copy->id);
    EXPECT_EQ(clientEtag(), 1);

    // Read back by id: the same signed text, and it verifies.
    PID read;
    read.id = copy->id;
    ASSERT_TRUE(read.get());
    EXPECT_EQ(read.recordText, copy->recordText);
    EXPECT_TRUE(read.verifySignature());
    EXPECT_FALSE(read.created_at.empty());

    // Update: a new revision, signed again.
    copy = MLockClone(getMyPID());
    copy->name = "Renamed";
    copy->changed();
    ASSERT_TRUE(copy->sync());
    getMyPID()->copyUpdate(*copy);
    EXPECT_EQ(clientEtag(), 2);
    ASSERT_TRUE(read.get());
    EXPECT_EQ(read.name, "Renamed");
    EXPECT_EQ(read.revision, 2);
    EXPECT_TRUE(read.verifySignature());

    // Queries: by the URN, and one record found.
    RecordListPtr<PID> found = PID::query("urn", "urn:vx:user/integration");
    ASSERT_EQ(found->size(), 1u);
    EXPECT_EQ((*found)[0]->name, "Renamed");
    PID first;
    EXPECT_TRUE(first.findOne("?urn=urn%3Avx%3Auser%2Fintegration"));
    EXPECT_EQ(first.id, copy->id);

    // Delete; the record is gone, and a query for it is an empty list.
    ASSERT_TRUE(copy->del());
    EXPECT_EQ(clientEtag(), 3);
    try {
        read.get();
        ADD_FAILURE() << "a deleted record must not be found";
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.httpStatus, 404);
    }
    EXPECT_TRUE(PID::query("urn", "urn:vx:user/integration")->empty());
    EXPECT_EQ(serviceEtag(), clientEtag()); // every change of this client was counted on both sides
}

TEST_F(RecordsOnTheService, RevisionConflictMakesTrySyncReadTheNewerRecord) {
    // A record the service signed with an identity key of its own, then changed elsewhere.
    const Json::Value made = service.call(
        "POST", "/records/pid", R"({"record":{"urn":"urn:vx:user/elsewhere","name":"First","email":"e@example.test"}})");
    PID held;
    held.id = made["id"].asInt64();
    ASSERT_TRUE(held.get());
    EXPECT_TRUE(held.verifySignature());
    service.call("POST", "/records/pid/" + std::to_string(held.id) + "/revise", R"({"record":{"name":"Changed elsewhere"}})");

    held.name = "Mine";
    held.changed(); // revision 2, which the service already has
    EXPECT_FALSE(held.trySync());
    EXPECT_EQ(held.name, "Changed elsewhere");
    EXPECT_EQ(held.revision, 2);
    EXPECT_FALSE(held.remoteDirty);
    EXPECT_TRUE(held.verifySignature());
    {
        std::lock_guard<std::mutex> guard(syncProblemsMutex);
        ASSERT_EQ(syncProblems.size(), 1u);
        EXPECT_EQ(syncProblems[0].httpStatus, 409);
        EXPECT_EQ(syncProblems[0].reason, VXMEREASON_REVISION);
    }
    // A refused PUT is counted on neither side; the two changes made elsewhere only by the service.
    EXPECT_EQ(clientEtag(), 0);
    EXPECT_EQ(serviceEtag(), 2);

    // With the newer revision read, the change goes through.
    held.name = "Mine";
    held.changed();
    EXPECT_TRUE(held.trySync());
    EXPECT_EQ(held.revision, 3);
}

TEST_F(RecordsOnTheService, TheServiceAlwaysReportsTheDevicesAccess) {
    std::shared_ptr<Device> device = MLockClone(getMyDevice());
    device->owner = "urn:vx:user/integration";
    device->urn = "LIN-0001";
    device->name = "desk";
    device->allow_access = false;
    ASSERT_TRUE(device->sync());
    EXPECT_TRUE(device->allow_access);
    EXPECT_TRUE(device->verifySignature());
}

} // namespace
