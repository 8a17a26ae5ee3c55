// The policies of the team data: the satellite policy applied only with a valid signature, its
// version adjustments and the limits copied into the state record; the MFA policy built from its
// datum and keeping the client verification; the one-time signature check with its re-fetch.
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "support/access_fixture.h"

#include "vxmeta/access/server_settings.h"
#include "vxmeta/accounts/mfa_policy.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/satellite_policy.h"
#include "vxmeta/records/team_data.h"
#include "vxmeta/records/user.h"

using namespace VxMeta;
using namespace VxMeta::testing;
using namespace VxMetaTest;

namespace {

// A team datum signed as the service signs it (kind, name, team id, "updated_at", value), or
// signed by another key.
std::shared_ptr<TeamData> teamDatum(int64_t id, const std::string& kind, const std::string& value, bool validSignature = true,
                                    const std::string& updatedAt = "2024-05-01T10:00:00Z") {
    auto record = std::make_shared<TeamData>();
    record->id = id;
    record->team_id = 7;
    record->kind = kind;
    record->name = "policy";
    record->value = value;
    record->updated_at = updatedAt;
    const std::string signedText = kind + record->name + "7" + updatedAt + value;
    record->signature = signTextOther(signedText, validSignature ? serviceKeys().privateKey : userKeys().privateKey);
    record->verified = 0;
    return record;
}

// The datum as the service sends it.
std::string serviceReply(const TeamData& record) {
    Json::Value reply;
    reply["id"] = Json::Int64(record.id);
    reply["team_id"] = record.team_id;
    reply["kind"] = record.kind;
    reply["name"] = record.name;
    reply["value"] = record.value;
    reply["updated_at"] = record.updated_at;
    reply["signature"] = record.signature;
    return jsonString(reply);
}

std::vector<std::string> problemMessages() {
    std::lock_guard<std::mutex> guard(syncProblemsMutex);
    std::vector<std::string> messages;
    for (const VxMetaException& e : syncProblems) messages.push_back(e.category + ": " + e.message);
    return messages;
}

class PolicyUpdate : public AccessTest {
protected:
    void SetUp() override {
        AccessTest::SetUp();
        setMdsPubkey(serviceKeys().publicKey);
    }
    static void hold(std::initializer_list<std::shared_ptr<TeamData>> records) {
        LockScope lock(masterMutex);
        myTeamDatas->assign(records.begin(), records.end());
    }
};

TEST_F(PolicyUpdate, SatellitePolicyVersionsAdjustTheKeyFlags) {
    struct Case {
        const char* value;
        int32_t skeyFlag;
    };
    const Case cases[] = {
        {R"({"version":"1.0.256","skey_flag":0})", 10},
        {R"({"version":"1.0.258","skey_flag":15})", 11},
        {R"({"version":"1.0.260","skey_flag":15})", 15},
        {R"({"version":"2.0.0","skey_flag":4})", 4},
        {R"({"version":"not a version","skey_flag":0})", 10},
        {"not json", 11 | 0xA},
        {R"(["not","an","object"])", 11 | 0xA},
        {R"({"skey_flag":"wrong type"})", 11 | 0xA},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        globalState.satellitePolicy = SatellitePolicy();
        globalState.satellitePolicy.skey_flag = -1;
        hold({teamDatum(1, "Satellite Policy", c.value)});
        updatePolicy();
        EXPECT_EQ(globalState.satellitePolicy.skey_flag, c.skeyFlag);
    }
    EXPECT_TRUE(problemMessages().empty());
}

TEST_F(PolicyUpdate, SatellitePolicyLimitsReachTheStateRecord) {
    hold({teamDatum(1, "Satellite Policy",
                    R"({"version":"1.0.260","offline_access_hours":48,"ma_credential_interval_minutes":30,"persist_credentials":false})")});
    myPersists->localDirty = false;
    updatePolicy();
    EXPECT_EQ(myPersists->offline_access_hours, 48);
    EXPECT_EQ(myPersists->ma_credential_interval_minutes, 30);
    EXPECT_TRUE(myPersists->localDirty);
    EXPECT_FALSE(globalState.satellitePolicy.persist_credentials);
    // The same limits again: nothing to store.
    myPersists->localDirty = false;
    (*myTeamDatas)[0]->verified = 0;
    updatePolicy();
    EXPECT_FALSE(myPersists->localDirty);
}

TEST_F(PolicyUpdate, SatellitePolicyWithoutAValidSignatureIsNotApplied) {
    std::shared_ptr<TeamData> forged = teamDatum(5, "Satellite Policy", R"({"version":"1.0.260","offline_access_hours":0,"skey_flag":31})", false);
    FakeTransport::install([&](const CommIO& io) {
        return endswith(io.url, "/teamdata/5/") ? FakeReply(200, serviceReply(*forged)) : FakeReply{};
    });
    myPersists->offline_access_hours = 24;
    hold({forged});
    updatePolicy();
    EXPECT_EQ(globalState.satellitePolicy.skey_flag, SatellitePolicy().skey_flag);
    EXPECT_EQ(myPersists->offline_access_hours, 24);
    EXPECT_EQ(forged->verified, 2);
    EXPECT_EQ(problemMessages(), std::vector<std::string>{"Server Protocol Violation: Invalid signature on teamdata/5/"});

    // The service's copy of a datum that did not check is read again; when that one checks, it applies.
    std::shared_ptr<TeamData> good = teamDatum(6, "Satellite Policy", R"({"version":"1.0.260","skey_flag":27})");
    std::shared_ptr<TeamData> stale = teamDatum(6, "Satellite Policy", R"({"version":"1.0.260","skey_flag":31})", false);
    int depthAtRequest = -1;
    FakeTransport::install([&](const CommIO& io) {
        if (!endswith(io.url, "/teamdata/6/")) return FakeReply{};
        depthAtRequest = masterLockDepth();
        return FakeReply(200, serviceReply(*good));
    });
    hold({stale});
    updatePolicy();
    EXPECT_EQ(depthAtRequest, 0);
    EXPECT_EQ(stale->verified, 1);
    EXPECT_TRUE(stale->localDirty);
    EXPECT_EQ(globalState.satellitePolicy.skey_flag, 27);
}

TEST_F(PolicyUpdate, DatumReadAgainIsTakenOverWhileOtherThreadsReadTheList) {
    // Another thread reads the held datum under the master lock while the re-read of the service's
    // copy is taken over: every member the re-read sets is set under that lock too.
    std::shared_ptr<TeamData> good = teamDatum(8, "Satellite Policy", R"({"version":"1.0.260","skey_flag":27})");
    FakeTransport::install([&](const CommIO& io) {
        return endswith(io.url, "/teamdata/8/") ? FakeReply(200, serviceReply(*good)) : FakeReply{};
    });
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0};
    std::shared_ptr<TeamData> stale;
    {
        LockScope lock(masterMutex);
        stale = teamDatum(8, "Satellite Policy", R"({"version":"1.0.260","skey_flag":31})", false);
        myTeamDatas->assign({stale});
    }
    std::thread reader([&] {
        while (!stop) {
            LockScope lock(masterMutex);
            for (const std::shared_ptr<TeamData>& datum : *myTeamDatas)
                if (datum->verified >= 0 || datum->remoteDirty) ++reads;
        }
    });
    for (int i = 0; i < 20; ++i) {
        {
            LockScope lock(masterMutex);
            stale->verified = 0;
            stale->signature = "V2-stale";
        }
        updatePolicy();
        LockScope lock(masterMutex);
        EXPECT_EQ(stale->verified, 1);
        EXPECT_EQ(stale->signature, good->signature);
    }
    while (reads.load() == 0) std::this_thread::yield();
    stop = true;
    reader.join();
    EXPECT_EQ(globalState.satellitePolicy.skey_flag, 27);
}

