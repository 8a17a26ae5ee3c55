// Challenge authorization over the in-process transport: the answer for a password account and a
// key-pair account, the members of the challenge reply echoed, the device and application members,
// the id-0 path, and the token kept for the server (and none kept from a reply without one).
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <limits>
#include <thread>
#include <vector>

#include "support/access_fixture.h"
#include "support/fails_with.h"

#include "vxmeta/access/credentials.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/crypto/digests.h"
#include "vxmeta/crypto/rsa_encryption.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/crypto/simple_aes.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/device.h"

using namespace VxMeta;
using namespace VxMeta::testing;
using namespace VxMetaTest;

namespace {

const TarvexProtocol::UrlPtr kServer = TarvexProtocol::Url::newInstance("https://one.example/mds", "");

class ChallengeAuthorization : public AccessTest {
protected:
    void SetUp() override {
        AccessTest::SetUp();
        setMds(kServer->baseUrl, serviceKeys().publicKey);
        logIn("urn:vx:user/a b");
    }

    // The service: `challengeReply` for the GET, `tokenReply` for the POST.
    void serve(const std::string& challengeReply, const std::string& tokenReply = R"({"access_token":"tok","id":42})") {
        FakeTransport::install([=](const CommIO& io) {
            return FakeReply(200, io.method == "GET" ? challengeReply : tokenReply);
        });
    }
    // The challenge requests (the cluster's change tag is asked for before the first request).
    static std::vector<CommIO> challengeRequests() {
        std::vector<CommIO> found;
        for (const CommIO& io : FakeTransport::exchanges())
            if (io.url.find("/api/v1.0/challenge") != std::string::npos) found.push_back(io);
        return found;
    }
    static CommIO request(size_t i) { return challengeRequests().at(i); }
    static std::string serverToken() { return getMyClusterServers()->getServerForUrl(kServer)->getAccessToken(); }

