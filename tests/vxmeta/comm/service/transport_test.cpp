#include "key_service.h"

#include <chrono>

#include <curl/curl.h>

#include "Vorlane/Comm/communicate_with_mds.h"
#include "vxmeta/comm/comm_io.h"
#include "vxmeta/foundation/json.h"

using namespace VxMeta;
using namespace VxMeta::testing;
using VorlaneBridge::communicateWithMDS;

namespace {

CommIO record(const std::string& method, const std::string& url, const std::string& body = "",
              const std::string& word = "") {
    CommIO io;
    io.method = method;
    io.url = url;
    io.requestData.assign(body.begin(), body.end());
    io.contentType = word;
    io.headers["X-Test"] = "1";
    return io;
}

std::string bodyOf(const CommIO& io) { return std::string(io.responseData.begin(), io.responseData.end()); }

// The value of a header in a service log entry, its name compared without regard to case.
std::string loggedHeader(const Json::Value& entry, const std::string& name) {
    for (const std::string& key : entry["headers"].getMemberNames()) {
        if (strcasecmp(key.c_str(), name.c_str()) == 0) return entry["headers"][key].asString();
    }
    return "(none)";
}

class Transport : public ServiceTest {
protected:
    std::string api(int server, const std::string& path) { return service.servers.at(server) + "/api/v1.0/" + path; }
};

TEST_F(Transport, ExchangesReplyAndHeaders) {
    CommIO io = record("GET", api(1, "clusterInfo"));
    io.headers["content-type"] = "text/plain"; // a reply header of the same name replaces it
    communicateWithMDS(io);
    EXPECT_EQ(io.status, 200);
    EXPECT_EQ(io.errorMessage, "");
    EXPECT_EQ(parseJson(bodyOf(io))["ctag"].asString(), "ctag-1");
    EXPECT_EQ(io.headers.count("content-type"), 0u);
    EXPECT_EQ(io.headers.at("Content-Type"), "application/json");
    EXPECT_EQ(io.headers.at("X-Test"), "1");
    Json::Value entry = service.requestsTo("clusterInfo").at(0);
    EXPECT_EQ(entry["server"].asInt(), 1);
    EXPECT_EQ(loggedHeader(entry, "X-Test"), "1");
}

TEST_F(Transport, BodyAndContentTypeOnlyForPostAndPut) {
    struct BodyCase {
        const char* method;
        const char* word;
        const char* sentBody;
        const char* sentType;
    };
    const BodyCase cases[] = {
        {"GET", "json", "", "(none)"},
        {"DELETE", "json", "", "(none)"},
        {"POST", "json", R"({"a":1})", "application/json"},
        {"POST", "", R"({"a":1})", "(none)"},
        {"PUT", "json", R"({"a":1})", "application/json"},
    };
    for (const BodyCase& c : cases) {
        SCOPED_TRACE(std::string(c.method) + " [" + c.word + "]");
        service.reset();
        CommIO io = record(c.method, api(0, "nowhere"), R"({"a":1})", c.word);
        communicateWithMDS(io);
        EXPECT_EQ(io.status, 404);
        Json::Value entry = service.log()[0];
        EXPECT_EQ(entry["method"].asString(), c.method);
        EXPECT_EQ(entry["body"].asString(), c.sentBody);
        EXPECT_EQ(loggedHeader(entry, "Content-Type"), c.sentType);
    }
}

TEST_F(Transport, RepliesWithoutBodies) {
    service.fault(parseJson(R"({"kind":"status","status":503,"body":"","path":"etag/0"})"));
    service.fault(parseJson(R"({"kind":"blank","path":"clusterInfo"})"));
    CommIO unavailable = record("GET", api(0, "etag/0"));
    communicateWithMDS(unavailable);
    EXPECT_EQ(unavailable.status, 503);
    EXPECT_TRUE(unavailable.responseData.empty());
    EXPECT_EQ(unavailable.errorMessage, "");
    CommIO blank = record("GET", api(0, "clusterInfo"));
    communicateWithMDS(blank);
    EXPECT_EQ(blank.status, 200);
    EXPECT_EQ(blank.errorMessage, "");
}

TEST_F(Transport, UnreachableAndUntrustedServersGiveNoStatus) {
    service.fault(parseJson(R"({"server":2,"kind":"down"})"));
    for (const std::string& url : {api(2, "clusterInfo"), service.untrusted + "/api/v1.0/clusterInfo"}) {
        SCOPED_TRACE(url);
        CommIO io = record("GET", url);
        communicateWithMDS(io);
        EXPECT_EQ(io.status, 0);
        EXPECT_TRUE(io.responseData.empty());
        EXPECT_EQ(io.errorMessage, "Device is most likely offline");
    }
    // Without the test CA the cluster's own certificate is not trusted either.
    VorlaneBridge::setTransportCaFile(std::string());
    CommIO io = record("GET", api(0, "clusterInfo"));
    communicateWithMDS(io);
    EXPECT_EQ(io.status, 0);
}

TEST_F(Transport, HeadersThatWouldSplitTheRequestAreNeverSent) {
    CommIO io = record("GET", api(0, "clusterInfo"));
    io.headers["Authorization"] = "V2 x\r\nX-Injected: 1";
    communicateWithMDS(io);
    EXPECT_EQ(io.status, 0);
    EXPECT_EQ(io.errorMessage, "Device is most likely offline");
    EXPECT_EQ(service.log().size(), 0u);
}

TEST_F(Transport, SlowReplyEndsAtTheTimeOut) {
    service.fault(parseJson(R"({"kind":"slow","seconds":13,"path":"clusterInfo"})"));
    auto start = std::chrono::steady_clock::now();
    CommIO io = record("GET", api(0, "clusterInfo"));
    communicateWithMDS(io);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(io.status, 0);
    EXPECT_EQ(io.errorMessage, "Device is most likely offline");
    EXPECT_GE(took, std::chrono::milliseconds(9'500));
    EXPECT_LT(took, std::chrono::milliseconds(12'500));
}

TEST(TransportFailure, LibcurlResultsMapToThreeClasses) {
    using VorlaneBridge::TransportFailure;
    struct ClassCase {
        CURLcode code;
        long osErrno;
        TransportFailure expected;
    };
    const ClassCase cases[] = {
        {CURLE_PEER_FAILED_VERIFICATION, 0, TransportFailure::SecureConnection},
        {CURLE_SSL_CONNECT_ERROR, 0, TransportFailure::SecureConnection},
        {CURLE_SSL_CACERT_BADFILE, 0, TransportFailure::SecureConnection},
        {CURLE_COULDNT_RESOLVE_HOST, 0, TransportFailure::Offline},
        {CURLE_COULDNT_CONNECT, ENETUNREACH, TransportFailure::Offline},
        {CURLE_COULDNT_CONNECT, ECONNREFUSED, TransportFailure::Other},
        {CURLE_OPERATION_TIMEDOUT, 0, TransportFailure::Other},
        {CURLE_GOT_NOTHING, 0, TransportFailure::Other},
    };
    for (const ClassCase& c : cases) {
        SCOPED_TRACE(curl_easy_strerror(c.code));
        EXPECT_EQ(VorlaneBridge::classifyTransportFailure(c.code, c.osErrno), c.expected);
    }
}

TEST(TransportFailure, UnresolvableHostIsOfflineWith404AndTheTransportsText) {
    CommIO io = record("GET", "https://no-such-host.invalid/api/v1.0/x");
    communicateWithMDS(io);
    EXPECT_EQ(io.status, 404);
    EXPECT_NE(io.errorMessage, "");
    EXPECT_NE(io.errorMessage, "Device is most likely offline");
}

} // namespace