TEST_F(PolicyUpdate, DatumCheckedWhileASynchronizationMergesNewerCopies) {
    // Another thread merges the service's newer copies into the held datum under the master lock
    // while the policy is applied: the signature check reads the datum under that lock too.
    const std::shared_ptr<TeamData> copies[] = {
        teamDatum(4, "Satellite Policy", R"({"version":"1.0.260","skey_flag":27})"),
        teamDatum(4, "Satellite Policy", R"({"version":"1.0.260","skey_flag":26,"offline_access_hours":5})",
                  true, "2024-05-02T10:00:00Z"),
    };
    std::shared_ptr<TeamData> held;
    {
        LockScope lock(masterMutex);
        held = std::make_shared<TeamData>(*copies[0]);
        myTeamDatas->assign({held});
    }
    std::atomic<bool> stop{false};
    std::atomic<int> merges{0};
    std::thread merger([&] {
        for (size_t i = 0; !stop; ++i) {
            TeamData fresh = *copies[i % 2];
            LockScope lock(masterMutex);
            held->copyUpdate(fresh);
            ++merges;
        }
    });
    while (merges.load() < 2) std::this_thread::yield();
    for (int i = 0; i < 400; ++i) updatePolicy();
    stop = true;
    merger.join();
    {
        LockScope lock(masterMutex);
        held->verified = 0;
    }
    updatePolicy();
    EXPECT_EQ(held->verified, 1);
    EXPECT_TRUE(problemMessages().empty());
    EXPECT_TRUE(FakeTransport::exchanges().empty());
}

