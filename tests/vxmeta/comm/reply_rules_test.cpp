#include "support/fake_transport.h"

#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/mfa_header.h"
#include "vxmeta/comm/mfa_retry_model.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/log.h"

using namespace VxMeta;
using namespace VxMeta::testing;
using TarvexProtocol::Url;

namespace {

const TarvexProtocol::UrlPtr kServer = Url::newInstance("https://one.example/mds", "");
const std::string kTarget = "https://one.example/mds/api/v1.0/x";

class ReplyRules : public PipelineTest {
protected:
    // The failure of one GET of "x" answered with `reply` (fails the test when it succeeds).
    VxMetaException failureOf(const FakeReply& reply, bool useAccessToken = true) {
        FakeTransport::answerAll(reply);
        VCSR executor;
        executor.setPrefix(kServer);
        executor.useAccessToken = useAccessToken;
        try {
            executor.get("x");
        } catch (const VxMetaException& e) {
            EXPECT_EQ(executor.lastStatus, reply.status);
            return e;
        }
        ADD_FAILURE() << "the request succeeded";
        return VxMetaException("", "");
    }
};

struct StatusCase {
    int32_t status;
    const char* body;
    const char* transportError;
    const char* category;
    std::string message;
    const char* reason;
    bool keepsBody;
};

TEST_F(ReplyRules, StatusBodyAndTransportErrorMapToFailures) {
    const std::string blank = "HTTP Response for " + kTarget + " is completely blank!";
    const std::string deep(1100, '[');
    const std::string deepError = R"({"Message":"m","reason":)" + std::string(1100, '[');
    const StatusCase cases[] = {
        {0, "", "Device is most likely offline", VXMECAT_COMMUNICATION_ERROR, "Device is most likely offline", "", false},
        {404, "", "  no route to host \n", VXMECAT_COMMUNICATION_ERROR, "no route to host", "", false},
        {503, "", "", VXMECAT_COMMUNICATION_ERROR, "Service is unavailable - probably down for maintenance", "", false},
        {503, R"({"Message":"m","reason":"r"})", "", VXMECAT_COMMUNICATION_ERROR,
         "Service is unavailable - probably down for maintenance", "", false},
        {500, "<html>oops</html>", "", VXMECAT_HTTP, "", "", false},
        {502, "", "", VXMECAT_HTTP, "", "", false},
        {502, R"({"Message":"bad gateway","reason":"x"})", "", VXMECAT_HTTP, "bad gateway", "x", true},
        {500, "[1,2]", "", VXMECAT_HTTP, "", "", false},
        {200, "", "", VXMECAT_PROTOCOL, blank, "", false},
        {204, "", "", VXMECAT_PROTOCOL, blank, "", false},
        {200, "<html></html>", "", VXMECAT_PROTOCOL, "HTTP Response is malformed", "", true},
        {400, R"({"Message":"bad","reason":"Nope"})", "", VXMECAT_HTTP, "bad", "Nope", true},
        {404, R"({"Message":"gone"})", "", VXMECAT_HTTP, "gone", "", true},
        {400, R"({"Message":5,"reason":true})", "", VXMECAT_HTTP, "5", "true", true},
        // Not an error object, or members of the wrong type: malformed, never a JSON library error.
        {409, "[1,2]", "", VXMECAT_PROTOCOL, "HTTP Response is malformed", "", true},
        {400, "17", "", VXMECAT_PROTOCOL, "HTTP Response is malformed", "", true},
        {400, R"({"Message":{"a":1},"reason":"r"})", "", VXMECAT_PROTOCOL, "HTTP Response is malformed", "", true},
        {403, R"({"Message":"m","reason":["Upgrade"]})", "", VXMECAT_PROTOCOL, "HTTP Response is malformed", "", true},
        {403, R"({"Message":"m","reason":"Upgrade","url":{}})", "", VXMECAT_PROTOCOL, "HTTP Response is malformed",
         "Upgrade", true},
        // Nested deeper than the reader allows, or not UTF-8: malformed, never an escaped reader error.
        {200, deep.c_str(), "", VXMECAT_PROTOCOL, "HTTP Response is malformed", "", true},
        {200, "{\"name\":\"caf\xe9\"}", "", VXMECAT_PROTOCOL, "HTTP Response is malformed", "", true},
        {404, deepError.c_str(), "", VXMECAT_PROTOCOL, "HTTP Response is malformed", "", true},
        {500, deep.c_str(), "", VXMECAT_HTTP, "", "", false},
    };
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.status) + " " + c.body + " [" + c.transportError + "]");
        VxMetaException e = failureOf(FakeReply(c.status, c.body, c.transportError));
        EXPECT_EQ(e.category, c.category);
        EXPECT_EQ(e.message, c.message);
        EXPECT_EQ(e.httpStatus, c.status);
        EXPECT_EQ(e.reason, c.reason);
        EXPECT_EQ(e.request, "GET " + kTarget + "\n");
        EXPECT_EQ(e.response, c.keepsBody ? c.body : "");
    }
}

