// What the synchronization unit tests share: a started library over an in-process service that
// answers each request from a table of canned replies by method and API path (unknown paths: 404),
// keeps the requests it saw, and records of the list classes built from JSON as the service sends them.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <json/value.h>

#include "support/fake_transport.h"
#include "vxmeta/access/access_checks.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMetaTest {

// The canned service: "GET xpid?since=t" -> reply. Housekeeping of the cluster evaluator ("etag/0",
// "clusterInfo") is answered and not logged.
class CannedService {
public:
    CannedService() { install(); }
    ~CannedService() { VxMeta::testing::FakeTransport::uninstall(); }
    CannedService(const CannedService&) = delete;
    CannedService& operator=(const CannedService&) = delete;

    void on(const std::string& methodAndPath, VxMeta::testing::FakeReply reply) {
        std::lock_guard<std::mutex> guard(mutex);
        replies[methodAndPath] = std::move(reply);
    }
    void on(const std::string& methodAndPath, const Json::Value& body) {
        on(methodAndPath, VxMeta::testing::FakeReply(200, VxMeta::jsonString(body)));
    }
    // "METHOD path" of every request so far, in order.
    std::vector<std::string> requests() const {
        std::lock_guard<std::mutex> guard(mutex);
        return seen;
    }
    // The bodies sent with requests of that method and path.
    std::vector<Json::Value> bodiesOf(const std::string& methodAndPath) const {
        std::lock_guard<std::mutex> guard(mutex);
        std::vector<Json::Value> found;
        for (size_t i = 0; i < seen.size(); ++i)
            if (seen[i] == methodAndPath) found.push_back(VxMeta::parseJson(bodies[i]));
        return found;
    }
    // Called (outside the service's own lock) with "METHOD path" before each request is answered.
    std::function<void(const std::string&)> onRequest;

    void clearLog() {
        std::lock_guard<std::mutex> guard(mutex);
        seen.clear();
        bodies.clear();
    }

private:
    void install() {
        VxMeta::testing::FakeTransport::install([this](const VxMeta::CommIO& io) {
            const size_t at = io.url.find("/api/v1.0/");
            const std::string path = at == std::string::npos ? io.url : io.url.substr(at + 10);
            const std::string key = io.method + " " + path;
            std::unique_lock<std::mutex> guard(mutex);
            if ((path == "etag/0" || path == "clusterInfo") && replies.count(key) == 0)
                return VxMeta::testing::FakeReply(200, "{}");
            if (onRequest) {
                auto hook = onRequest;
                guard.unlock();
                hook(key);
                guard.lock();
            }
            seen.push_back(key);
            bodies.emplace_back(io.requestData.begin(), io.requestData.end());
            auto found = replies.find(key);
            if (found != replies.end()) return found->second;
            return VxMeta::testing::FakeReply(404, "{\"Message\":\"No such resource\"}");
        });
    }

    mutable std::mutex mutex;
    std::map<std::string, VxMeta::testing::FakeReply> replies;
    std::vector<std::string> seen;
    std::vector<std::string> bodies;
};

class SyncTest : public VxMeta::testing::PipelineTest {
protected:
    void SetUp() override {
        PipelineTest::SetUp();
        service = std::make_unique<CannedService>();
        std::lock_guard<std::mutex> guard(VxMeta::syncProblemsMutex);
        VxMeta::syncProblems.clear();
    }
    void TearDown() override {
        service.reset();
        VxMeta::mdClearAll(false);
        PipelineTest::TearDown();
    }

    static size_t problemCount() {
        std::lock_guard<std::mutex> guard(VxMeta::syncProblemsMutex);
        return VxMeta::syncProblems.size();
    }
    static std::vector<std::string> problemMessages() {
        std::lock_guard<std::mutex> guard(VxMeta::syncProblemsMutex);
        std::vector<std::string> messages;
        for (const VxMeta::VxMetaException& e : VxMeta::syncProblems) messages.push_back(e.message);
        return messages;
    }

    std::unique_ptr<CannedService> service;
};

// A record of class T as the service sends it, read with update (not dirty, to be stored).
template <class T>
std::shared_ptr<T> fromService(const Json::Value& form) {
    auto record = std::make_shared<T>();
    record->update(form);
    return record;
}

} // namespace VxMetaTest
