// The transport keeps connections and TLS sessions between exchanges, as the test key service sees
// them: its log numbers the connection each request came on and tells whether its TLS handshake
// resumed an earlier session.
#include "support/key_service.h"

#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "Vorlane/Comm/communicate_with_mds.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/comm_io.h"
#include "vxmeta/comm/url.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"

using namespace VxMeta;
using namespace VxMeta::testing;
using TarvexProtocol::Url;
using VorlaneBridge::communicateWithMDS;

namespace {

struct Logged {
    int connection;
    bool resumed;
    int status;
};

class KeptConnections : public ServiceTest {
protected:
    std::string api(int server, const std::string& path) { return service.servers.at(server) + "/api/v1.0/" + path; }

    CommIO exchange(const std::string& method, int server, const std::string& path) {
        CommIO io;
        io.method = method;
        io.url = api(server, path);
        if (method == "POST" || method == "PUT") {
            io.requestData = {'{', '}'};
            io.contentType = "json";
        }
        communicateWithMDS(io);
        return io;
    }

    int status(const std::string& method, int server, const std::string& path) {
        return exchange(method, server, path).status;
    }

    std::vector<Logged> logged() {
        std::vector<Logged> entries;
        for (const Json::Value& entry : service.log()) {
            entries.push_back({entry["connection"].asInt(), entry["resumed"].asBool(), entry["status"].asInt()});
        }
        return entries;
    }
};

TEST_F(KeptConnections, ExchangesWithOneServerShareOneConnection) {
    EXPECT_EQ(status("GET", 0, "clusterInfo"), 200);
    EXPECT_EQ(status("PUT", 0, "nowhere"), 404);
    EXPECT_EQ(status("DELETE", 0, "nowhere"), 404);
    EXPECT_EQ(status("GET", 0, "etag/0"), 200);
    std::vector<Logged> entries = logged();
    ASSERT_EQ(entries.size(), 4u);
    for (const Logged& entry : entries) {
        EXPECT_EQ(entry.connection, entries[0].connection);
        EXPECT_FALSE(entry.resumed);
    }
}

TEST_F(KeptConnections, PostGoesOnANewConnectionThatResumesTheTlsSession) {
    EXPECT_EQ(status("GET", 0, "clusterInfo"), 200);
    EXPECT_EQ(status("POST", 0, "nowhere"), 404);
    EXPECT_EQ(status("GET", 0, "clusterInfo"), 200);
    std::vector<Logged> entries = logged();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_FALSE(entries[0].resumed);
    EXPECT_NE(entries[1].connection, entries[0].connection);
    EXPECT_TRUE(entries[1].resumed);
    EXPECT_TRUE(entries[2].connection == entries[0].connection || entries[2].connection == entries[1].connection);
}

TEST_F(KeptConnections, ExchangeBesideABusyOneOpensItsOwnAndBothAreKept) {
    ASSERT_EQ(status("GET", 0, "clusterInfo"), 200);
    service.fault(parseJson(R"({"kind":"slow","seconds":1,"path":"etag/0"})"));
    std::thread busy([&] { EXPECT_EQ(status("GET", 0, "etag/0"), 200); });
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the kept connection is in use
    EXPECT_EQ(status("GET", 0, "clusterInfo"), 200);
    busy.join();
    // Both connections are kept: the next exchanges, from any thread, need no third one.
    std::thread other([&] { EXPECT_EQ(status("GET", 0, "clusterInfo"), 200); });
    other.join();
    EXPECT_EQ(status("GET", 0, "clusterInfo"), 200);
    std::vector<Logged> entries = logged();
    ASSERT_EQ(entries.size(), 5u);
    EXPECT_EQ(entries[1].connection, entries[0].connection); // the slow one
    EXPECT_NE(entries[2].connection, entries[0].connection);
    for (std::size_t i = 3; i < entries.size(); ++i) {
        EXPECT_TRUE(entries[i].connection == entries[0].connection || entries[i].connection == entries[2].connection);
    }
}

TEST_F(KeptConnections, OnlyRequestsThatMayBeRepeatedAreSentAgainAfterAHangUp) {
    // libcurl sends a request again, once, on a new connection when a kept one closes without a reply
    // (the usual race with a server closing an idle connection). A POST never rides a kept connection,
    // so the service never sees it twice.
    struct HangUpCase {
        const char* method;
        int status;
        std::size_t requestsSeen;
    };
    const HangUpCase cases[] = {{"GET", 200, 2}, {"POST", 0, 1}};
    for (const HangUpCase& c : cases) {
        SCOPED_TRACE(c.method);
        service.reset();
        ASSERT_EQ(status("GET", 0, "clusterInfo"), 200); // a kept connection
        service.fault(parseJson(R"({"kind":"down","count":1,"path":"etag/0"})"));
        CommIO io = exchange(c.method, 0, "etag/0");
        EXPECT_EQ(io.status, c.status);
        EXPECT_EQ(service.requestsTo("etag/0").size(), c.requestsSeen);
    }
}

TEST_F(KeptConnections, ConnectionsTheServerClosedAreNeverUsed) {
    // A server that closed a kept connection and listens again: the next exchange opens a new one
    // (resuming the TLS session) without a failure.
    ASSERT_EQ(status("GET", 1, "clusterInfo"), 200);
    service.fault(parseJson(R"({"server":1,"kind":"down"})"));
    service.reset();
    EXPECT_EQ(status("GET", 1, "clusterInfo"), 200);
    std::vector<Logged> entries = logged();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].resumed);

    // A server that is down is not reached over the connection kept from before.
    service.fault(parseJson(R"({"server":1,"kind":"down"})"));
    CommIO down = exchange("GET", 1, "clusterInfo");
    EXPECT_EQ(down.status, 0);
    EXPECT_EQ(down.errorMessage, "Device is most likely offline");
    EXPECT_EQ(logged().size(), 1u);
}

