#include "support/key_service.h"

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include <curl/curl.h>

#include "Vorlane/Comm/communicate_with_mds.h"
#include "support/ci_requirement.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/comm/mfa_header.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/log.h"

namespace VxMeta::testing {

namespace {

size_t collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

} // namespace

KeyService KeyService::fromEnvironment() {
    KeyService service;
    const char* folder = std::getenv("VX_KEYSERVICE_DIR");
    if (!folder) return service;
    std::ifstream file(std::string(folder) + "/service.json");
    std::stringstream text;
    text << file.rdbuf();
    Json::Value description = parseJson(text.str());
    if (!description.isObject()) return service;
    service.caFile = description["ca_file"].asString();
    for (const Json::Value& url : description["servers"]) service.servers.push_back(url.asString());
    service.untrusted = description["untrusted"].asString();
    service.admin = description["admin"].asString();
    service.servicePublicKey = description["service_public_key"].asString();
    service.satellite = description["satellite"]["url"].asString();
    service.satellitePublicKey = description["satellite"]["service_public_key"].asString();
    return service;
}

Json::Value KeyService::call(const std::string& method, const std::string& path, const std::string& body) const {
    std::unique_ptr<CURL, void (*)(CURL*)> easy(curl_easy_init(), curl_easy_cleanup);
    std::string reply;
    std::string url = admin + path;
    curl_slist* headers = curl_slist_append(nullptr, "Content-Type: application/json");
    curl_easy_setopt(easy.get(), CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy.get(), CURLOPT_CUSTOMREQUEST, method.c_str());
    if (method == "POST") {
        curl_easy_setopt(easy.get(), CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
        curl_easy_setopt(easy.get(), CURLOPT_COPYPOSTFIELDS, body.c_str());
    }
    curl_easy_setopt(easy.get(), CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(easy.get(), CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(easy.get(), CURLOPT_TIMEOUT, 30L);
    CURLcode result = curl_easy_perform(easy.get());
    curl_slist_free_all(headers);
    EXPECT_EQ(result, CURLE_OK) << method << " " << path;
    return parseJson(reply);
}

Json::Value KeyService::publishedPerson(const std::string& email, const std::string& password) const {
    Json::Value spec;
    spec["email"] = email;
    spec["urn"] = "vx-user/" + email;
    spec["password"] = password;
    spec["rounds"] = 1000;
    const Json::Value account = call("POST", "/accounts", jsonString(spec));
    EXPECT_FALSE(account.isMember("error")) << jsonString(account);
    for (const char* step : {"/verified", "/publish"}) {
        const Json::Value reply = call("POST", "/people/" + account["id"].asString() + step, "{}");
        EXPECT_FALSE(reply.isMember("error")) << step << ": " << jsonString(reply);
    }
    return account;
}

void KeyService::reset() const { EXPECT_TRUE(call("POST", "/reset", "{}")["ok"].asBool()); }

void KeyService::fault(const Json::Value& description) const {
    Json::Value reply = call("POST", "/fault", jsonString(description));
    EXPECT_TRUE(reply["ok"].asBool()) << jsonString(reply);
}

Json::Value KeyService::log() const { return call("GET", "/log"); }

std::vector<Json::Value> KeyService::requestsTo(const std::string& suffix) const {
    std::vector<Json::Value> found;
    for (const Json::Value& entry : log()) {
        if (entry["path"].asString().ends_with(suffix)) found.push_back(entry);
    }
    return found;
}

void ServiceTest::SetUp() {
    service = KeyService::fromEnvironment();
    if (service.servers.empty()) VX_SKIP_OR_FAIL_IN_CI("the test key service is not running (VX_KEYSERVICE_DIR)");
    service.reset();
    init();
    setLogLevel(0);
    mdClearAll(false);
    setMfaTimestamp(Json::Value());
    netErrorCounter = 0;
    VorlaneBridge::setTransportCaFile(service.caFile);
    netAppCallback = &VorlaneBridge::communicateWithMDS;
}

void ServiceTest::TearDown() {
    netAppCallback = nullptr;
    VorlaneBridge::setTransportCaFile(std::string());
    setLogLevel(4);
}

} // namespace VxMeta::testing
