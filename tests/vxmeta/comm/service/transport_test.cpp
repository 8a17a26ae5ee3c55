#include "support/key_service.h"
#include "support/plain_port.h"

#include <chrono>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <curl/curl.h>
#include <openssl/ssl.h>

#include "Platform/error.h"
#include "Platform/notification_center.h"
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

TEST_F(Transport, OnlyARefusedSecureConnectionIsAnnounced) {
    std::vector<Platform::Notification> seen;
    Platform::ScopedObserver observer(Platform::NotificationCenter::defaultCenter(),
                                      VorlaneBridge::kCallbackSecureConnectionFailed,
                                      [&](const Platform::Notification& notice) { seen.push_back(notice); });
    service.fault(parseJson(R"({"server":2,"kind":"down"})"));
    struct NoticeCase {
        std::string url;
        size_t notices;
    };
    const NoticeCase cases[] = {
        {service.untrusted + "/api/v1.0/clusterInfo", 1}, // certificate of a CA nobody trusts
        {api(2, "clusterInfo"), 0},                       // refused connection
        {api(0, "clusterInfo"), 0},                       // a reply
    };
    for (const NoticeCase& c : cases) {
        SCOPED_TRACE(c.url);
        seen.clear();
        CommIO io = record("GET", c.url);
        communicateWithMDS(io);
        ASSERT_EQ(seen.size(), c.notices);
        if (c.notices == 0) continue;
        EXPECT_EQ(io.status, 0);
        EXPECT_EQ(io.errorMessage, "Device is most likely offline");
        EXPECT_NE(seen[0].object, nullptr);
        const auto* error = seen[0].userInfoValue<Platform::Error>(VorlaneBridge::kCallbackSecureConnectionError);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->domain, VorlaneBridge::kTransportErrorDomain);
        EXPECT_EQ(error->code, CURLE_PEER_FAILED_VERIFICATION);
        EXPECT_FALSE(error->localizedDescription().empty());
    }
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
    CommIO first = record("GET", api(0, "etag/0")); // the slow exchange then rides a kept connection
    communicateWithMDS(first);
    ASSERT_EQ(first.status, 200);
    service.fault(parseJson(R"({"kind":"slow","seconds":13,"path":"clusterInfo"})"));
    auto start = std::chrono::steady_clock::now();
    CommIO io = record("GET", api(0, "clusterInfo"));
    communicateWithMDS(io);
    auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(io.status, 0);
    EXPECT_EQ(io.errorMessage, "Device is most likely offline");
    EXPECT_GE(took, std::chrono::milliseconds(9'500));
    EXPECT_LT(took, std::chrono::milliseconds(12'500));
    // The connection that timed out is not used again: its late reply never answers the next request.
    CommIO next = record("GET", api(0, "etag/0"));
    communicateWithMDS(next);
    EXPECT_EQ(next.status, 200);
    EXPECT_EQ(parseJson(bodyOf(next))["etag"].asInt(), 0);
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
        {CURLE_UNSUPPORTED_PROTOCOL, 0, TransportFailure::SecureConnection},
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

namespace {

// A one-shot HTTPS server on loopback, with the test key service's certificate, that sends `reply`
// to the first connection and closes it.
class OneShotServer {
public:
    OneShotServer(const KeyService& service, std::string reply) {
        const std::string folder = service.caFile.substr(0, service.caFile.rfind('/') + 1);
        context = SSL_CTX_new(TLS_server_method());
        const bool loaded = context != nullptr &&
                            SSL_CTX_use_certificate_chain_file(context, (folder + "server.pem").c_str()) == 1 &&
                            SSL_CTX_use_PrivateKey_file(context, (folder + "server-key.pem").c_str(), SSL_FILETYPE_PEM) == 1;
        EXPECT_TRUE(loaded) << "the key service's certificate in " << folder;
        listener = VxMetaTest::loopbackListener(port, 1);
        worker = std::thread([this, text = std::move(reply)] {
            int connection = accept(listener, nullptr, nullptr);
            if (connection < 0) return;
            SSL* tls = SSL_new(context);
            SSL_set_fd(tls, connection);
            if (SSL_accept(tls) == 1) {
                char request[4096];
                (void)SSL_read(tls, request, sizeof request);
                (void)SSL_write(tls, text.data(), static_cast<int>(text.size()));
                (void)SSL_shutdown(tls);
            }
            SSL_free(tls);
            close(connection);
        });
    }
    ~OneShotServer() {
        shutdown(listener, SHUT_RDWR);
        worker.join();
        close(listener);
        SSL_CTX_free(context);
    }
    std::string url() const { return "https://127.0.0.1:" + std::to_string(port) + "/api/v1.0/x"; }

private:
    SSL_CTX* context = nullptr;
    int listener = -1;
    uint16_t port = 0;
    std::thread worker;
};

using OverTls = Transport;

TEST_F(OverTls, TransferThatFailsPartWayIsNoReply) {
    OneShotServer server(service, "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nX-Seen: 1\r\n\r\n{\"a\":1}");
    CommIO io = record("GET", server.url());
    communicateWithMDS(io);
    EXPECT_EQ(io.status, 0);
    EXPECT_TRUE(io.responseData.empty());
    EXPECT_EQ(io.errorMessage, "Device is most likely offline");
    EXPECT_EQ(io.headers.count("X-Seen"), 0u);
}

TEST_F(Transport, CompleteReplyOverHttpsKeepsRepeatedHeaders) {
    service.fault(parseJson(R"({"kind":"header","name":"X-Vx-Mfa-Tu","value":"1","path":"clusterInfo"})"));
    service.fault(parseJson(R"({"kind":"header","name":"x-vx-mfa-tu","value":"2","path":"clusterInfo"})"));
    CommIO io = record("GET", api(0, "clusterInfo"));
    io.headers["X-VX-MFA-TU"] = "request side";
    communicateWithMDS(io);
    EXPECT_EQ(io.status, 200);
    EXPECT_EQ(parseJson(bodyOf(io))["ctag"].asString(), "ctag-1");
    ASSERT_EQ(io.headers.count("X-Vx-Mfa-Tu"), 1u);
    EXPECT_EQ(io.headers.at("X-Vx-Mfa-Tu"), "1, 2");
    EXPECT_EQ(io.headers.count("X-VX-MFA-TU"), 0u);
}

TEST_F(OverTls, ReplyWithManyHeadersKeepsEveryOne) {
    // As many headers as the transport takes in one reply: every name arrives once, the repeated ones
    // (in any case) joined, and the request's own header of a name the reply carries is replaced.
    constexpr int kNames = 20'000;
    std::string reply = "HTTP/1.1 200 OK\r\nContent-Length: 7\r\n";
    for (int i = 0; i < kNames; ++i) reply += "H" + std::to_string(i) + ": " + std::to_string(i) + "\r\n";
    reply += "h7: again\r\nX-Last: 1\r\nx-LAST: 2\r\n\r\n{\"a\":1}";
    OneShotServer server(service, reply);
    CommIO io = record("GET", server.url());
    io.headers["h19999"] = "request side";
    communicateWithMDS(io);
    ASSERT_EQ(io.status, 200);
    EXPECT_EQ(io.headers.size(), static_cast<std::size_t>(kNames) + 3); // with X-Test, Content-Length
    EXPECT_EQ(io.headers.at("H0"), "0");
    EXPECT_EQ(io.headers.at("H7"), "7, again");
    EXPECT_EQ(io.headers.count("h19999"), 0u);
    EXPECT_EQ(io.headers.at("H19999"), "19999");
    EXPECT_EQ(io.headers.at("X-Last"), "1, 2");
    EXPECT_EQ(io.headers.at("X-Test"), "1");
}

TEST_F(Transport, ServerWithoutSchemeIsSpokenToOverHttps) {
    const std::string server = service.servers.at(1);
    ASSERT_EQ(server.rfind("https://", 0), 0u);
    CommIO io = record("GET", server.substr(8) + "/api/v1.0/clusterInfo");
    communicateWithMDS(io);
    EXPECT_EQ(io.status, 200);
    EXPECT_EQ(parseJson(bodyOf(io))["ctag"].asString(), "ctag-1");
    EXPECT_EQ(service.requestsTo("clusterInfo").size(), 1u);
}

TEST_F(Transport, PlainHttpIsRefusedUnsentAndAnnounced) {
    std::vector<Platform::Notification> seen;
    Platform::ScopedObserver observer(Platform::NotificationCenter::defaultCenter(),
                                      VorlaneBridge::kCallbackSecureConnectionFailed,
                                      [&](const Platform::Notification& notice) { seen.push_back(notice); });
    VxMetaTest::PlainPort plain;
    for (const std::string scheme : {"http://", "HTTP://"}) {
        SCOPED_TRACE(scheme);
        seen.clear();
        CommIO io = record("POST", scheme + plain.hostAndPort() + "/api/v1.0/ua/login", R"({"password":"p"})", "json");
        io.headers["Authorization"] = "V2 token";
        communicateWithMDS(io);
        EXPECT_EQ(io.status, 0);
        EXPECT_EQ(io.errorMessage, "Device is most likely offline");
        EXPECT_FALSE(plain.connected());
        ASSERT_EQ(seen.size(), 1u);
        const auto* error = seen[0].userInfoValue<Platform::Error>(VorlaneBridge::kCallbackSecureConnectionError);
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->domain, VorlaneBridge::kTransportErrorDomain);
        EXPECT_EQ(error->code, CURLE_UNSUPPORTED_PROTOCOL);
    }
}

} // namespace
