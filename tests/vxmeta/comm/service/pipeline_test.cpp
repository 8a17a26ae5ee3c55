#include "support/key_service.h"

#include <chrono>

#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/high_availability.h"
#include "vxmeta/comm/mfa_header.h"
#include "vxmeta/comm/site_data.h"
#include "vxmeta/comm/url.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/persists.h"

using namespace VxMeta;
using namespace VxMeta::testing;
using TarvexProtocol::Url;

namespace {

class Pipeline : public ServiceTest {
protected:
    TarvexProtocol::UrlPtr server(int index) { return Url::newInstance(service.servers.at(index), ""); }

    // The library starts on the master alone and learns the cluster from it.
    void learnCluster() {
        getMyClusterEvaluator()->setClusterInfo(server(0));
        VCSR executor;
        executor.get("ua/siteData");
        ASSERT_EQ(getMyClusterEvaluator()->getClusterServerUrls().size(), service.servers.size());
        ASSERT_EQ(getMyClusterEvaluator()->getCtag(), "ctag-1");
        service.reset(); // an empty request log; the client keeps what it learned
    }

    std::string wrappedSiteData() {
        return HighAvailability([] {
            VCSR executor;
            return executor.get("ua/siteData");
        });
    }
};

TEST_F(Pipeline, RepliesAndErrorBodiesMapToFailures) {
    struct ReplyCase {
        const char* fault;
        const char* category;
        const char* message;
        const char* reason;
        int64_t status;
    };
    const ReplyCase cases[] = {
        {R"({"kind":"status","status":404,"body":"{\"Message\":\"No such record\",\"reason\":\"Gone\"}"})",
         VXMECAT_HTTP, "No such record", "Gone", 404},
        {R"({"kind":"status","status":403,"body":"{\"Message\":\"Upgrade now\",\"reason\":\"Upgrade\",\"url\":\"https://u\"}"})",
         VXMECAT_FORCEDUPGRADE, "Upgrade now", "Upgrade", 403},
        {R"({"kind":"status","status":403,"body":"{\"Message\":\"Code needed\",\"reason\":\"MFA Required\"}"})",
         VXMECAT_MFA_REQUIRED, "Code needed", "MFA Required", 403},
        {R"({"kind":"status","status":502,"body":"<html>proxy</html>"})", VXMECAT_HTTP, "", "", 502},
        {R"({"kind":"status","status":503,"body":"{\"Message\":\"m\",\"reason\":\"r\"}"})", VXMECAT_COMMUNICATION_ERROR,
         "Service is unavailable - probably down for maintenance", "", 503},
        {R"({"kind":"send_to_master"})", VXMECAT_HTTP, "This request must be sent to the master server", "Send To Master", 501},
        {R"({"kind":"inactive_endpoint"})", VXMECAT_HTTP, "This endpoint is inactive", "InactiveEndpoint", 400},
        {R"({"kind":"malformed"})", VXMECAT_PROTOCOL, "HTTP Response is malformed", "", 200},
        {R"({"kind":"token_expired"})", VXMECAT_HTTP, "Access token has expired", "", 401},
    };
    for (const ReplyCase& c : cases) {
        SCOPED_TRACE(c.fault);
        service.reset();
        service.fault(parseJson(c.fault));
        VCSR executor;
        executor.setPrefix(server(1));
        executor.useAccessToken = false; // sends no token: an expired-token reply is mapped as it is
        executor.authorization = "V2 old";
        try {
            executor.get("ua/siteData");
            ADD_FAILURE() << "succeeded";
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, c.category);
            EXPECT_EQ(e.message, c.message);
            EXPECT_EQ(e.reason, c.reason);
            EXPECT_EQ(e.httpStatus, c.status);
        }
    }
    service.reset();
    service.fault(parseJson(R"({"kind":"blank"})"));
    VCSR executor;
    executor.setPrefix(server(1));
    try {
        executor.get("ua/siteData");
        ADD_FAILURE() << "succeeded";
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_PROTOCOL);
        EXPECT_EQ(e.message, "HTTP Response for " + service.servers[1] + "/api/v1.0/ua/siteData is completely blank!");
    }
}

TEST_F(Pipeline, SiteDataReadsOverHttps) {
    VCSR executor;
    executor.setPrefix(server(2));
    auto site = TarvexProtocol::SiteData::fromJson(parseJson(executor.get("ua/siteData")));
    EXPECT_EQ(site->pollingInterval, 60);
    EXPECT_EQ(site->gtag, 1);
    EXPECT_EQ(site->signature.rfind("V2-", 0), 0u);
    EXPECT_EQ(executor.lastStatus, 200);
}

