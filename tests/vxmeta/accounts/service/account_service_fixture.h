// The fixture of the account tests over the test key service: the client starts on instance 0 (alone
// in its cluster document) with a manual clock and empty caches; accounts are made in Python and
// the requests each service read are listed by API path.
#pragma once

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/accounts/cache_query.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/last_check_domain.h"
#include "support/key_service.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/records/sid.h"
#include "vxmeta/records/user.h"

namespace VxMeta::testing {

class AccountServiceTest : public ServiceTest {
protected:
    static constexpr char kPassword[] = "correct horse \u00e4";

    void SetUp() override {
        ServiceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return; // no service: skipped, or failed in CI
        clock = std::make_shared<ManualClock>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  std::chrono::system_clock::now().time_since_epoch())
                                                  .count());
        setClock(clock);
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
    }
    void TearDown() override {
        mdClearAll(false);
        setClock(nullptr);
        appName.clear();
        appVersion.clear();
        platformType.clear();
        deviceName.clear();
        ServiceTest::TearDown();
    }

    // A password account made by the service (`admin` "/satellite" for the second service); with a
    // directory password, a managed one.
    Json::Value newAccount(const std::string& email, const std::string& admin = "",
                           const std::string& directoryPassword = "") const {
        Json::Value spec;
        spec["email"] = email;
        spec["password"] = kPassword;
        spec["rounds"] = 2000;
        if (!directoryPassword.empty()) spec["managedPassword"] = directoryPassword;
        Json::Value account = service.call("POST", admin + "/accounts", jsonString(spec));
        EXPECT_TRUE(account.isMember("urn")) << jsonString(account);
        return account;
    }
    // The device holds the account: its identity, user and secret identity records.
    static void holdOnDevice(const Json::Value& account) {
        LockScope lock(masterMutex);
        EXPECT_TRUE(myPID->update(account["pid"]));
        EXPECT_TRUE(myUser->update(account["user"]));
        EXPECT_TRUE(mySID->update(account["sid"]));
    }
    // API paths of the requests a service read (without query), in order; the cluster's own
    // requests left out.
    std::vector<std::string> paths(const std::string& admin = "") const {
        std::vector<std::string> found;
        for (const Json::Value& entry : service.call("GET", admin + "/log")) {
            std::string path = entry["path"].asString();
            path = path.substr(path.find("/api/v1.0/") + 10);
            path = path.substr(0, path.find('?'));
            if (path != "etag/0" && path != "clusterInfo") found.push_back(path);
        }
        return found;
    }
    // The body of the last request to the path (a service's log, parsed).
    Json::Value lastBody(const std::string& path, const std::string& admin = "") const {
        Json::Value body;
        for (const Json::Value& entry : service.call("GET", admin + "/log"))
            if (entry["path"].asString().find("/api/v1.0/" + path) != std::string::npos)
                body = parseJson(entry["body"].asString());
        return body;
    }
    static size_t count(const std::vector<std::string>& list, const std::string& path) {
        return static_cast<size_t>(std::count(list.begin(), list.end(), path));
    }
    static std::string selectedBase() { return getMyClusterEvaluator()->getPrefix()->baseUrl; }
    // The service `admin` names `url` with `key` the server of the domain.
    void nameServer(const std::string& admin, const std::string& domain, const std::string& url,
                    const std::string& key) const {
        Json::Value spec;
        spec["domain"] = domain;
        spec["url"] = url;
        spec["pubkey"] = key;
        EXPECT_TRUE(service.call("POST", admin + "/domains", jsonString(spec))["ok"].asBool());
    }
    // The account must migrate to the server (its login parameters on the service `admin` say so).
    void mustMigrate(const std::string& admin, const std::string& email, const std::string& url,
                     const std::string& key) const {
        Json::Value move;
        move["email"] = email;
        move["server"]["name"] = "north";
        move["server"]["url"] = url;
        move["server"]["pubkey"] = key;
        EXPECT_TRUE(service.call("POST", admin + "/login/migration", jsonString(move))["ok"].asBool());
    }

    std::shared_ptr<ManualClock> clock;
};

template <typename Call>
VxMetaException failureOf(Call&& call) {
    try {
        call();
    } catch (const VxMetaException& failure) {
        return failure;
    }
    ADD_FAILURE() << "no failure";
    return VxMetaException("", "");
}

} // namespace VxMeta::testing
