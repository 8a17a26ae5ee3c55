// The fixture of the managed-key tests over the test key service: a one-server cluster with
// per-account views, users made and published by Python, a fresh device signed in as one of them,
// the records the service holds, the requests it read, archive key metadata, and Python's verdict
// on two wrapped forms of one session key.
#pragma once

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/access/library_reset.h"
#include "vxmeta/access/server_settings.h"
#include "vxmeta/accounts/cache_query.h"
#include "vxmeta/accounts/login.h"
#include "vxmeta/comm/last_check_domain.h"
#include "support/ci_requirement.h"
#include "support/key_service.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/records/identity_lookup.h"
#include "vxmeta/sync/sync_cycle.h"
#include "support/record_test_support.h"

namespace VxMeta::testing {

class ManagedKeysServiceTest : public ServiceTest {
protected:
    static constexpr char kPassword[] = "key pass";

    void SetUp() override {
        ServiceTest::SetUp();
        if (service.servers.empty()) VX_SKIP_OR_FAIL_IN_CI("the test key service is not running");
        service.call("POST", "/cluster", "{\"members\":[{\"server\":0}]}");
        service.call("POST", "/views", "{\"enabled\":true}");
        appName = "Reader";
        appVersion = "1.0";
        platformType = "Linux";
        deviceName = "test desk";
        knownFeatures = {"Deleted Lockers"};
    }
    void TearDown() override {
        mdClearAll(false);
        knownFeatures.clear();
        appName.clear();
        appVersion.clear();
        platformType.clear();
        deviceName.clear();
        ServiceTest::TearDown();
    }

    Json::Value admin(const std::string& path, const Json::Value& body) {
        const Json::Value reply = service.call("POST", path, jsonString(body));
        EXPECT_FALSE(reply.isMember("error")) << path << ": " << jsonString(reply);
        return reply;
    }
    // A password account with a verified address and its directory record published. Its URN has no
    // ":", which a key reference keeps for the key sequence.
    Json::Value person(const std::string& email) { return service.publishedPerson(email, kPassword); }
    // The account's personal key made on the service, with its session key.
    Json::Value personalKeyOf(const Json::Value& account) {
        Json::Value spec;
        spec["urn"] = "priv-" + account["id"].asString();
        spec["kind"] = "priv";
        return admin("/people/" + account["id"].asString() + "/key", spec);
    }
    // The owner's right for a participant, as the owner's other device made it.
    void allow(const Json::Value& owner, const std::string& asset, const Json::Value& participant) {
        Json::Value spec;
        spec["form"]["record"]["asset"] = asset;
        spec["form"]["record"]["owner"] = owner["urn"];
        spec["form"]["record"]["participant"] = participant["urn"];
        spec["form"]["record"]["access"] = "allow";
        spec["form"]["ownerid"] = owner["id"];
        spec["form"]["participantid"] = participant["id"];
        spec["signer"] = owner["id"];
        admin("/sync/records/assetright", spec);
    }
    // This device signs in as the account (a fresh device: nothing of another user is kept); with
    // cycle, a first synchronization follows.
    void signInAs(const Json::Value& account, bool cycle) {
        mdClearAll(false);
        setMds(service.servers.at(0), service.servicePublicKey);
        cacheLoginParameters.clear();
        lastCheckDomain.clear();
        lastUserLookup.clear();
        login(account["email"].asString(), kPassword, false);
        ASSERT_TRUE(loggedIn());
        if (cycle) sync(false);
    }
    std::vector<Json::Value> stored(const std::string& stem, const std::string& name, const std::string& value) {
        std::vector<Json::Value> found;
        const Json::Value all = service.call("GET", "/records");
        for (const Json::Value& form : all["records"][stem])
            if (form["record"][name].asString() == value) found.push_back(form);
        return found;
    }
    // The wrapped key material of the revision the service holds for the participant, or "".
    std::string storedKey(const std::string& urn, const Json::Value& participant, int sequence) {
        for (const Json::Value& form : stored("assetkey", "asset", urn))
            if (form["record"]["participant"] == participant["urn"] && form["record"]["keysequence"].asInt() == sequence)
                return form["record"]["keymaterial"].asString();
        return std::string();
    }
    size_t requestsTo(const std::string& methodAndPathPrefix) {
        size_t count = 0;
        for (const Json::Value& entry : service.log()) {
            const std::string path = entry["path"].asString();
            const std::string line = entry["method"].asString() + " " + path.substr(path.find("/api/v1.0/") + 10);
            if (line.compare(0, methodAndPathPrefix.size(), methodAndPathPrefix) == 0) ++count;
        }
        return count;
    }
    // The archive key metadata of an archive encrypted with revision `sequence` of the key.
    static std::string metadataFor(const std::string& owner, const std::string& urn, int sequence) {
        Json::Value metadata;
        metadata["homeServer"] = "";
        metadata["owner"] = owner;
        Json::Value entry;
        entry[urn + ":" + std::to_string(sequence)] = "V4-wrapped-password";
        metadata["assets"].append(entry);
        return jsonString(metadata);
    }
    // Python's verdict that two wrapped forms hold the same session key.
    static std::string sameSession(const std::string& holderKey, const std::string& holderWrapped,
                                   const std::string& recipientKey, const std::string& recipientWrapped) {
        return VxMetaTest::sameSessionVerdict(holderKey, holderWrapped, recipientKey, recipientWrapped);
    }
};

} // namespace VxMeta::testing
