#include "support/fake_transport.h"

#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/mfa_header.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/comm/vcsr_steps.h"
#include "vxmeta/foundation/comm_log_entry.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"

using namespace VxMeta;
using namespace VxMeta::testing;
using TarvexProtocol::Url;

namespace {

const TarvexProtocol::UrlPtr kServer = Url::newInstance("https://one.example/mds/api/v1.0/", "");

class Executor : public PipelineTest {
protected:
    VCSR fixed() {
        VCSR executor;
        executor.setPrefix(kServer);
        return executor;
    }
};

TEST_F(Executor, FirstRequestCarriesTheProtocolHeadersOnly) {
    appName = "Reader";
    appVersion = "1.2";
    platformType = "Linux";
    appCapabilities = {"b", "a"};
    mfaCapableVerificationKinds.clear();

    VCSR executor = fixed();
    EXPECT_EQ(executor.get("user/"), "{}");
    ASSERT_EQ(FakeTransport::exchanges().size(), 1u);
    const CommIO& io = FakeTransport::exchanges()[0];
    EXPECT_EQ(io.method, "GET");
    EXPECT_EQ(io.url, "https://one.example/mds/api/v1.0/user/");
    EXPECT_EQ(io.headers.at("X-VX-MFA"), R"({"etag":0,"protocol":3})");
    EXPECT_EQ(io.headers.at("X-VX-Capabilities"),
              R"({"AppCapabilities":["a","b"],"AppName":"Reader","AppVersion":"1.2","MetaClientProtocol":0,"Platform":"Linux"})");
    EXPECT_EQ(io.headers.count("Authorization"), 0u);
    EXPECT_TRUE(io.contentType.empty());
    EXPECT_TRUE(io.requestData.empty());

    appCapabilities.clear();
    mfaCapableVerificationKinds = {"TOTP"};
    setMfaTimestamp(parseJson(R"({"t":5})"));
    executor.get("user/");
    const CommIO& second = FakeTransport::exchanges()[1];
    EXPECT_EQ(second.headers.at("X-VX-MFA"), R"({"capabilities":["TOTP"],"etag":0,"protocol":3,"timestamp":{"t":5}})");
    EXPECT_EQ(second.headers.at("X-VX-Capabilities"),
              R"({"AppName":"Reader","AppVersion":"1.2","MetaClientProtocol":0,"Platform":"Linux"})");
    mfaCapableVerificationKinds.clear();
    appName.clear();
    appVersion.clear();
    platformType.clear();
}

TEST_F(Executor, MfaHeaderCarriesAnAnsweredVerification) {
    setMfaTimestamp(Json::Value(Json::arrayValue)); // an empty time stamp is not sent
    MfaHeaderFields answer;
    answer.token = "123456";
    answer.pairId = 77;
    EXPECT_EQ(getMfaHeader(answer), R"({"etag":0,"pairId":77,"protocol":3,"token":"123456"})");
    answer.challenge = "c1";
    answer.newPair = parseJson(R"({"kind":"TOTP"})");
    EXPECT_EQ(getMfaHeader(answer),
              R"({"challenge":"c1","etag":0,"newPair":{"kind":"TOTP"},"pairId":77,"protocol":3,"token":"123456"})");
    answer.token.clear(); // without a token neither the pair id nor the challenge goes out
    EXPECT_EQ(getMfaHeader(answer), R"({"etag":0,"newPair":{"kind":"TOTP"},"protocol":3})");
}

TEST_F(Executor, BodiesAndContentTypeByMethod) {
    VCSR executor = fixed();
    executor.post("user/", R"({"a":1})");
    executor.post("user/", "");
    executor.put("user/1/", "{}");
    executor.del("user/1/");
    auto& seen = FakeTransport::exchanges();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].contentType, "json");
    EXPECT_EQ(FakeTransport::requestText(seen[0]), R"({"a":1})");
    EXPECT_EQ(seen[1].contentType, ""); // a POST with an empty body sends no content type
    EXPECT_TRUE(seen[1].requestData.empty());
    EXPECT_EQ(seen[2].method, "PUT");
    EXPECT_EQ(seen[2].contentType, "json");
    EXPECT_EQ(seen[3].method, "DELETE");
    EXPECT_EQ(seen[3].url, "https://one.example/mds/api/v1.0/user/1/");
    EXPECT_EQ(CommLogEntry::getLast().request, "DELETE https://one.example/mds/api/v1.0/user/1/\n");
}

TEST_F(Executor, ReplyBytesAndErrorTextAreCleaned) {
    FakeTransport::answerAll(FakeReply{200, std::string("{\"a\":\"b\0c\"}\0\0", 13), " \t ", {{"X-Reply", "r"}}});
    VCSR executor = fixed();
    executor.post("x", "{}");
    HttpRequest::Builder builder;
    builder.get().url(kServer->withApiPathAndQuery("x"));
    HttpResponsePtr reply = VCSRSteps::executeNetwork(executor, builder.build());
    EXPECT_EQ(reply->body, std::string("{\"a\":\"b\0c\"}", 11)); // inner zero bytes stay
    EXPECT_EQ(reply->errorMessage, "");                          // blanks count as no error
    EXPECT_EQ(reply->headers.at("X-Reply"), "r");                // reply headers are in the map
    EXPECT_EQ(reply->headers.count("X-VX-Capabilities"), 1u);    // so are the request headers sent
    CommLogEntry last = CommLogEntry::getLast();
    EXPECT_EQ(last.status, 200);
    EXPECT_EQ(last.response, reply->body);
    EXPECT_EQ(last.request, "GET https://one.example/mds/api/v1.0/x\n");
}