    HostIdentity host; // built before SetUp, restored after TearDown
};

TEST_F(ChallengeAuthorization, PasswordAccountAnswersWithTheLoginTokenAndTheCredentialsSignature) {
    const Json::Value& v = credentialVectors()["cases"][0];
    globalState.credentials.setPassword(v["password"].asString());
    globalState.credentials.setParameters("urn:vx:user/a b", v["salt"].asString(), v["rounds"].asInt(), "");
    globalState.credentials.setSavedPrivateKey(userKeys().privateKey);
    Json::Value reply;
    reply["challenge"] = "the challenge";
    reply["loginSalt"] = v["salt"];
    reply["loginRounds"] = v["rounds"];
    reply["unknown"]["kept"] = Json::Value(Json::arrayValue);
    reply["unknown"]["kept"].append(1);
    serve(jsonString(reply));

    VCSR executor;
    EXPECT_EQ(executor.getAccessToken(42, "ignored@example.test"), 42);

    ASSERT_EQ(challengeRequests().size(), 2u);
    EXPECT_EQ(request(0).method, "GET");
    EXPECT_EQ(request(0).url, kServer->baseUrl + "/api/v1.0/challenge?urn=" + urlencode("urn:vx:user/a b"));
    EXPECT_EQ(request(1).method, "POST");
    EXPECT_TRUE(endswith(request(1).url, "/api/v1.0/challenge"));
    for (size_t i = 0; i < 2; ++i) EXPECT_EQ(request(i).headers.count("Authorization"), 0u);
    EXPECT_TRUE(endswith(bodyText(request(1)), "}\n"));

    Json::Value answer = bodyJson(request(1));
    EXPECT_EQ(RSAdecryptOther(answer["loginToken"].asString(), serviceKeys().privateKey, 4), v["token"].asString());
    EXPECT_TRUE(verifyText("the challenge", answer["signature"].asString(), userKeys().publicKey));
    EXPECT_EQ(answer["signature"].asString(), globalState.credentials.getSignature());
    answer.removeMember("loginToken");
    answer.removeMember("signature");
    Json::Value expected = reply;
    expected["id"] = 42;
    expected["appName"] = "Reader";
    expected["appVersion"] = "1.2";
    expected["deviceName"] = "desk";
    expected["platform"] = "Linux";
    EXPECT_EQ(jsonString(answer), jsonString(expected));

    EXPECT_EQ(executor.authorization, "V2 tok");
    EXPECT_FALSE(executor.useAccessToken);
    EXPECT_EQ(serverToken(), "V2 tok");
    EXPECT_EQ(globalState.credentials.getChallenge(), "the challenge");

    // Every later request to the server carries the token.
    FakeTransport::answerAll(FakeReply{});
    VCSR later;
    later.setPrefix(kServer);
    later.get("x");
    EXPECT_EQ(FakeTransport::exchanges().back().headers.at("Authorization"), "V2 tok");
}

TEST_F(ChallengeAuthorization, TheServersRoundCountIsDerivedWithoutTheMasterLock) {
    // The server chooses how long the key derivation runs; meanwhile every other thread must still
    // get the master lock. Rounds for about a second of derivation on this machine:
    using std::chrono::steady_clock;
    const std::string salt = "c2FsdCBvZiB0aGUgbG9naW4=";
    const auto sampleStart = steady_clock::now();
    PBKDF2_HMAC_SHA256("pw", salt, 20000, 32);
    const double perRound = std::chrono::duration<double>(steady_clock::now() - sampleStart).count() / 20000;
    const auto rounds = static_cast<int32_t>(std::clamp(1.0 / perRound, 100000.0, double(kMaxPasswordRounds)));
    const auto derivation = std::chrono::duration<double>(perRound * rounds);

    globalState.credentials.setPassword("pw");
    globalState.credentials.setSavedPrivateKey(userKeys().privateKey);
    Json::Value reply;
    reply["challenge"] = "the challenge";
    reply["loginSalt"] = salt;
    reply["loginRounds"] = rounds;
    serve(jsonString(reply));

    std::atomic<bool> done{false};
    std::string failure;
    std::thread authorizing([&] {
        try {
            VCSR executor;
            executor.getAccessToken(42, "");
        } catch (const std::exception& e) {
            failure = e.what();
        }
        done = true;
    });
    steady_clock::duration longest{0};
    while (!done) {
        const auto start = steady_clock::now();
        {
            LockScope lock(masterMutex);
        }
        longest = std::max(longest, steady_clock::now() - start);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    authorizing.join();
    ASSERT_EQ(failure, "");
    EXPECT_LT(std::chrono::duration<double>(longest).count(), derivation.count() / 2)
        << "derivation of " << rounds << " rounds takes about " << derivation.count() << " s";

    // The key derived outside the lock is the one the credentials keep and the login token is made of.
    EXPECT_EQ(globalState.credentials.getKey(), PBKDF2_HMAC_SHA256("pw", salt, rounds, 32));
    EXPECT_EQ(globalState.credentials.getLoginRounds(), rounds);
    const Json::Value answer = bodyJson(request(1));
    EXPECT_EQ(RSAdecryptOther(answer["loginToken"].asString(), serviceKeys().privateKey, 4),
              globalState.credentials.getLoginToken(std::string()));
}

TEST_F(ChallengeAuthorization, RoundCountsAboveTheBoundAreRefusedBeforeAnyDerivation) {
    // Without the bound the largest count holds this thread for hours; refused, nothing is answered
    // and the server keeps no token.
    globalState.credentials.setPassword("pw");
    globalState.credentials.setSavedPrivateKey(userKeys().privateKey);
    for (const int32_t rounds : {kMaxPasswordRounds + 1, std::numeric_limits<int32_t>::max()}) {
        SCOPED_TRACE(rounds);
        FakeTransport::exchanges().clear();
        getMyClusterServers()->getServerForUrl(kServer)->setAccessToken("V2 old");
        Json::Value reply;
        reply["challenge"] = "the challenge";
        reply["loginSalt"] = "c2FsdA==";
        reply["loginRounds"] = rounds;
        serve(jsonString(reply));
        VCSR executor;
        EXPECT_TRUE(failsWith([&] { executor.getAccessToken(42, ""); }, VXMECAT_INTERNAL,
                              "Cannot get credential key - login rounds must be <= 5000000"));
        EXPECT_EQ(challengeRequests().size(), 1u) << "only the challenge was asked for";
        EXPECT_EQ(serverToken(), "");
        EXPECT_NE(globalState.credentials.getLoginRounds(), rounds);
    }
}

TEST_F(ChallengeAuthorization, KeyPairAccountSignsWithTheLoggedInKeyAndSendsNoToken) {
    serve(R"({"challenge":"c2","loginSalt":"","extra":true})");
    VCSR executor;
    executor.getAccessToken(7, "");
    const Json::Value answer = bodyJson(request(1));
    EXPECT_FALSE(answer.isMember("loginToken"));
    EXPECT_TRUE(verifyText("c2", answer["signature"].asString(), userKeys().publicKey));
    EXPECT_EQ(answer["extra"], true);
    EXPECT_EQ(answer["loginSalt"], "");
    EXPECT_EQ(globalState.credentials.getChallenge(), "");
}

TEST_F(ChallengeAuthorization, IdOrEmailAndTheDeviceMembers) {
    struct Case {
        int64_t accountId;
        int64_t deviceId;
        const char* deviceNameGiven;
        const char* tokenReply;
        int64_t result;
        const char* expectedMembers; // besides "challenge" and "signature"
    };
    const Case cases[] = {
        {42, 9, "desk", R"({"access_token":"t"})", 42,
         R"({"appName":"Reader","appVersion":"1.2","deviceId":9,"id":42,"platform":"Linux"})"},
        {42, 0, "desk", R"({"access_token":"t"})", 42,
         R"({"appName":"Reader","appVersion":"1.2","deviceName":"desk","id":42,"platform":"Linux"})"},
        {42, -1, "", R"({"access_token":"t"})", 42, R"({"appName":"Reader","appVersion":"1.2","id":42,"platform":"Linux"})"},
        {0, 0, "", R"({"access_token":"t","id":77})", 77,
         R"({"appName":"Reader","appVersion":"1.2","email":"me@example.test","platform":"Linux"})"},
        {0, 0, "", R"({"access_token":"t"})", 0,
         R"({"appName":"Reader","appVersion":"1.2","email":"me@example.test","platform":"Linux"})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expectedMembers);
        FakeTransport::exchanges().clear();
        myDevice->id = c.deviceId;
        deviceName = c.deviceNameGiven;
        serve(R"({"challenge":"c"})", c.tokenReply);
        VCSR executor;
        EXPECT_EQ(executor.getAccessToken(c.accountId, "me@example.test"), c.result);
        Json::Value answer = bodyJson(request(1));
        answer.removeMember("challenge");
        answer.removeMember("signature");
        Json::Value expected;
        mayParse(c.expectedMembers, expected);
        EXPECT_EQ(jsonString(answer), jsonString(expected));
    }
}

TEST_F(ChallengeAuthorization, ReplyWithoutATokenFailsAndLeavesTheServerWithout) {
    for (const char* tokenReply : {R"({"id":42})", R"({"access_token":""})", R"({"access_token":null})"}) {
        SCOPED_TRACE(tokenReply);
        getMyClusterServers()->getServerForUrl(kServer)->setAccessToken("V2 old");
        serve(R"({"challenge":"c"})", tokenReply);
        VCSR executor;
        try {
            executor.getAccessToken(42, "");
            ADD_FAILURE() << "a token was taken";
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, VXMECAT_PROTOCOL);
        }
        EXPECT_EQ(serverToken(), "");
        EXPECT_EQ(executor.authorization, "");
    }
}

TEST_F(ChallengeAuthorization, RefusedTokenIsRenewedOnceAndTheRequestReissued) {
    myPID->id = 42;
    getMyClusterServers()->getServerForUrl(kServer)->setAccessToken("V2 old");
    int refusals = 0;
    FakeTransport::install([&](const CommIO& io) {
        if (endswith(io.url, ("/challenge?urn=" + urlencode("urn:vx:user/a b")).c_str())) return FakeReply(200, R"({"challenge":"c"})");
        if (endswith(io.url, "/challenge")) return FakeReply(200, R"({"access_token":"new"})");
        if (io.headers.at("Authorization") == "V2 old") {
            ++refusals;
            return FakeReply(401, R"({"Message":"expired"})");
        }
        return FakeReply(200, R"({"ok":true})");
    });
    VCSR executor;
    executor.setPrefix(kServer);
    EXPECT_EQ(executor.get("x"), R"({"ok":true})");
    EXPECT_EQ(refusals, 1);
    ASSERT_EQ(FakeTransport::exchanges().size(), 4u);
    EXPECT_EQ(FakeTransport::exchanges()[3].headers.at("Authorization"), "V2 new");
    EXPECT_EQ(challengeRequests().size(), 2u);
    EXPECT_EQ(bodyJson(request(1))["id"], 42);
    EXPECT_EQ(lastOnlineTime.load(), kStart);
}

} // namespace
