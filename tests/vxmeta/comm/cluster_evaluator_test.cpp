#include "support/fake_transport.h"

#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/cluster_evaluator_reseter.h"
#include "vxmeta/comm/cluster_servers.h"
#include "vxmeta/comm/high_availability.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/random_source.h"

#include <chrono>
#include <future>
#include <set>
#include <thread>

using namespace VxMeta;
using namespace VxMeta::testing;
using TarvexProtocol::ClusterInfo;
using TarvexProtocol::Url;

namespace {

TarvexProtocol::ClusterInfoPtr document(const char* text) { return ClusterInfo::fromJson(parseJson(text)); }

std::vector<std::string> order(ClusterEvaluator& evaluator) {
    std::vector<std::string> urls;
    for (const auto& url : evaluator.getClusterServerUrls()) urls.push_back(url->fullUrl);
    return urls;
}

class Evaluator : public PipelineTest {
protected:
    ClusterEvaluatorPtr evaluator() { return getMyClusterEvaluator(); }
};

TEST_F(Evaluator, FreshEvaluatorHoldsTheDefaultServerFromTheRegistry) {
    auto urls = evaluator()->getClusterServerUrls();
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_TRUE(urls[0] == VCSR::CMDS_URL);
    EXPECT_EQ(evaluator()->getServer(), getMyClusterServers()->getServerForUrl(VCSR::CMDS_URL));
}

TEST_F(Evaluator, ServersOrderOnlineThenHomeDataCenter) {
    auto info = document(R"({"ctag":"t","members":[
        {"url":"https://a","dataCenter":"E","isOnline":true},
        {"url":"https://b","dataCenter":"E","isOnline":false},
        {"url":"https://c","dataCenter":"W","isOnline":true}]})");
    for (uint32_t seed = 0; seed < 20; ++seed) {
        setRandomSource(std::make_shared<SeededRandomSource>(seed));
        mdClearAll(false);
        evaluator()->setClusterInfo(info, false);
        evaluator()->setHomeDataCenter("W");
        evaluator()->getServer();
        EXPECT_EQ(order(*evaluator()), (std::vector<std::string>{"https://c", "https://a", "https://b"}));
    }
    setRandomSource(nullptr);
}

TEST_F(Evaluator, EqualServersFollowTheShuffle) {
    auto info = document(R"({"ctag":"t","members":[
        {"url":"https://a","dataCenter":"E","isOnline":true},{"url":"https://b","dataCenter":"W","isOnline":true}]})");
    std::set<std::vector<std::string>> seen;
    for (uint32_t seed = 0; seed < 40; ++seed) {
        setRandomSource(std::make_shared<SeededRandomSource>(seed));
        mdClearAll(false);
        evaluator()->setClusterInfo(info, false);
        evaluator()->getServer();
        seen.insert(order(*evaluator()));
    }
    EXPECT_EQ(seen.size(), 2u);
    setRandomSource(nullptr);
}

TEST_F(Evaluator, ClientsStartedInTheSameMillisecondOrderAClusterDifferently) {
    // Every start seeds the library's random source from the clock, so clients started at one moment
    // draw alike from it; the order of the cluster must not follow.
    auto info = document(R"({"ctag":"t","members":[
        {"url":"https://a","dataCenter":"E","isOnline":true},{"url":"https://b","dataCenter":"W","isOnline":true}]})");
    setClock(std::make_shared<ManualClock>(1'700'000'000'000));
    std::set<std::vector<std::string>> seen;
    for (int start = 0; start < 40; ++start) {
        seedRandomSource();
        mdClearAll(false);
        evaluator()->setClusterInfo(info, false);
        evaluator()->getServer();
        seen.insert(order(*evaluator()));
    }
    setClock(nullptr);
    EXPECT_EQ(seen.size(), 2u);
}

TEST_F(Evaluator, MasterOnlySelection) {
    ClusterEvaluatorPtr e = evaluator();
    e->setClusterInfo(document(R"({"ctag":"t","members":[
        {"url":"https://m","isMaster":true,"isOnline":true},{"url":"https://s","isOnline":true}]})"), false);
    e->setHomeDataCenter("x"); // no effect on these two, but the list is sorted again
    ClusterServerPtr master = getMyClusterServers()->getServerForUrl(Url::newInstance("https://m", ""));
    ClusterServerPtr member = getMyClusterServers()->getServerForUrl(Url::newInstance("https://s", ""));
    e->switchToMaster();
    EXPECT_EQ(e->getServer(), master);
    master->setIsDown(60);
    try {
        e->getServer();
        FAIL();
    } catch (const VxMetaException& failure) {
        EXPECT_EQ(failure.category, VXMECAT_COMMUNICATION_ERROR);
        EXPECT_EQ(failure.message, "No applicable servers are online");
    }
    e->needFetchClusterInfo(); // while the tag must be checked, any server will do
    EXPECT_EQ(e->getServer(), member);
    e->resetMasterOnly();
    EXPECT_EQ(e->getMasterOnly(), 0);
}

