// Directory searches and recipient keys against the test key service over HTTPS: the search's
// batches of at most 1024 characters, each identity once; the recipient-key look-up answering from
// the dataset first, asking for the rest in batches of the client policy's size, checking the
// service's signature over each reply and every identity's own, and keeping what it verified.
#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include <gtest/gtest.h>

#include "support/failure_of.h"
#include "vxmeta/accounts/service/managed_keys_fixture.h"
#include "vxmeta/api/raw_vorlane.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/xpid.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;
using VxMeta::testing::thrownBy;

namespace {

class DirectoryOnTheService : public VxMeta::testing::ManagedKeysServiceTest {
protected:
    void TearDown() override {
        {
            LockScope lock(masterMutex);
            globalState.satellitePolicy.recipients_lookup_max = 25;
        }
        ManagedKeysServiceTest::TearDown();
    }
    static std::string percentDecoded(const std::string& text) {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '%' && i + 2 < text.size()) {
                out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += text[i];
            }
        }
        return out;
    }
    // The number of addresses of each directory search, in order.
    std::vector<size_t> searchBatches() {
        std::vector<size_t> sizes;
        for (const Json::Value& entry : service.log()) {
            const std::string path = entry["path"].asString();
            const size_t query = path.find("/api/v1.0/xpid/?emails=");
            if (query == std::string::npos) continue;
            const std::string value = percentDecoded(path.substr(query + 23));
            sizes.push_back(static_cast<size_t>(std::count(value.begin(), value.end(), ',')) + 1);
        }
        return sizes;
    }
    // The addresses of each recipient-key request, in order.
    std::vector<size_t> recipientBatches() {
        std::vector<size_t> sizes;
        for (const Json::Value& entry : service.log()) {
            if (entry["path"].asString().find("aa/LookupEmailRecipientKeys") == std::string::npos) continue;
            sizes.push_back(parseJson(entry["body"].asString())["emails"].size());
        }
        return sizes;
    }
    static bool held(const std::string& email) {
        LockScope lock(masterMutex);
        return std::any_of(myXPIDs->begin(), myXPIDs->end(),
                           [&](const std::shared_ptr<XPID>& identity) { return identity->email == email; });
    }
    // Under the master lock: the dataset forgets the address's identities.
    static void forgetIdentity(const std::string& email) {
        LockScope lock(masterMutex);
        std::erase_if(*myXPIDs, [&](const std::shared_ptr<XPID>& identity) { return identity->email == email; });
    }
    void recipients(const Json::Value& settings) { admin("/recipients", settings); }

    RawVorlane api;
};

TEST_F(DirectoryOnTheService, SearchesStayWithin1024CharactersAndListEachIdentityOnce) {
    const Json::Value a = person("aa@xyz.tt");
    signInAs(a, false);
    EXPECT_TRUE(api.lookupUsers({})->empty());
    EXPECT_TRUE(searchBatches().empty());

    std::vector<std::string> emails;
    for (int i = 0; i < 300; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "u%03d@xy.t", i);
        emails.push_back(text);
    }
    emails[0] = "aa@xyz.tt";
    emails[250] = "AA@xyz.tt";
    const RecordListPtr<XPID> found = api.lookupUsers(emails);
    EXPECT_EQ(searchBatches(), (std::vector<size_t>{102, 102, 96}));
    ASSERT_EQ(found->size(), 1u) << "returned by the first and the third search";
    EXPECT_EQ(found->front()->urn, a["urn"].asString());

    api.lookupUsers({std::string(2000, 'x')});
    EXPECT_EQ(searchBatches().size(), 4u) << "an address over the limit is sent alone";
}