TEST_F(KeptConnections, SettingTheCaFileStartsFresh) {
    EXPECT_EQ(status("GET", 0, "clusterInfo"), 200);
    VorlaneBridge::setTransportCaFile(service.caFile); // the same path: the file may have changed
    EXPECT_EQ(status("GET", 0, "clusterInfo"), 200);
    std::vector<Logged> entries = logged();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_NE(entries[1].connection, entries[0].connection);
    EXPECT_FALSE(entries[1].resumed); // a full handshake: the old sessions are forgotten

    // Without the test CA, the server verified a moment ago is not trusted any more.
    VorlaneBridge::setTransportCaFile(std::string());
    CommIO untrusted = exchange("GET", 0, "clusterInfo");
    EXPECT_EQ(untrusted.status, 0);
    EXPECT_EQ(untrusted.errorMessage, "Device is most likely offline");
    EXPECT_EQ(logged().size(), 2u);
    VorlaneBridge::setTransportCaFile(service.caFile);
    EXPECT_EQ(status("GET", 0, "clusterInfo"), 200);
}

TEST_F(KeptConnections, ChangedServerListStartsFresh) {
    struct ListCase {
        int listedServer; // the cluster's one server after the change
        bool fresh;
    };
    getMyClusterEvaluator()->setClusterInfo(Url::newInstance(service.servers.at(0), ""));
    const ListCase cases[] = {{0, false}, {1, true}, {1, false}, {0, true}};
    for (const ListCase& c : cases) {
        SCOPED_TRACE(c.listedServer);
        service.reset();
        ASSERT_EQ(status("GET", 2, "clusterInfo"), 200);
        getMyClusterEvaluator()->setClusterInfo(Url::newInstance(service.servers.at(c.listedServer), ""));
        ASSERT_EQ(status("GET", 2, "clusterInfo"), 200);
        std::vector<Logged> entries = logged();
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(entries[1].connection != entries[0].connection, c.fresh);
        EXPECT_FALSE(entries[1].resumed);
    }
}

TEST_F(KeptConnections, ThreadsExchangeAtOnceOnTheirOwnConnections) {
    // Half the threads go through the request pipeline, half call the transport alone; a further
    // thread keeps starting the transport afresh meanwhile.
    constexpr int kThreads = 6;
    constexpr int kRounds = 15;
    auto run = [&](bool restarting) {
        std::atomic<int> failures{0};
        std::atomic<bool> done{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                for (int i = 0; i < kRounds; ++i) {
                    if (t % 2 == 0) {
                        try {
                            VCSR executor;
                            executor.setPrefix(Url::newInstance(service.servers.at(0), ""));
                            if (executor.get("ua/siteData").empty()) ++failures;
                        } catch (const VxMetaException&) {
                            ++failures;
                        }
                    } else if (status(i % 3 == 0 ? "POST" : "GET", 0, "etag/0") != (i % 3 == 0 ? 405 : 200)) {
                        ++failures;
                    }
                }
            });
        }
        std::thread restarter([&] {
            while (restarting && !done) {
                VorlaneBridge::setTransportCaFile(service.caFile);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        for (std::thread& thread : threads) thread.join();
        done = true;
        restarter.join();
        return failures.load();
    };

    EXPECT_EQ(run(true), 0);
    VorlaneBridge::setTransportCaFile(service.caFile);
    service.reset();
    EXPECT_EQ(run(false), 0);
    // Without restarts, GETs need at most one connection per thread; each POST opens one of its own.
    std::set<int> connections;
    int posts = 0;
    for (const Json::Value& entry : service.log()) {
        connections.insert(entry["connection"].asInt());
        if (entry["method"].asString() == "POST") ++posts;
    }
    EXPECT_EQ(service.log().size(), static_cast<std::size_t>(kThreads * kRounds));
    EXPECT_LE(connections.size(), static_cast<std::size_t>(kThreads + posts));
    EXPECT_LT(connections.size(), static_cast<std::size_t>(kThreads * kRounds) / 2);
}

} // namespace
