// The requests of a record (get, fetch, findOne, post, put, del, sync, trySync) and the class
// queries, answered by an in-process transport: paths, bookkeeping flags, the expected etag, and
// how refusals are handled.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fake_transport.h"
#include "support/record_test_support.h"
#include "vxmeta/comm/cluster_exception.h"
#include "vxmeta/comm/comm_io.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/etag.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/user.h"

using namespace VxMeta;
using VxMeta::testing::FakeReply;
using VxMeta::testing::FakeTransport;

namespace {

class RecordRequests : public VxMeta::testing::PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp(); // a fresh dataset (user record included)
        answerAll(FakeReply{});
        std::lock_guard<std::mutex> guard(syncProblemsMutex);
        syncProblems.clear();
    }

    // The cluster's own look-ups ("etag/0", "clusterInfo") are answered plainly and left out of
    // the exchanges the tests read.
    static bool clusterHousekeeping(const CommIO& io) {
        return io.url.find("/api/v1.0/etag/0") != std::string::npos ||
               io.url.find("/api/v1.0/clusterInfo") != std::string::npos;
    }
    static void answer(FakeTransport::Handler handler) {
        FakeTransport::install([handler](const CommIO& io) {
            return clusterHousekeeping(io) ? FakeReply(200, "{}") : handler(io);
        });
    }
    static void answerAll(FakeReply reply) {
        answer([reply](const CommIO&) { return reply; });
    }
    static std::vector<CommIO> exchanges() {
        std::vector<CommIO> records;
        for (const CommIO& io : FakeTransport::exchanges())
            if (!clusterHousekeeping(io)) records.push_back(io);
        return records;
    }

    static int32_t expectedEtag() { return getMyUser()->expectedEtag; }
    static size_t problemCount() {
        std::lock_guard<std::mutex> guard(syncProblemsMutex);
        return syncProblems.size();
    }
    static std::vector<std::string> requests() {
        std::vector<std::string> lines;
        for (const CommIO& io : exchanges()) {
            const std::string url = io.url;
            lines.push_back(io.method + " " + url.substr(url.find("/api/v1.0/") + 10));
        }
        return lines;
    }
};

FakeReply refusal(int32_t status, const char* reason) {
    return FakeReply(status, std::string(R"({"Message":"refused","reason":")") + reason + "\"}");
}

TEST_F(RecordRequests, CreateAnswered200Against201) {
    const struct {
        int32_t status;
        bool originator;
        int32_t etagRaise;
    } cases[] = {{200, false, 0}, {201, true, 1}};
    for (const auto& c : cases) {
        answerAll(FakeReply(c.status, R"({"id":0,"pollingInterval":30,"originator":true})"));
        Persists persists;
        const int32_t before = expectedEtag();
        EXPECT_TRUE(persists.sync()) << c.status;
        EXPECT_EQ(requests(), std::vector<std::string>{"POST persists/"});
        EXPECT_EQ(persists.originator, c.originator) << c.status;
        EXPECT_EQ(persists.pollingInterval, 30);
        EXPECT_EQ(expectedEtag() - before, c.etagRaise) << c.status;
        EXPECT_FALSE(persists.remoteDirty);
        EXPECT_TRUE(persists.localDirty);
        EXPECT_EQ(persists.verified, 0);
    }
}

TEST_F(RecordRequests, UpdateRaisesTheEtagExceptForTheSid) {
    answerAll(FakeReply(200, "[]"));
    Etag etag;
    etag.id = 7;
    int32_t before = expectedEtag();
    EXPECT_THROW(etag.put(), VxMetaException);
    EXPECT_EQ(expectedEtag(), before + 1); // counted whatever the reply holds
    EXPECT_EQ(requests(), std::vector<std::string>{"PUT etag/7/"});

    answerAll(FakeReply(201, R"({"id":"V2-loc","record":{}})"));
    SID sid;
    sid.shash = "V2-loc";
    before = expectedEtag();
    EXPECT_TRUE(sid.post());
    EXPECT_TRUE(sid.originator);
    EXPECT_TRUE(sid.put());
    EXPECT_TRUE(sid.del());
    EXPECT_EQ(expectedEtag(), before);
    EXPECT_EQ(requests(), (std::vector<std::string>{"POST sid/", "PUT sid/V2-loc/", "DELETE sid/V2-loc/"}));

    Etag deleted;
    deleted.id = 3;
    EXPECT_TRUE(deleted.del());
    EXPECT_EQ(expectedEtag(), before + 1);
    EXPECT_FALSE(deleted.localDirty);
    EXPECT_FALSE(deleted.remoteDirty);
}

TEST_F(RecordRequests, ARequestThatFailsChangesNothing) {
    answerAll(refusal(400, "Bad"));
    Etag etag;
    etag.id = 3;
    etag.localDirty = false;
    const int32_t before = expectedEtag();
    EXPECT_THROW(etag.del(), VxMetaException);
    EXPECT_THROW(etag.put(), VxMetaException);
    EXPECT_THROW(etag.get(), VxMetaException);
    EXPECT_EQ(expectedEtag(), before);
    EXPECT_FALSE(etag.localDirty);
    EXPECT_TRUE(etag.remoteDirty);
}

