// The test key service as the integration tests see it: where it runs (from the state folder the
// CTest fixture names), its admin calls, and a fixture that resets it and routes the library's
// requests through the framework's HTTPS transport.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <json/value.h>

namespace VxMeta::testing {

struct KeyService {
    std::string caFile;
    std::vector<std::string> servers; // index 0 is the master
    std::string untrusted;
    std::string admin;
    std::string servicePublicKey; // the service's key in its "V2-" text form
    // The second, independent service (one instance, its own key); its admin calls begin "/satellite".
    std::string satellite;
    std::string satellitePublicKey;

    // Reads $VX_KEYSERVICE_DIR/service.json; empty servers when the service is not there.
    static KeyService fromEnvironment();

    // Admin calls over plain HTTP; the reply parsed.
    Json::Value call(const std::string& method, const std::string& path, const std::string& body = "") const;
    void reset() const;
    void fault(const Json::Value& description) const;
    Json::Value log() const;
    // A password account (1000 rounds, URN "vx-user/<email>") with its address verified and its
    // directory record published, so that keys can be shared with it; the account as made.
    Json::Value publishedPerson(const std::string& email, const std::string& password) const;
    // The log entries of requests whose path ends with `suffix`.
    std::vector<Json::Value> requestsTo(const std::string& suffix) const;
};

class ServiceTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    KeyService service;
};

} // namespace VxMeta::testing