TEST_F(Executor, WithoutATransportNothingIsSent) {
    FakeTransport::uninstall();
    VCSR executor = fixed();
    try {
        executor.get("x");
        FAIL();
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_CLIENT);
        EXPECT_EQ(e.message, "Network application callback is null - cannot do I/O yet");
    }
}

TEST_F(Executor, TheServersTokenGoesOutMaskedInTheLog) {
    getMyClusterServers()->getServerForUrl(kServer)->setAccessToken("V2 secret");
    LogCapture log;
    VCSR executor = fixed();
    executor.post("x", "{}");
    EXPECT_EQ(FakeTransport::exchanges()[0].headers.at("Authorization"), "V2 secret");
    EXPECT_TRUE(log.contains("HTTP POST https://one.example/mds/api/v1.0/x"));
    EXPECT_TRUE(log.contains("\tAuthorization: *********"));
    EXPECT_TRUE(log.contains("Body for POST https://one.example/mds/api/v1.0/x:\n  {}"));
    EXPECT_TRUE(log.contains("RESPONSE to POST https://one.example/mds/api/v1.0/x\n\t{}"));

    // Without the token flag, an authorization set by the caller is still sent.
    VCSR own = fixed();
    own.useAccessToken = false;
    own.authorization = "Basic x";
    own.get("x");
    EXPECT_EQ(FakeTransport::exchanges()[1].headers.at("Authorization"), "Basic x");
}

TEST_F(Executor, ResponseLogShowsTimeAbove500MsAndCodesOtherThan200) {
    auto request = HttpRequest::Builder().url(kServer->withApiPathAndQuery("x")).build();
    auto response = std::make_shared<HttpResponse>(201, "");
    LogCapture log;
    VCSR executor;
    ETimer timer;
    timer.duration = std::chrono::milliseconds(500);
    VCSRSteps::logResponse(executor, response, timer, request);
    timer.duration = std::chrono::milliseconds(501);
    VCSRSteps::logResponse(executor, response, timer, request);
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_EQ(log.lines()[0].second, "RESPONSE to GET https://one.example/mds/api/v1.0/x\n\tResponse code: 201");
    EXPECT_EQ(log.lines()[1].second,
              "RESPONSE to GET https://one.example/mds/api/v1.0/x\n\tResponse time: 0.501 seconds\n\tResponse code: 201");
}

TEST_F(Executor, FixedServerReportsSuccessButNoFailure) {
    ClusterServerPtr server = getMyClusterServers()->getServerForUrl(kServer);
    FakeTransport::answerAll(FakeReply{502, "", ""});
    VCSR executor = fixed();
    EXPECT_THROW(executor.get("x"), VxMetaException); // not the failover signal
    EXPECT_TRUE(server->isUp());
    EXPECT_EQ(server->getErrorCount(), 0);
    server->setIsDown(1);
    FakeTransport::answerAll(FakeReply{});
    executor.get("x");
    EXPECT_TRUE(server->isUp()); // a success is reported
}

TEST_F(Executor, NetworkProblemLogIsThrottled) {
    LogCapture log(2);
    FakeTransport::answerAll(FakeReply{0, "", "Device is most likely offline"});
    VCSR executor = fixed();
    for (int i = 0; i < 7; ++i) EXPECT_THROW(executor.get("x"), VxMetaException);
    int warnings = 0;
    for (const auto& line : log.lines()) warnings += line.second == "Device is most likely offline";
    EXPECT_EQ(warnings, 4);
    EXPECT_TRUE(log.contains("Too many network problems - further warnings are suppressed until the network functions again."));
    EXPECT_EQ(log.lines().size(), 5u);

    FakeTransport::answerAll(FakeReply{});
    executor.get("x"); // one reply starts the count again
    EXPECT_EQ(netErrorCounter.load(), 0);
    FakeTransport::answerAll(FakeReply{0, "", "Device is most likely offline"});
    EXPECT_THROW(executor.get("x"), VxMetaException);
    EXPECT_EQ(log.lines().size(), 6u);
}

TEST_F(Executor, ClusterModeAsksTheEvaluator) {
    VCSR executor;
    EXPECT_EQ(executor.getPrefix()->fullUrl, VCSR::CMDS_URL->fullUrl);
    executor.get("x");
    auto& seen = FakeTransport::exchanges();
    ASSERT_EQ(seen.size(), 2u); // the cluster tag check comes first
    EXPECT_EQ(seen[0].url, VCSR::CMDS_URL->fullUrl + "/api/v1.0/etag/0");
    EXPECT_EQ(seen[1].url, VCSR::CMDS_URL->fullUrl + "/api/v1.0/x");
    EXPECT_EQ(VCSR::CMDS_URL->baseUrl, VCSR::CMDS_URL->fullUrl);
    EXPECT_TRUE(VCSR::CMDS_URL->baseUrl.ends_with("/mds"));
}

} // namespace