TEST_F(RecordRequests, RepliesThatAreJsonButNoObjectAreInternalFailures) {
    answerAll(FakeReply(200, "[]"));
    Etag etag;
    etag.id = 1;
    for (auto request : {&Etag::post, &Etag::put, &Etag::get}) {
        try {
            (etag.*request)();
            ADD_FAILURE() << "a reply \"[]\" must fail";
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, VXMECAT_INTERNAL);
            EXPECT_EQ(e.message, "Value is not in correct object format");
        }
    }
    EXPECT_THROW(etag.fetch("etag/1/"), VxMetaException);
}

TEST_F(RecordRequests, FetchReadsAReplyAndLeavesLocalDirtyAlone) {
    answerAll(FakeReply(200, R"({"etag":5,"id":7})"));
    Etag etag;
    etag.id = 7;
    etag.localDirty = false;
    etag.verified = 1;
    EXPECT_TRUE(etag.get());
    EXPECT_EQ(etag.etag, 5);
    EXPECT_FALSE(etag.localDirty);
    EXPECT_FALSE(etag.remoteDirty);
    EXPECT_EQ(etag.verified, 0);

    // A reply of the wrong shape leaves the record as it was.
    answerAll(FakeReply(200, R"({"etag":"five"})"));
    etag.remoteDirty = true;
    EXPECT_THROW(etag.get(), VxMetaException);
    EXPECT_TRUE(etag.remoteDirty);
    EXPECT_EQ(etag.etag, 5);
}

TEST_F(RecordRequests, FindOne) {
    const struct {
        const char* reply;
        bool found;
        int32_t etag;
    } cases[] = {{"[]", false, 9}, {"{}", false, 9}, {"\"text\"", false, 9},
                 {R"([{"etag":1},{"etag":2}])", true, 1}};
    for (const auto& c : cases) {
        answerAll(FakeReply(200, c.reply));
        Etag etag;
        etag.etag = 9;
        etag.verified = 1;
        EXPECT_EQ(etag.findOne("?urn=a%3Ab"), c.found) << c.reply;
        EXPECT_EQ(etag.etag, c.etag) << c.reply;
        EXPECT_EQ(etag.remoteDirty, !c.found) << c.reply;
        EXPECT_EQ(requests(), std::vector<std::string>{"GET etag/?urn=a%3Ab"});
    }
}

TEST_F(RecordRequests, SyncSendsOnlyWhatIsPending) {
    Etag clean;
    clean.remoteDirty = false;
    EXPECT_TRUE(clean.sync());
    EXPECT_TRUE(exchanges().empty());

    // A change that was pending when stored is sent after a restore.
    Etag pending;
    ASSERT_TRUE(pending.restore(R"({"etag":4,"id":2,"remoteDirty":true,"originator":false})"));
    EXPECT_FALSE(pending.localDirty);
    answerAll(FakeReply(200, R"({"etag":4,"id":2})"));
    EXPECT_TRUE(pending.sync());
    EXPECT_EQ(requests(), std::vector<std::string>{"PUT etag/2/"});
    EXPECT_TRUE(pending.localDirty);
}

TEST_F(RecordRequests, MfaDeniedDropsTheChange) {
    answerAll(refusal(403, "MFA Denied"));
    Etag etag;
    etag.id = 2;
    etag.localDirty = false;
    etag.verified = 1;
    try {
        etag.sync();
        ADD_FAILURE() << "the refusal must pass on";
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_MFA_DENIED);
    }
    EXPECT_FALSE(etag.remoteDirty);
    EXPECT_TRUE(etag.localDirty);
    EXPECT_EQ(etag.verified, 1);
    FakeTransport::exchanges().clear();
    EXPECT_TRUE(etag.sync());
    EXPECT_TRUE(exchanges().empty());
}

TEST_F(RecordRequests, TrySyncReReadsOnARevisionConflictAndReportsIt) {
    answer([](const CommIO& io) {
        if (io.method == "PUT") return refusal(409, "Revision");
        return FakeReply(200, R"({"etag":8,"id":2})");
    });
    Etag withId;
    withId.id = 2;
    EXPECT_FALSE(withId.trySync());
    EXPECT_EQ(requests(), (std::vector<std::string>{"PUT etag/2/", "GET etag/2/"}));
    EXPECT_EQ(withId.etag, 8);
    EXPECT_FALSE(withId.remoteDirty);
    ASSERT_EQ(problemCount(), 1u);
    EXPECT_EQ(syncProblems[0].reason, VXMEREASON_REVISION);

    answerAll(refusal(409, "Revision"));
    Etag withoutId;
    EXPECT_FALSE(withoutId.trySync());
    EXPECT_EQ(requests(), std::vector<std::string>{"POST etag/"});
    EXPECT_EQ(problemCount(), 2u);
    EXPECT_TRUE(withoutId.remoteDirty);
}