TEST_F(PolicyUpdate, MfaPolicyReplacesTheGlobalOneAndKeepsTheClientVerification) {
    globalState.mfaPolicy.setClientVerified(kStart - 10, 600);
    hold({teamDatum(1, "MFAPolicy", R"({"required":true,"login":{"mode":1,"gracePeriod":300},"totp":{"allowed":true}})"),
          teamDatum(2, "Other", "ignored")});
    updatePolicy();
    const MfaPolicy& policy = globalState.mfaPolicy;
    EXPECT_TRUE(policy.getValid());
    EXPECT_TRUE(policy.required);
    ASSERT_EQ(policy.requirements.count("login"), 1u);
    EXPECT_TRUE(policy.requirements.at("login").getClientProtected());
    EXPECT_EQ(policy.requirements.at("login").getGracePeriod(), 300);
    EXPECT_TRUE(policy.totpPolicy.allowed);
    EXPECT_EQ(policy.clientVerifiedTime, kStart - 10);
    EXPECT_EQ(policy.clientVerifiedDuration, 600);

    // A forged datum makes the policy refuse everything, with the client verification kept.
    hold({teamDatum(3, "MFAPolicy", R"({"required":false})", false)});
    FakeTransport::answerAll(FakeReply(404, R"({"Message":"gone"})"));
    EXPECT_THROW(updatePolicy(), VxMetaException); // the re-fetch fails, and that failure passes
    FakeTransport::install([](const CommIO& io) {
        return endswith(io.url, "/teamdata/3/") ? FakeReply(200, serviceReply(*teamDatum(3, "MFAPolicy", "{}", false))) : FakeReply{};
    });
    updatePolicy();
    EXPECT_FALSE(globalState.mfaPolicy.getValid());
    EXPECT_EQ(globalState.mfaPolicy.clientVerifiedTime, kStart - 10);
    EXPECT_THROW(globalState.mfaPolicy.checkValid(), VxMetaException);
}

TEST_F(PolicyUpdate, CheckedRecordsAreNotCheckedAgain) {
    std::shared_ptr<TeamData> record = teamDatum(9, "MFAPolicy", "{}");
    record->verified = 1;
    record->signature = "V2-broken";
    checkSignature(*record);
    EXPECT_EQ(record->verified, 1);
    record->verified = 2;
    checkSignature(*record);
    checkSignature(*record);
    EXPECT_EQ(record->verified, 2);
    EXPECT_EQ(problemMessages().size(), 2u);
    EXPECT_TRUE(FakeTransport::exchanges().empty());
}

