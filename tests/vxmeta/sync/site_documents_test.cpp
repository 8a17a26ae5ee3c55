// The site document, the locker configuration and the deployments against an in-process service:
// what a reply changes in the device's Persists record, the tag mismatch lines, the withdrawal of the
// locker configuration, and the linking, fetching and pruning of deployments.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/access_fixture.h"
#include "sync_fixture.h"
#include "vxmeta/crypto/signatures.h"
#include "vxmeta/records/app.h"
#include "vxmeta/records/deployment.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/user.h"
#include "vxmeta/sync/deployments.h"
#include "vxmeta/sync/site_documents.h"

using namespace VxMeta;
using VxMeta::testing::FakeReply;
using VxMeta::testing::LogCapture;

namespace {

class SiteDocuments : public VxMetaTest::SyncTest {
protected:
    void SetUp() override {
        SyncTest::SetUp();
        LockScope lock(masterMutex);
        globalState.mdsPubkey = VxMetaTest::serviceKeys().publicKey;
    }
    // The site document as the service signs it.
    static std::string siteDocument(int64_t gtag, int32_t interval) {
        Json::Value document;
        document["gtag"] = Json::Int64(gtag);
        document["pollingInterval"] = interval;
        document["auditLogEnabled"] = true;
        document["auditLogUrl"] = "https://audit";
        document["updated_at"] = "2024";
        document["signature"] = signTextOther(jsonString(document), VxMetaTest::serviceKeys().privateKey);
        return jsonString(document);
    }
};

TEST_F(SiteDocuments, ASignedDocumentIsStoredAndAnUnchangedOneWritesNothing) {
    const std::string body = siteDocument(4, 90);
    service->on("GET ua/siteData", FakeReply(200, body));
    LogCapture log(2);
    fetchSiteData(3);
    const Persists& persists = *getMyPersists();
    EXPECT_EQ(persists.siteData, body);
    EXPECT_EQ(persists.gtag, 4);
    EXPECT_EQ(persists.pollingInterval, 90);
    EXPECT_TRUE(persists.auditLogEnabled);
    EXPECT_EQ(persists.auditLogUrl, "https://audit");
    EXPECT_TRUE(log.contains("Received Site Data with gtag mismatch (expected 3, got 4)"));

    getMyPersists()->localDirty = false;
    fetchSiteData(4);
    EXPECT_FALSE(getMyPersists()->localDirty);
}

TEST_F(SiteDocuments, ADocumentWithABrokenSignatureIsIgnored) {
    Json::Value document = parseJson(siteDocument(4, 90));
    document["pollingInterval"] = 1;
    service->on("GET ua/siteData", FakeReply(200, jsonString(document)));
    LogCapture log(1);
    fetchSiteData(4);
    EXPECT_TRUE(getMyPersists()->siteData.empty());
    EXPECT_EQ(getMyPersists()->pollingInterval, 60);
    EXPECT_TRUE(log.contains("Received Site Data with invalid signature -- ignored"));
}

TEST_F(SiteDocuments, LockerConfigurationByTagAndGroupTag) {
    {
        LockScope lock(masterMutex);
        myDevice->platform_type = "Linux x";
        myUser->groupTag = 2;
    }
    service->on("GET aa/archiveLockerConfig?platform=Linux+x", FakeReply(200, "{\"lockers\":1}"));
    LogCapture log(2);
    fetchLockerConfig(5);
    const Persists& persists = *getMyPersists();
    EXPECT_EQ(persists.lockerConfig, "{\"lockers\":1}");
    EXPECT_EQ(persists.ltag, 0) << "no ltag in the configuration";
    EXPECT_EQ(persists.lastGroupTag, 2);
    EXPECT_TRUE(log.contains("Received Locker Configuration with ltag mismatch (expected 5, got 0)"));

    // Only the group tag moved.
    {
        LockScope lock(masterMutex);
        myUser->groupTag = 3;
        myPersists->localDirty = false;
    }
    fetchLockerConfig(5);
    EXPECT_EQ(getMyPersists()->lastGroupTag, 3);
    EXPECT_EQ(getMyPersists()->lockerConfig, "{\"lockers\":1}");

    // Withdrawn: "{}" without a request.
    service->clearLog();
    fetchLockerConfig(0);
    EXPECT_EQ(getMyPersists()->lockerConfig, "{}");
    EXPECT_EQ(getMyPersists()->ltag, 0);
    EXPECT_TRUE(service->requests().empty());
}

class Deployments : public VxMetaTest::SyncTest {
protected:
    static std::shared_ptr<App> app(int32_t deployid) {
        auto record = std::make_shared<App>();
        record->deployid = deployid;
        LockScope lock(masterMutex);
        myApps->push_back(record);
        return record;
    }
    static std::shared_ptr<Deployment> deployment(int32_t id) {
        auto record = std::make_shared<Deployment>();
        record->id = id;
        record->remoteDirty = false;
        LockScope lock(masterMutex);
        myDeployments->push_back(record);
        return record;
    }
};

TEST_F(Deployments, AppsAreLinkedMissingOnesFetchedOnceAndUnreferencedOnesDropped) {
    const auto held = deployment(1);
    const auto unreferenced = deployment(2);
    const auto none = app(0);
    none->deployment = unreferenced;
    const auto first = app(1);
    const auto second = app(3);
    const auto third = app(3);
    const auto failing = app(4);
    const auto alsoFailing = app(4);
    service->on("GET deployment/3/", FakeReply(200, "{\"id\":3,\"name\":\"d3\"}"));
    service->on("GET deployment/4/", FakeReply(400, "{\"Message\":\"no\"}"));
    fetchDeployments();

    EXPECT_FALSE(none->deployment);
    EXPECT_EQ(first->deployment, held);
    ASSERT_TRUE(second->deployment);
    EXPECT_EQ(second->deployment->name, "d3");
    EXPECT_EQ(third->deployment, second->deployment);
    EXPECT_FALSE(failing->deployment);
    EXPECT_FALSE(alsoFailing->deployment);
    EXPECT_EQ(*getMyDeployments(), (RecordList<Deployment>{held, second->deployment}));
    EXPECT_EQ(service->requests(),
              (std::vector<std::string>{"GET deployment/3/", "GET deployment/4/", "GET deployment/4/"}));
    EXPECT_EQ(problemCount(), 2u);
}

} // namespace