TEST_F(Pipeline, AClusterDocumentWithoutMembersChangesNothing) {
    // One refresh is answered with a document that lists no usable server: the client keeps the
    // cluster it has, the request that ran the refresh goes through, and the next refresh learns the
    // real document.
    const char* const documents[] = {
        "{}",
        R"({"ctag":"ctag-empty","members":[]})",
        R"({"ctag":"ctag-no-url","members":[{"dataCenter":"dc1","isMaster":true,"isOnline":true}]})",
    };
    for (const char* document : documents) {
        SCOPED_TRACE(document);
        service.reset();
        mdClearAll(false);
        learnCluster();
        const Json::Value persisted = [] {
            LockScope lock(masterMutex);
            return myPersists->clusterInfo;
        }();
        ASSERT_EQ(persisted["ctag"].asString(), "ctag-1");
        service.call("POST", "/cluster", R"({"ctag":"ctag-2"})");
        Json::Value fault;
        fault["kind"] = "status";
        fault["status"] = 200;
        fault["body"] = document;
        fault["path"] = "clusterInfo";
        fault["count"] = 1;
        service.fault(fault);

        getMyClusterEvaluator()->needFetchClusterInfo();
        VCSR first;
        EXPECT_NO_THROW(first.get("ua/siteData"));
        EXPECT_EQ(getMyClusterEvaluator()->getClusterServerUrls().size(), service.servers.size());
        EXPECT_EQ(getMyClusterEvaluator()->getCtag(), "ctag-1");
        {
            LockScope lock(masterMutex);
            EXPECT_EQ(jsonString(myPersists->clusterInfo), jsonString(persisted));
        }
        for (int i = 0; i < 3; ++i) {
            VCSR later;
            EXPECT_NO_THROW(later.get("ua/siteData"));
        }

        getMyClusterEvaluator()->needFetchClusterInfo();
        VCSR refreshed;
        EXPECT_NO_THROW(refreshed.get("ua/siteData"));
        EXPECT_EQ(getMyClusterEvaluator()->getCtag(), "ctag-2");
        EXPECT_EQ(getMyClusterEvaluator()->getClusterServerUrls().size(), service.servers.size());
        EXPECT_EQ(service.requestsTo("clusterInfo").size(), 2u);
        EXPECT_EQ(service.requestsTo("ua/siteData").size(), 5u);
    }
}

TEST_F(Pipeline, WrappedCallSucceedsOnTheServerThatIsStillUp) {
    // The two servers taken down stand in the home data center, so they are asked first.
    service.call("POST", "/cluster", R"({"ctag":"ctag-1","members":[{"server":0,"dataCenter":"home"},
        {"server":1,"dataCenter":"home"},{"server":2,"dataCenter":"far"}]})");
    learnCluster();
    getMyClusterEvaluator()->setHomeDataCenter("home");
    service.fault(parseJson(R"({"server":0,"kind":"down"})"));
    service.fault(parseJson(R"({"server":1,"kind":"down"})"));
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_FALSE(wrappedSiteData().empty());
    }
    std::vector<Json::Value> served = service.requestsTo("ua/siteData");
    ASSERT_FALSE(served.empty());
    for (const Json::Value& entry : served) EXPECT_EQ(entry["server"].asInt(), 2);
    EXPECT_FALSE(getMyClusterServers()->getServerForUrl(server(0))->isUp());
    EXPECT_FALSE(getMyClusterServers()->getServerForUrl(server(1))->isUp());
}

TEST_F(Pipeline, SendToMasterSwitchesToTheMaster) {
    // The members stand in the home data center, the master elsewhere: members are asked first.
    service.call("POST", "/cluster", R"({"ctag":"ctag-1","members":[{"server":0,"dataCenter":"far"},
        {"server":1,"dataCenter":"home"},{"server":2,"dataCenter":"home"}]})");
    learnCluster();
    getMyClusterEvaluator()->setHomeDataCenter("home");
    service.fault(parseJson(R"({"server":1,"kind":"send_to_master","path":"ua/siteData"})"));
    service.fault(parseJson(R"({"server":2,"kind":"send_to_master","path":"ua/siteData"})"));
    EXPECT_FALSE(wrappedSiteData().empty());
    std::vector<Json::Value> served = service.requestsTo("ua/siteData");
    ASSERT_GE(served.size(), 2u);
    EXPECT_EQ(served.back()["server"].asInt(), 0);
    EXPECT_EQ(served.back()["status"].asInt(), 200);
    EXPECT_EQ(served[served.size() - 2]["status"].asInt(), 501);
    EXPECT_EQ(getMyClusterEvaluator()->getMasterOnly(), 0);
    // Members that answered "Send To Master" are up: the next plain call asks one of them again.
    EXPECT_TRUE(getMyClusterServers()->getServerForUrl(server(1))->isUp());
}

TEST_F(Pipeline, EveryServerDownFailsInBoundedTime) {
    learnCluster();
    for (int i = 0; i < 3; ++i) service.fault(parseJson("{\"server\":" + std::to_string(i) + ",\"kind\":\"down\"}"));
    auto start = std::chrono::steady_clock::now();
    try {
        wrappedSiteData();
        FAIL() << "succeeded";
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_COMMUNICATION_ERROR);
        EXPECT_EQ(e.message, "No applicable servers are online");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(getMyClusterEvaluator()->getMasterOnly(), 0);
}

TEST_F(Pipeline, MfaTimestampHeaderReachesTheNextRequest) {
    service.fault(parseJson(R"({"kind":"header","name":"X-VX-MFA-TU","value":"{\"ts\":42}","count":1})"));
    VCSR executor;
    executor.setPrefix(server(0));
    executor.get("ua/siteData");
    EXPECT_EQ(jsonString(mfaTimestamp()), R"({"ts":42})");
    executor.get("ua/siteData");
    std::vector<Json::Value> served = service.requestsTo("ua/siteData");
    ASSERT_EQ(served.size(), 2u);
    Json::Value header = parseJson(served[1]["headers"]["X-VX-MFA"].asString());
    EXPECT_EQ(jsonString(header["timestamp"]), R"({"ts":42})");
    EXPECT_EQ(header["protocol"].asInt(), 3);
}

TEST_F(Pipeline, UntrustedCertificateIsACommunicationError) {
    VCSR executor;
    executor.setPrefix(Url::newInstance(service.untrusted, ""));
    try {
        executor.get("ua/siteData");
        FAIL() << "an untrusted server answered";
    } catch (const VxMetaException& e) {
        EXPECT_EQ(e.category, VXMECAT_COMMUNICATION_ERROR);
        EXPECT_EQ(e.message, "Device is most likely offline");
        EXPECT_EQ(e.httpStatus, 0);
    }
}

} // namespace
