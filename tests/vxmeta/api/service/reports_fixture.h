// The fixture of the report tests over the test key service: a Python-made password account signed in
// on this device (registered by a first synchronization), local time in UTC, a manual clock and a
// fixed random source; what the service's report routes received is read back through its admin calls.
#pragma once

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/fixed_random_source.h"
#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/accounts/cache_query.h"
#include "vxmeta/accounts/login.h"
#include "vxmeta/comm/last_check_domain.h"
#include "support/ci_requirement.h"
#include "support/key_service.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/random_source.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/sync/sync_cycle.h"

namespace VxMeta::testing {

// Log lines caught while a LogCatcher lives (level 5 and below).
class LogCatcher {
public:
    LogCatcher() {
        lines().clear();
        setLogLevel(5);
        logCallback = &LogCatcher::keep;
    }
    ~LogCatcher() {
        logCallback = nullptr;
        setLogLevel(0);
    }
    static std::vector<std::string> caught() {
        std::lock_guard<std::mutex> guard(mutex());
        return lines();
    }
    static bool saw(const std::string& text) {
        for (const std::string& line : caught())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

private:
    static void keep(int, const std::string& text) {
        std::lock_guard<std::mutex> guard(mutex());
        lines().push_back(text);
    }
    static std::vector<std::string>& lines() {
        static std::vector<std::string> kept;
        return kept;
    }
    static std::mutex& mutex() {
        static std::mutex m;
        return m;
    }
};

class ReportsTest : public ServiceTest {
protected:
    static constexpr char kPassword[] = "report pass";
    static constexpr int64_t kDay = 86400;

    void SetUp() override {
        ServiceTest::SetUp();
        if (service.servers.empty()) return;
        setenv("TZ", "UTC", 1);
        tzset();
        const int64_t realNow = std::chrono::duration_cast<std::chrono::seconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count();
        // Noon of yesterday (UTC): the counters of "yesterday" are recorded then.
        todayMidnight = realNow - realNow % kDay;
        clock = std::make_shared<ManualClock>((todayMidnight - kDay + 12 * 3600) * 1000);
        setClock(clock);
        setRandomSource(std::make_shared<FixedSource>(std::vector<uint32_t>{1000}));
        service.call("POST", "/cluster", "{\"members\":[{\"server\":0}]}");
        setMds(service.servers.at(0), service.servicePublicKey);
        lastOnlineTime = 0;
        remoteDisabledCache.clear();
        lastCheckDomain.clear();
        cacheLoginParameters.clear();
        lastUserLookup.clear();
        appName = "Reader";
        appVersion = "1.0";
        platformType = "Linux";
        deviceName = "test desk";
        signIn();
    }
    void TearDown() override {
        mdClearAll(false);
        setClock(nullptr);
        setRandomSource(nullptr);
        appName.clear();
        appVersion.clear();
        platformType.clear();
        deviceName.clear();
        ServiceTest::TearDown();
    }

    // Signs in on this fresh device and registers it with a first synchronization.
    void signIn() {
        Json::Value spec;
        spec["email"] = "reports@example.test";
        spec["password"] = kPassword;
        spec["rounds"] = 1000;
        account = service.call("POST", "/accounts", jsonString(spec));
        ASSERT_TRUE(account.isMember("id")) << jsonString(account);
        accountId = account["id"].asInt64();
        login("reports@example.test", kPassword, false);
        ASSERT_TRUE(loggedIn());
        {
            LockScope lock(masterMutex);
            myDevice->platform_type = "Linux";
            myDevice->name = "test desk";
            myDevice->remoteDirty = true;
        }
        sync(false);
        ASSERT_GT(getMyDevice()->id, 0);
    }

    // This application's record on this device, made on the service and fetched by a full cycle.
    void registerApp() {
        Json::Value spec;
        spec["form"]["deviceid"] = Json::Int64(getMyDevice()->id);
        spec["form"]["record"]["device"] = getMyDevice()->urn;
        spec["form"]["record"]["owner"] = getMyPID()->urn;
        spec["form"]["record"]["name"] = appName;
        spec["form"]["record"]["version"] = appVersion;
        spec["signer"] = Json::Int64(accountId);
        const Json::Value stored = service.call("POST", "/sync/records/app", jsonString(spec));
        ASSERT_TRUE(stored.isMember("id")) << jsonString(stored);
        sync(true);
    }

    // The bodies a report route received since the last reset, parsed.
    std::vector<Json::Value> received(const std::string& kind) const {
        std::vector<Json::Value> bodies;
        for (const Json::Value& entry : service.call("GET", "/reports/" + kind)) bodies.push_back(entry["json"]);
        return bodies;
    }
    // The raw texts a report route received.
    std::vector<std::string> receivedTexts(const std::string& kind) const {
        std::vector<std::string> texts;
        for (const Json::Value& entry : service.call("GET", "/reports/" + kind)) texts.push_back(entry["text"].asString());
        return texts;
    }
    void refuse(const std::string& path, int status, int count = 1) const {
        Json::Value fault;
        fault["kind"] = "status";
        fault["status"] = status;
        fault["path"] = path;
        fault["count"] = count;
        fault["body"] = "{\"Message\":\"refused\"}";
        service.fault(fault);
    }
    // The site's audit settings, taken over by a synchronization.
    void auditSettings(bool enabled, int target, bool nonEncrypted, bool copy) {
        Json::Value spec;
        spec["changes"]["auditLogEnabled"] = enabled;
        spec["changes"]["auditLogTarget"] = target;
        spec["changes"]["auditLogArchiveNonEncrypted"] = nonEncrypted;
        spec["changes"]["auditLogArchiveCopy"] = copy;
        service.call("POST", "/sync/sitedata", jsonString(spec));
        sync(false);
        LockScope lock(masterMutex);
        ASSERT_EQ(myPersists->auditLogEnabled, enabled);
        ASSERT_EQ(myPersists->auditLogTarget, target);
    }
    void setClockSeconds(int64_t seconds) { clock->setMillis(seconds * 1000); }

    std::shared_ptr<ManualClock> clock;
    int64_t todayMidnight = 0;
    Json::Value account;
    int64_t accountId = 0;
};

} // namespace VxMeta::testing