TEST_F(Evaluator, RetrievedTagDecidesTheDocumentFetch) {
    struct TagCase {
        const char* own;
        bool flagBefore;
        const char* retrieved;
        bool flagAfter;
    };
    const TagCase cases[] = {
        {"a", false, "", true},  {"", true, "", false},  {"a", false, "b", true}, {"", true, "b", true},
        {"a", false, "a", false}, {"a", true, "a", true},
    };
    for (const TagCase& c : cases) {
        SCOPED_TRACE(std::string(c.own) + " / " + c.retrieved);
        ClusterEvaluator e(Url::newInstance("https://x", ""));
        std::string doc = std::string(R"({"members":[{"url":"https://x"}],"ctag":")") + c.own + "\"}";
        e.setClusterInfo(document(doc.c_str()), false); // an empty tag leaves the fetch due
        if (c.flagBefore && *c.own != '\0') e.manuallyRetrievedCtag("other");
        ASSERT_EQ(e.getCtag(), c.own);
        ASSERT_EQ(e.isFetchClusterInfoNeeded(), c.flagBefore);
        e.manuallyRetrievedCtag(c.retrieved);
        EXPECT_EQ(e.isFetchClusterInfoNeeded(), c.flagAfter);
    }
}

TEST_F(Evaluator, NewListsAndTheirFlags) {
    ClusterEvaluatorPtr e = evaluator();
    e->setClusterInfo(document(R"({"ctag":"t1","members":[{"url":"https://one"}]})"), false);
    EXPECT_FALSE(e->isListDirty());
    EXPECT_EQ(e->getCtag(), "t1");
    EXPECT_FALSE(e->isEtagCheckNeeded());
    EXPECT_FALSE(e->isFetchClusterInfoNeeded());

    e->setClusterInfo(document(R"({"ctag":"t2","members":[{"url":"https://one"},{"url":"https://two"}]})"), true);
    EXPECT_EQ(e->getCtag(), "t1"); // kept while refreshing
    EXPECT_TRUE(e->isEtagCheckNeeded());
    EXPECT_TRUE(e->isFetchClusterInfoNeeded());
    EXPECT_TRUE(e->isListDirty());
    bool dirty = e->isListDirty();
    e->setHomeDataCenter("");
    EXPECT_EQ(e->isListDirty(), dirty);

    // Every server down: the prefix falls back to the first one.
    for (const auto& url : e->getClusterServerUrls()) getMyClusterServers()->getServerForUrl(url)->setIsDown(60);
    TarvexProtocol::UrlPtr prefix = e->getPrefix(); // sorts the list first
    EXPECT_TRUE(prefix == e->getClusterServerUrls().front());

    e->setClusterInfo(document(R"({"ctag":"t3","members":[{"dataCenter":"x"},{"url":""}]})"), false);
    EXPECT_TRUE(e->getClusterServerUrls().empty());
    EXPECT_EQ(e->getPrefix()->fullUrl, "");
    try {
        e->getServer();
        FAIL();
    } catch (const VxMetaException& failure) {
        EXPECT_EQ(failure.category, VXMECAT_INTERNAL);
        EXPECT_EQ(failure.message, "No known servers to communicate with");
    }
}

// A stand-in cluster of three servers on the default server's address space.
FakeReply clusterService(const CommIO& io) {
    if (io.url.ends_with("/etag/0")) return FakeReply(200, R"({"etag":1,"gtag":1,"ltag":0,"ctag":"c1","id":0})");
    if (io.url.ends_with("/clusterInfo")) {
        return FakeReply(200, R"({"ctag":"c1","members":[
            {"url":"https://m.example","isMaster":true,"isOnline":true,"dataCenter":"d"},
            {"url":"https://s1.example","isOnline":true,"dataCenter":"d"},
            {"url":"https://s2.example","isOnline":true,"dataCenter":"d"}]})");
    }
    return FakeReply(200, R"({"ok":1})");
}

TEST_F(Evaluator, TypicalStartLearnsTheCluster) {
    getMyClusterServers()->getServerForUrl(Url::newInstance("https://s1.example", ""))->setAccessToken("V2 kept");
    FakeTransport::install(clusterService);
    VCSR executor;
    executor.get("user/");
    executor.get("user/");
    auto& seen = FakeTransport::exchanges();
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].url, VCSR::CMDS_URL->fullUrl + "/api/v1.0/etag/0");
    EXPECT_EQ(seen[1].url, VCSR::CMDS_URL->fullUrl + "/api/v1.0/clusterInfo");
    EXPECT_TRUE(seen[2].url.ends_with(".example/api/v1.0/user/"));
    EXPECT_TRUE(seen[3].url.ends_with(".example/api/v1.0/user/")); // no second tag check
    ClusterEvaluatorPtr e = evaluator();
    EXPECT_EQ(e->getCtag(), "c1");
    EXPECT_EQ(e->getClusterServerUrls().size(), 3u);
    EXPECT_FALSE(e->isEtagCheckNeeded());
    // Registered: the registry and the list hold one object, which kept its token.
    ClusterServerPtr s1 = getMyClusterServers()->getServerForUrl(Url::newInstance("https://s1.example", ""));
    EXPECT_EQ(s1->getAccessToken(), "V2 kept");
}

TEST_F(Evaluator, TagCheckFailuresAreSwallowedButDocumentFailuresRearm) {
    // The tag check fails with a client error: nothing is thrown and the check stays due.
    FakeTransport::answerAll(FakeReply(404, R"({"Message":"no"})"));
    ClusterEvaluatorPtr e = evaluator();
    EXPECT_NO_THROW(e->fetchClusterInfoIfNeeded());
    EXPECT_TRUE(e->isEtagCheckNeeded());

    // The tag changed but the document cannot be read: the failure passes and the fetch stays due.
    FakeTransport::install([](const CommIO& io) {
        if (io.url.ends_with("/etag/0")) return FakeReply(200, R"({"ctag":"c9"})");
        return FakeReply(200, "[1]");
    });
    EXPECT_THROW(e->fetchClusterInfoIfNeeded(), VxMetaException);
    EXPECT_FALSE(e->isEtagCheckNeeded());
    EXPECT_TRUE(e->isFetchClusterInfoNeeded());
}

std::atomic<int> calls{0};
void alwaysNeedsMaster() {
    ++calls;
    VxMetaException cause(VXMECAT_HTTP, "must go to the master");
    cause.httpStatus = 501;
    ClusterException::needingMaster(&cause);
}

TEST_F(Evaluator, FailoverIsBoundedAndReportsTheLastFailure) {
    calls = 0;
    try {
        HighAvailability(&alwaysNeedsMaster);
        FAIL();
    } catch (const VxMetaException& failure) {
        EXPECT_EQ(failure.category, VXMECAT_COMMUNICATION_ERROR);
        EXPECT_EQ(failure.message, "must go to the master");
        EXPECT_EQ(failure.httpStatus, 501);
    }
    EXPECT_EQ(calls.load(), 1 + 2); // one known server
    EXPECT_EQ(evaluator()->getMasterOnly(), 0);
}

struct Counter {
    int calls = 0;
    int sendsToMaster = 2;
    int run(int add) {
        ++calls;
        if (sendsToMaster-- > 0) ClusterException::needingMaster();
        return calls + add;
    }
};

TEST_F(Evaluator, FailoverRepeatsAndLowersWhatItRaised) {
    evaluator()->setClusterInfo(document(R"({"ctag":"t","members":[{"url":"https://a"},{"url":"https://b"}]})"), false);
    Counter counter;
    EXPECT_EQ(HighAvailability(counter, &Counter::run, 10), 13);
    EXPECT_EQ(counter.calls, 3);
    EXPECT_EQ(evaluator()->getMasterOnly(), 0);

    // Other exceptions pass after one call.
    int thrown = 0;
    EXPECT_THROW(HighAvailability([&]() -> int {
                     ++thrown;
                     throw VxMetaException(VXMECAT_HTTP, "no");
                 }),
                 VxMetaException);
    EXPECT_EQ(thrown, 1);
}

TEST_F(Evaluator, ReseterLowersTheEvaluatorItRaisedAfterAReset) {
    ClusterEvaluatorPtr raised = evaluator();
    {
        ClusterEvaluatorReseter reseter;
        raised->switchToMaster();
        reseter.setMasterOnly(raised);
        mdClearAll(false); // the library installs another evaluator meanwhile
        EXPECT_NE(evaluator(), raised);
    }
    EXPECT_EQ(raised->getMasterOnly(), 0);
    EXPECT_EQ(evaluator()->getMasterOnly(), 0);
}

TEST_F(Evaluator, UnreachableFirstServerEndsFailover) {
    // The default server never answers: its failures reach the object selection tests, so the
    // repetition ends with the selection failure instead of going on.
    FakeTransport::answerAll(FakeReply(0, "", "Device is most likely offline"));
    int attempts = 0;
    try {
        HighAvailability([&] {
            ++attempts;
            VCSR executor;
            return executor.get("user/");
        });
        FAIL();
    } catch (const VxMetaException& failure) {
        EXPECT_EQ(failure.category, VXMECAT_COMMUNICATION_ERROR);
        EXPECT_EQ(failure.message, "No applicable servers are online");
    }
    EXPECT_EQ(attempts, 2);
    EXPECT_FALSE(getMyClusterServers()->getServerForUrl(VCSR::CMDS_URL)->isUp());
}

} // namespace

namespace {

TEST_F(Evaluator, ConcurrentWrappedCallsShareTheClusterSafely) {
    // s2 never answers, the others do; threads fail over while another changes the home data center.
    FakeTransport::install([](const CommIO& io) {
        if (io.url.find("//s2.example") != std::string::npos) return FakeReply(0, "", "Device is most likely offline");
        return clusterService(io);
    });
    std::atomic<int> succeeded{0};
    std::atomic<bool> stop{false};
    std::thread changer([&] {
        for (int i = 0; !stop; ++i) getMyClusterEvaluator()->setHomeDataCenter(i % 2 ? "d" : "e");
    });
    std::vector<std::thread> callers;
    for (int t = 0; t < 6; ++t) {
        callers.emplace_back([&] {
            for (int i = 0; i < 40; ++i) {
                try {
                    HighAvailability([] {
                        VCSR executor;
                        return executor.get("user/");
                    });
                    ++succeeded;
                } catch (const VxMetaException&) {
                }
            }
        });
    }
    for (auto& caller : callers) caller.join();
    stop = true;
    changer.join();
    EXPECT_EQ(succeeded.load(), 240);
    EXPECT_EQ(getMyClusterEvaluator()->getMasterOnly(), 0);
}

// Watches every library lock taken on one thread: before each acquisition, another thread asks the
// evaluator for its tag. When the watched thread holds the evaluator's lock at that point, the question
// waits for it, and the acquisition is counted as one made under the evaluator's lock.
struct LockWatch {
    static inline ClusterEvaluator* evaluator = nullptr;
    static inline std::thread::id watched;
    static inline std::atomic<int> checks{0};
    static inline std::atomic<int> underEvaluatorLock{0};
    static inline std::vector<std::future<std::string>> answers;

    static LongRunningActivity* beforeAcquisition() {
        if (std::this_thread::get_id() != watched) return nullptr;
        ++checks;
        answers.push_back(std::async(std::launch::async, [] { return evaluator->getCtag(); }));
        if (answers.back().wait_for(std::chrono::seconds(2)) != std::future_status::ready) ++underEvaluatorLock;
        return nullptr;
    }
};

TEST_F(Evaluator, LibraryLocksAreNeverTakenUnderTheEvaluatorsLock) {
    // The master lock (the registry look-up, the stored cluster document, the request headers) is
    // taken before the evaluator's lock or after it is released, never while it is held.
    FakeTransport::install(clusterService);
    ClusterEvaluatorPtr e = evaluator();
    LockWatch::evaluator = e.get();
    LockWatch::checks = 0;
    LockWatch::underEvaluatorLock = 0;
    std::thread worker([&] {
        LockWatch::watched = std::this_thread::get_id();
        wrapLongRunningActivity = &LockWatch::beforeAcquisition;
        e->fetchClusterInfoIfNeeded(); // the tag check, then the document: a new list, stored
        e->setClusterInfo(Url::newInstance("https://single.example", ""));
        e->setClusterInfo(document(R"({"ctag":"c2","members":[{"url":"https://p"},{"url":"https://q"}]})"), true);
        e->fetchClusterInfo();
        wrapLongRunningActivity = nullptr;
    });
    worker.join();
    for (auto& answer : LockWatch::answers) answer.wait();
    LockWatch::answers.clear();
    EXPECT_EQ(e->getCtag(), "c1");
    EXPECT_GT(LockWatch::checks.load(), 4);
    EXPECT_EQ(LockWatch::underEvaluatorLock.load(), 0);
}

} // namespace