TEST_F(ReplyRules, RequestTextCarriesThePostedBody) {
    FakeTransport::answerAll(FakeReply(400, R"({"Message":"no"})"));
    VCSR executor;
    executor.setPrefix(kServer);
    try {
        executor.post("x", R"({"a":1})");
        FAIL();
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.request, "POST " + kTarget + "\n" + R"({"a":1})" + "\n");
    }
}

TEST_F(ReplyRules, MalformedBodyIsLoggedCutAt50Characters) {
    LogCapture log(1);
    failureOf(FakeReply(200, std::string(60, 'x')));
    failureOf(FakeReply(200, std::string(50, 'y')));
    EXPECT_TRUE(log.contains("BAD HTTP Response text: " + std::string(50, 'x') + "(...)"));
    EXPECT_TRUE(log.contains("BAD HTTP Response text: " + std::string(50, 'y')));
}

TEST_F(ReplyRules, RefusalReasonsOf403) {
    struct ReasonCase {
        const char* reason;
        const char* category;
    };
    const ReasonCase cases[] = {
        {"Incorrect Credentials", VXMECAT_HTTP},
        {"MFA Token Required", VXMECAT_MFA_TOKEN_REQUIRED},
        {"MFA Token Invalid", VXMECAT_MFA_TOKEN_INVALID},
        {"MFA Denied", VXMECAT_MFA_DENIED},
        {"Migration Required", VXMECAT_MIGRATION_REQUIRED},
        {"Account Disabled", VXMECAT_ACCOUNT_DISABLED},
        {"Device Disabled", VXMECAT_DEVICE_NOT_ALLOWED},
        {"Not Managed", VXMECAT_NOT_MANAGED},
        {"Policy Violation", VXMECAT_POLICY_VIOLATION},
        {"MFA Required", VXMECAT_MFA_REQUIRED},
        {"Something Else", VXMECAT_HTTP},
    };
    for (const ReasonCase& c : cases) {
        SCOPED_TRACE(c.reason);
        std::string body = std::string(R"({"Message":"refused","email":"new@example.com","reason":")") + c.reason + "\"}";
        VxMetaException e = failureOf(FakeReply(403, body));
        EXPECT_EQ(e.category, c.category);
        EXPECT_EQ(e.message, "refused");
        EXPECT_EQ(e.reason, c.reason);
        EXPECT_EQ(e.httpStatus, 403);
        EXPECT_EQ(e.response, body);
        // A device that a refusal disabled stays refused; the next case starts from a fresh dataset.
        mdClearAll(false);
    }
    VxMetaException upgrade = failureOf(FakeReply(403, R"({"Message":"old","reason":"Upgrade","url":"https://get"})"));
    EXPECT_EQ(upgrade.category, VXMECAT_FORCEDUPGRADE);
    EXPECT_EQ(upgrade.upgradeUrl, "https://get");
}

TEST_F(ReplyRules, RefusalsThatLogOutOrResetTheDataset) {
    struct EffectCase {
        const char* reason;
        const char* application;
        bool tokensCleared;
        bool datasetReset;
    };
    const EffectCase cases[] = {
        {"Incorrect Credentials", "Reader", true, false},
        {"Account Disabled", "Reader", true, true},
        {"Account Disabled", "MDS", false, false}, // the service's own application keeps its dataset
        {"Device Disabled", "Reader", true, true},
        {"Not Managed", "Reader", false, false},
    };
    for (const EffectCase& c : cases) {
        SCOPED_TRACE(std::string(c.reason) + " / " + c.application);
        mdClearAll(false);
        appName = c.application;
        ClusterServersPtr registry = getMyClusterServers();
        registry->getServerForUrl(kServer)->setAccessToken("V2 t");
        failureOf(FakeReply(403, std::string(R"({"Message":"m","reason":")") + c.reason + "\"}"));
        EXPECT_EQ(getMyClusterServers() != registry, c.datasetReset);
        EXPECT_EQ(getMyClusterServers()->getServerForUrl(kServer)->getAccessToken().empty(), c.tokensCleared);
    }
    appName.clear();
}

TEST_F(ReplyRules, MfaTimestampHeaderIsStoredFromEveryReply) {
    failureOf(FakeReply(404, R"({"Message":"m"})", "", {{"x-vx-mfa-tu", R"({"at":12})"}}));
    EXPECT_EQ(jsonString(mfaTimestamp()), R"({"at":12})");
    FakeTransport::answerAll(FakeReply(200, "{}"));
    VCSR executor;
    executor.setPrefix(kServer);
    executor.get("x");
    EXPECT_EQ(FakeTransport::exchanges().back().headers.at("X-VX-MFA"), R"({"etag":0,"protocol":3,"timestamp":{"at":12}})");
    // A value that does not parse, whole, replaces the stored one by null.
    const std::string deep(1100, '[');
    for (const char* unparsable : {"not json", R"({"at":12,)", "[1,2", R"({"at":{"b":1})", deep.c_str(), "{\"at\":\"\xff\"}"}) {
        SCOPED_TRACE(unparsable);
        FakeTransport::answerAll(FakeReply(200, "{}", "", {{"X-VX-MFA-TU", R"({"at":5})"}}));
        executor.get("x");
        ASSERT_EQ(jsonString(mfaTimestamp()), R"({"at":5})");
        FakeTransport::answerAll(FakeReply(200, "{}", "", {{"X-VX-MFA-TU", unparsable}}));
        executor.get("x");
        EXPECT_TRUE(mfaTimestamp().isNull()) << jsonString(mfaTimestamp());
    }
}

// A stand-in service for the re-authorization: "x" is refused with `refusal` unless it carries the
// token the challenge handed out; the challenge pair answers as configured.
struct ChallengeService {
    int32_t refusal = 401;
    int32_t challengeStatus = 200;
    bool refuseReissue = false;
    int challenges = 0;
    int answers = 0;
    std::string answerBody;

    FakeReply operator()(const CommIO& io) {
        if (io.url.find("/challenge?urn=") != std::string::npos) {
            ++challenges;
            if (challengeStatus != 200) return FakeReply(challengeStatus, "");
            return FakeReply(200, R"({"challenge":"c-1","extra":[1]})");
        }
        if (io.url.ends_with("/challenge")) {
            ++answers;
            answerBody = FakeTransport::requestText(io);
            return FakeReply(200, R"({"access_token":"fresh","id":9})");
        }
        auto auth = io.headers.find("Authorization");
        if (!refuseReissue && auth != io.headers.end() && auth->second == "V2 fresh") return FakeReply(200, R"({"ok":true})");
        return FakeReply(refusal, R"({"Message":"token refused"})");
    }
};

TEST_F(ReplyRules, RefusedTokenIsRenewedOnceAndTheRequestReissued) {
    for (int32_t status : {401, 498}) {
        SCOPED_TRACE(status);
        mdClearAll(false);
        getMyClusterServers()->getServerForUrl(kServer)->setAccessToken("V2 stale");
        auto service = std::make_shared<ChallengeService>();
        service->refusal = status;
        FakeTransport::install([service](const CommIO& io) { return (*service)(io); });
        VCSR executor;
        executor.setPrefix(kServer);
        EXPECT_EQ(executor.get("x"), R"({"ok":true})");
        EXPECT_EQ(service->challenges, 1);
        EXPECT_EQ(service->answers, 1);
        EXPECT_TRUE(executor.useAccessToken);
        EXPECT_EQ(executor.authorization, "V2 fresh");
        EXPECT_EQ(getMyClusterServers()->getServerForUrl(kServer)->getAccessToken(), "V2 fresh");
        // The answer repeats the challenge reply, members this client does not read included.
        Json::Value answer = parseJson(service->answerBody);
        EXPECT_EQ(answer["challenge"].asString(), "c-1");
        EXPECT_EQ(jsonString(answer["extra"]), "[1]");
        EXPECT_TRUE(answer.isMember("email"));
        auto& seen = FakeTransport::exchanges();
        ASSERT_EQ(seen.size(), 4u);
        EXPECT_EQ(seen[0].headers.at("Authorization"), "V2 stale");
        EXPECT_EQ(seen[1].headers.count("Authorization"), 0u); // the challenge goes without a token
        EXPECT_EQ(seen[3].headers.at("Authorization"), "V2 fresh");
    }
}

TEST_F(ReplyRules, SecondRefusalIsMappedAndTheTokenFlagComesBack) {
    auto service = std::make_shared<ChallengeService>();
    service->refuseReissue = true;
    FakeTransport::install([service](const CommIO& io) { return (*service)(io); });
    VCSR executor;
    executor.setPrefix(kServer);
    try {
        executor.get("x");
        FAIL();
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_HTTP);
        EXPECT_EQ(e.message, "token refused");
        EXPECT_EQ(e.httpStatus, 401);
    }
    EXPECT_EQ(service->challenges, 1);
    EXPECT_TRUE(executor.useAccessToken);

    // A failed re-authorization is the request's failure and leaves the flag set as well.
    service->refuseReissue = false;
    service->challengeStatus = 500;
    getMyClusterServers()->getServerForUrl(kServer)->setAccessToken("V2 stale");
    EXPECT_THROW(executor.get("x"), VxMetaException);
    EXPECT_EQ(service->challenges, 2);
    EXPECT_TRUE(executor.useAccessToken);
}

TEST_F(ReplyRules, WithoutTheTokenFlagARefusedTokenIsNotRenewed) {
    auto service = std::make_shared<ChallengeService>();
    FakeTransport::install([service](const CommIO& io) { return (*service)(io); });
    VCSR executor;
    executor.setPrefix(kServer);
    executor.useAccessToken = false;
    EXPECT_THROW(executor.get("x"), VxMetaException);
    EXPECT_EQ(service->challenges, 0);
}

// The MFA model of a test: answers with the listed tokens in turn.
struct ScriptedMfa {
    bool canDo = true;
    std::string refusalReason;
    std::vector<std::string> answers;
    bool launchRemotely = false;
    int waits = 0;
    int certificateRefusals = 0;
    int launches = 0;
    std::string challenge;
};

std::shared_ptr<ScriptedMfa> script;

class ScriptedModel : public MfaRetryModel {
public:
    bool canDoVerification(std::string& reason) override {
        reason = script->refusalReason;
        return script->canDo;
    }
    void wait() override {
        token = script->waits < static_cast<int>(script->answers.size()) ? script->answers[script->waits] : "";
        ++script->waits;
    }
    bool getShouldLaunchCreateRemotely() const override { return script->launchRemotely; }
    void launchCreateTotpPairInBrowser() override { ++script->launches; }
    std::string getToken() const override { return token; }
    MfaHeaderFields headerFields() const override {
        MfaHeaderFields fields;
        fields.token = token;
        fields.pairId = 3;
        fields.challenge = script->challenge;
        return fields;
    }
    void certificateRefused() override {
        ++script->certificateRefusals;
        token.clear();
    }

private:
    std::string token;
};

std::unique_ptr<MfaRetryModel> scriptedFactory(const Json::Value& refusal, std::string&) {
    if (refusal["policy"].asString() == "invalid") throw VxMetaException(VXMECAT_INVALID_SIGNATURE, "policy");
    script->challenge = refusal["challenge"].asString();
    return std::make_unique<ScriptedModel>();
}

// A service that demands MFA until the "X-VX-MFA" header carries the token "good".
FakeReply mfaService(const CommIO& io) {
    Json::Value header = parseJson(io.headers.at("X-VX-MFA"));
    std::string token = header["token"].asString();
    if (token == "good") return FakeReply(200, R"({"done":true})");
    if (token == "cert") return FakeReply(403, R"({"Message":"certificate","reason":"MFA Certificate Invalid"})");
    if (!token.empty()) return FakeReply(403, R"({"Message":"wrong","reason":"MFA Token Invalid"})");
    return FakeReply(403, R"({"Message":"need mfa","reason":"MFA Required","challenge":"ch-7"})");
}

TEST_F(ReplyRules, MfaDemandWithoutAModelIsReported) {
    FakeTransport::install(mfaService);
    VxMetaException e = failureOf(FakeReply(403, R"({"Message":"need mfa","reason":"MFA Required"})"));
    EXPECT_EQ(e.category, VXMECAT_MFA_REQUIRED);
    EXPECT_EQ(e.message, "need mfa");
    EXPECT_EQ(e.reason, "MFA Required");
}

TEST_F(ReplyRules, MfaRetryAsksUntilTheAnswerIsAcceptedOrRepeated) {
    struct MfaCase {
        const char* name;
        bool canDo;
        std::string refusalReason;
        std::vector<std::string> answers;
        bool succeeds;
        const char* message; // of the failure
        int waits;
        int certificateRefusals;
    };
    const MfaCase cases[] = {
        {"cannot verify", false, "", {}, false, "need mfa", 0, 0},
        {"cannot verify, policy text", false, "Please set up MFA", {}, false, "Please set up MFA", 0, 0},
        {"no answer", true, "", {""}, false, "need mfa", 1, 0},
        {"same wrong answer twice", true, "", {"bad", "bad"}, false, "need mfa", 2, 0},
        {"wrong, then right", true, "", {"bad", "good"}, true, "", 2, 0},
        {"certificate refused, then right", true, "", {"cert", "good"}, true, "", 2, 1},
    };
    mfaRetryModelFactory = &scriptedFactory;
    for (const MfaCase& c : cases) {
        SCOPED_TRACE(c.name);
        script = std::make_shared<ScriptedMfa>();
        script->canDo = c.canDo;
        script->refusalReason = c.refusalReason;
        script->answers = c.answers;
        FakeTransport::install(mfaService);
        VCSR executor;
        executor.setPrefix(kServer);
        try {
            EXPECT_EQ(executor.get("x"), R"({"done":true})");
            EXPECT_TRUE(c.succeeds);
        } catch (const VxMetaException& e) {
            EXPECT_FALSE(c.succeeds);
            EXPECT_EQ(e.category, VXMECAT_MFA_REQUIRED);
            EXPECT_EQ(e.message, c.message);
            EXPECT_EQ(e.httpStatus, 403);
        }
        EXPECT_EQ(script->waits, c.waits);
        EXPECT_EQ(script->certificateRefusals, c.certificateRefusals);
        // Every reissue answers the service's challenge.
        for (std::size_t i = 1; i < FakeTransport::exchanges().size(); ++i) {
            Json::Value header = parseJson(FakeTransport::exchanges()[i].headers.at("X-VX-MFA"));
            EXPECT_EQ(header["challenge"].asString(), "ch-7");
            EXPECT_EQ(header["pairId"].asInt(), 3);
        }
    }
}

TEST_F(ReplyRules, MfaRetryEndsOnARemotePairingOrAnInvalidPolicy) {
    mfaRetryModelFactory = &scriptedFactory;
    script = std::make_shared<ScriptedMfa>();
    script->launchRemotely = true;
    script->answers = {"good"};
    VxMetaException launched = failureOf(FakeReply(403, R"({"Message":"need mfa","reason":"MFA Required"})"));
    EXPECT_EQ(launched.category, VXMECAT_MFA_REQUIRED);
    EXPECT_EQ(script->launches, 1);

    VxMetaException invalid = failureOf(FakeReply(403, R"({"Message":"m","reason":"MFA Required","policy":"invalid"})"));
    EXPECT_EQ(invalid.category, VXMECAT_INVALID_SIGNATURE);
}

} // namespace