TEST_F(RecordRequests, TrySyncReportsAReplyOfTheWrongTypeAsAProtocolProblem) {
    auto user = std::make_shared<User>();
    user->id = 5;
    user->loginSalt = "held";
    user->signature = "V2-held"; // signed already: sent as held
    user->recordText = R"({"loginSalt":"held","revision":1})";
    answerAll(FakeReply(200, R"({"id":5,"record":{"loginSalt":"new","loginRounds":"many"}})"));
    EXPECT_FALSE(user->trySync());
    ASSERT_EQ(problemCount(), 1u);
    EXPECT_EQ(syncProblems[0].category, VXMECAT_PROTOCOL);
    EXPECT_EQ(user->loginSalt, "held"); // nothing of the reply was taken
    EXPECT_TRUE(user->remoteDirty);
}

TEST_F(RecordRequests, CommunicationFailuresAreNotSyncProblems) {
    answerAll(FakeReply(0, "", "connection refused"));
    Etag etag;
    etag.id = 1;
    // The first failure takes the server down: the failover signal passes through trySync.
    EXPECT_THROW(etag.trySync(), ClusterException);
    // With no server left the executor fails with a communication error, which trySync absorbs.
    EXPECT_FALSE(etag.trySync());
    EXPECT_EQ(problemCount(), 0u);
    EXPECT_TRUE(etag.remoteDirty);
}

TEST_F(RecordRequests, ClassQueries) {
    const struct {
        FakeReply reply;
        size_t records;
    } cases[] = {{FakeReply(404, R"({"Message":"none"})"), 0},
                 {FakeReply(200, "[]"), 0},
                 {FakeReply(200, R"({"etag":1})"), 1},
                 {FakeReply(200, R"([{"etag":1},{"etag":2},{"etag":3}])"), 3}};
    for (const auto& c : cases) {
        answerAll(c.reply);
        RecordListPtr<Etag> list = Etag::queryAll();
        ASSERT_TRUE(list) << c.reply.body;
        ASSERT_EQ(list->size(), c.records) << c.reply.body;
        EXPECT_EQ(requests(), std::vector<std::string>{"GET etag/"});
        for (size_t i = 0; i < list->size(); ++i) {
            const Etag& record = *(*list)[i];
            EXPECT_EQ(record.etag, static_cast<int32_t>(i + 1));
            EXPECT_FALSE(record.remoteDirty);
            EXPECT_TRUE(record.localDirty);
            EXPECT_EQ(record.verified, 0);
        }
    }

    answerAll(FakeReply(200, R"([{"etag":1},2])"));
    try {
        Etag::queryAll();
        ADD_FAILURE() << "a number in the reply must fail";
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_INTERNAL);
    }
    answerAll(FakeReply(400, R"({"Message":"bad"})"));
    EXPECT_THROW(Etag::queryCollect("etag?since=1"), VxMetaException);
    EXPECT_EQ(requests(), std::vector<std::string>{"GET etag?since=1"});

    answerAll(FakeReply(200, "[]"));
    PID::query("urn", "urn:vx a/b");
    EXPECT_EQ(requests(), std::vector<std::string>{"GET pid/?urn=urn%3Avx+a%2Fb"});
}

TEST_F(RecordRequests, DeviceRefreshMergesTheServiceCopy) {
    auto device = getMyDevice();
    device->id = 4;
    device->recovery_cipher = "V6-kept";
    device->localDirty = false;
    answerAll(FakeReply(200, R"({"id":4,"allow_access":true,"app_name":"Reader","record":{"urn":"LIN-1"}})"));
    device->refresh();
    EXPECT_EQ(requests(), std::vector<std::string>{"GET device/4/"});
    EXPECT_EQ(device->app_name, "Reader");
    EXPECT_EQ(device->urn, "LIN-1");
    EXPECT_EQ(device->recovery_cipher, "V6-kept");
    EXPECT_TRUE(device->localDirty);

    answerAll(FakeReply(500, R"({"Message":"down"})"));
    EXPECT_ANY_THROW(device->refresh());
    EXPECT_EQ(device->app_name, "Reader");
}

TEST_F(RecordRequests, SignerLookUpSendsNothingWhileTheMasterLockIsHeld) {
    LockScope lock(masterMutex);
    myPID->urn = "urn:own";
    myPID->pubkey = "V2-own";
    EXPECT_EQ(pubkeyLookupUrn("urn:own"), "V2-own");
    EXPECT_EQ(pubkeyLookupUrn("urn:someone-else"), "");
    EXPECT_TRUE(exchanges().empty());
}

TEST_F(RecordRequests, PipelineReadsTheRecordsSettings) {
    getMyUser()->expectedEtag = 12;
    Etag etag;
    etag.id = 1;
    answerAll(FakeReply(200, "{}"));
    etag.get();
    ASSERT_EQ(exchanges().size(), 1u);
    EXPECT_NE(exchanges()[0].headers.at("X-VX-MFA").find("\"etag\":12"), std::string::npos);
}

} // namespace