TEST_F(PolicyUpdate, ASignerLookUpThatFailsLeavesTheRecordUncheckedInsteadOfInvalid) {
    // A user record of another identity, signed by it; the directory does not hold that identity.
    logIn();
    const std::string otherUrn = "urn:vx:user/other";
    const std::string recordText = R"({"revision":1})";
    Json::Value reply;
    reply["id"] = 5;
    reply["owner"] = otherUrn;
    reply["record"] = json(recordText);
    reply["signature"] = signTextOther(recordText, serviceKeys().privateKey);
    auto record = std::make_shared<User>();
    ASSERT_TRUE(record->fromJSON(jsonString(reply)));

    Json::Value identity;
    identity["id"] = 31;
    identity["record"]["urn"] = otherUrn;
    identity["record"]["pubkey"] = serviceKeys().publicKey;
    identity["record"]["revision"] = 1;
    identity["signature"] = signTextOther(jsonString(identity["record"]), serviceKeys().privateKey);
    bool directoryAnswers = false;
    FakeTransport::install([&](const CommIO& io) {
        if (io.url.find("/xpid?urn=") != std::string::npos) {
            return directoryAnswers ? FakeReply(200, jsonString(identity))
                                    : FakeReply(200, "<html>a proxy's page</html>");
        }
        if (io.url.ends_with("/user/5/")) return FakeReply(200, jsonString(reply));
        return FakeReply(404, R"({"Message":"not found"})");
    });

    // The look-up fails for a moment: the failure is passed on, and the record is neither marked
    // invalid nor reported as a synchronization problem.
    EXPECT_THROW(checkSignature(*record), VxMetaException);
    EXPECT_EQ(record->verified, 0);
    EXPECT_TRUE(problemMessages().empty());

    // The next check finds the signer and the record valid.
    directoryAnswers = true;
    checkSignature(*record);
    EXPECT_EQ(record->verified, 1);
    EXPECT_TRUE(problemMessages().empty());
}

TEST(MfaPolicyOfTeamData, ContentReadsLeniently) {
    struct Case {
        const char* value;
        std::function<void(const MfaPolicy&)> check;
    };
    const Case cases[] = {
        {"not json",
         [](const MfaPolicy& p) {
             EXPECT_TRUE(p.getValid());
             EXPECT_FALSE(p.required);
             EXPECT_TRUE(p.requirements.empty());
             EXPECT_EQ(p.totpPolicy.messagePrompt, MFA_TOTP_POLICY_MESSAGE_PROMPT_DEFAULT);
         }},
        {R"({"required":"true","encrypt":{"mode":3},"decrypt":{"mode":2,"gracePeriod":60.0},"login":{}})",
         [](const MfaPolicy& p) {
             EXPECT_FALSE(p.required);
             EXPECT_TRUE(p.requirements.at("encrypt").getClientProtected());
             EXPECT_TRUE(p.requirements.at("encrypt").secondFlag);
             EXPECT_FALSE(p.requirements.at("decrypt").getClientProtected());
             EXPECT_TRUE(p.requirements.at("decrypt").secondFlag);
             EXPECT_EQ(p.requirements.at("decrypt").getGracePeriod(), 60);
             EXPECT_EQ(p.requirements.count("login"), 0u);
         }},
        {R"({"notifyUserToAddMFA":true,"certificate":{"allowed":true,"issuerFilter":"a,,b","subjectFilter":"","messageNoPairsInstalled":"Insert"},"totp":{"messagePrompt":""}})",
         [](const MfaPolicy& p) {
             EXPECT_TRUE(p.notifyUserToAddMfa);
             EXPECT_TRUE(p.certificatePolicy.allowed);
             EXPECT_EQ(p.certificatePolicy.issuerFilters, (std::vector<std::string>{"a", "", "b"}));
             EXPECT_EQ(p.certificatePolicy.subjectFilters, std::vector<std::string>{""});
             EXPECT_EQ(p.certificatePolicy.messageNoPairsInstalled, "Insert");
             EXPECT_EQ(p.certificatePolicy.policyId, "MFAPolicy-policy-7:2024-05-01T10:00:00Z");
             EXPECT_EQ(p.totpPolicy.messagePrompt, MFA_TOTP_POLICY_MESSAGE_PROMPT_DEFAULT);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        std::shared_ptr<TeamData> record = teamDatum(1, "MFAPolicy", c.value);
        record->verified = 1;
        c.check(MfaPolicy::fromTeamData(*record));
    }
    std::shared_ptr<TeamData> unchecked = teamDatum(1, "MFAPolicy", R"({"required":true})");
    EXPECT_FALSE(MfaPolicy::fromTeamData(*unchecked).getValid());
    EXPECT_FALSE(MfaCertificatePolicy::fromTeamData(*unchecked).getValid());
    EXPECT_FALSE(MfaTotpPolicy::fromTeamData(*unchecked).getValid());
    EXPECT_TRUE(MfaPolicy().getValid());
}

} // namespace