TEST_F(DirectoryOnTheService, RecipientKeysComeFromTheDatasetFirstThenFromTheServiceInBatches) {
    const Json::Value a = person("a@example.test");
    const Json::Value b = person("b@example.test");
    signInAs(a, true);
    forgetIdentity("b@example.test");

    std::unordered_set<std::string> asked = {"b@example.test"};
    for (int i = 0; i < 59; ++i) asked.insert("nobody" + std::to_string(i) + "@example.test");
    {
        // A memo pass older than an hour is run first (with the master lock released for its requests).
        LockScope lock(masterMutex);
        globalState.lastMemoTime = 0;
    }
    const size_t memoPages = requestsTo("GET datamemo");
    const auto found = api.lookupEmailRecipientKeys(asked, false);
    EXPECT_GT(requestsTo("GET datamemo"), memoPages);
    std::vector<size_t> batches = recipientBatches();
    std::sort(batches.begin(), batches.end());
    EXPECT_EQ(batches, (std::vector<size_t>{10, 25, 25}));
    EXPECT_EQ(found.size(), 60u) << "every address asked for has an entry";
    ASSERT_EQ(found.at("b@example.test").size(), 1u);
    EXPECT_EQ(found.at("b@example.test")[0]->urn, b["urn"].asString());
    EXPECT_TRUE(found.at("nobody7@example.test").empty());
    EXPECT_TRUE(held("b@example.test")) << "the verified identity joins the dataset";

    // Cached only: nothing is sent, and only what the dataset holds is answered.
    const auto cached = api.lookupEmailRecipientKeys({"b@example.test", "c@example.test"}, true);
    EXPECT_EQ(recipientBatches().size(), 3u);
    ASSERT_EQ(cached.size(), 1u);
    EXPECT_EQ(cached.at("b@example.test").size(), 1u);
    // Answered from the dataset, the address is not asked for again; the memo pass is recent.
    api.lookupEmailRecipientKeys({"b@example.test"}, false);
    EXPECT_EQ(recipientBatches().size(), 3u);
    EXPECT_EQ(requestsTo("GET datamemo"), memoPages + 1);
}

TEST_F(DirectoryOnTheService, ABadReplyAddsNothingAndUnaskedOrForgedIdentitiesAreLeftOut) {
    const Json::Value a = person("a@example.test");
    const Json::Value c = person("c@example.test");
    signInAs(a, true);
    const Json::Value cForm = service.call("GET", "/records")["records"]["xpid"];
    Json::Value identityOfC;
    for (const Json::Value& form : cForm)
        if (form["record"]["email"].asString() == "c@example.test") identityOfC = form;
    ASSERT_TRUE(identityOfC.isObject());
    forgetIdentity("c@example.test");

    Json::Value settings;
    settings["badSignature"] = true;
    recipients(settings);
    const VxMetaException failure = thrownBy([&] { api.lookupEmailRecipientKeys({"c@example.test"}, false); });
    EXPECT_EQ(failure.category, VXMECAT_PROTOCOL);
    EXPECT_EQ(failure.message, "Invalid signature");
    EXPECT_FALSE(held("c@example.test"));

    // An address nobody asked for, and an identity whose record was changed after signing (and that
    // the service does not hold, so reading it again fails too).
    Json::Value forged = identityOfC;
    forged["record"]["name"] = "Mallory";
    forged["id"] = 987654;
    Json::Value unasked;
    unasked["email"] = "c@example.test";
    unasked["xpids"].append(identityOfC);
    Json::Value forgedResult;
    forgedResult["email"] = "d@example.test";
    forgedResult["xpids"].append(forged);
    settings["badSignature"] = false;
    settings["extra"].append(unasked);
    settings["extra"].append(forgedResult);
    recipients(settings);
    const auto found = api.lookupEmailRecipientKeys({"d@example.test"}, false);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_TRUE(found.at("d@example.test").empty());
    EXPECT_FALSE(held("c@example.test"));
    {
        LockScope lock(masterMutex);
        for (const std::shared_ptr<XPID>& identity : *myXPIDs) EXPECT_NE(identity->name, "Mallory");
    }

    // With a limit of 0 an empty batch goes first, then one address each.
    recipients(Json::Value(Json::objectValue));
    {
        LockScope lock(masterMutex);
        globalState.satellitePolicy.recipients_lookup_max = 0;
    }
    const size_t before = recipientBatches().size();
    api.lookupEmailRecipientKeys({"x@example.test", "y@example.test", "z@example.test"}, false);
    const std::vector<size_t> batches = recipientBatches();
    EXPECT_EQ(std::vector<size_t>(batches.begin() + static_cast<long>(before), batches.end()),
              (std::vector<size_t>{0, 1, 1, 1}));
}

} // namespace
