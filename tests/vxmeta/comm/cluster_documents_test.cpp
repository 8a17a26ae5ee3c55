#include "vxmeta/comm/cluster_info.h"
#include "vxmeta/comm/site_data.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"

#include <gtest/gtest.h>

using namespace VxMeta;
using TarvexProtocol::ClusterInfo;
using TarvexProtocol::SiteData;

namespace {

TEST(ClusterInfo, EmptyAndPartialDocuments) {
    for (const char* text : {"null", "{}", "[]", R"({"ctag":"t1"})", R"({"ctag":"t1","members":{"a":1}})"}) {
        SCOPED_TRACE(text);
        auto info = ClusterInfo::fromJson(parseJson(text));
        ASSERT_NE(info, nullptr);
        EXPECT_TRUE(info->members.empty());
        EXPECT_EQ(info->ctag, std::string(text).find("t1") == std::string::npos ? "" : "t1");
    }
}

TEST(ClusterInfo, MembersInDocumentOrder) {
    auto info = ClusterInfo::fromJson(parseJson(R"({"ctag":7,"members":[
        {"dataCenter":"dc1","url":"https://a.example/mds/api/v1.0/","isMaster":true,"isOnline":true},
        {"url":"https://b.example//"},
        {"dataCenter":"dc2","url":"https://c.example","isMaster":0,"isOnline":1},
        null]})"));
    ASSERT_EQ(info->members.size(), 4u);
    EXPECT_EQ(info->ctag, "7"); // a number reads in its decimal form
    EXPECT_EQ(info->members[0]->dataCenter, "dc1");
    EXPECT_EQ(info->members[0]->url->fullUrl, "https://a.example/mds");
    EXPECT_TRUE(info->members[0]->isMaster && info->members[0]->isOnline);
    EXPECT_EQ(info->members[1]->dataCenter, "");
    EXPECT_EQ(info->members[1]->url->fullUrl, "https://b.example");
    EXPECT_FALSE(info->members[1]->isMaster || info->members[1]->isOnline);
    EXPECT_FALSE(info->members[2]->isMaster);
    EXPECT_TRUE(info->members[2]->isOnline);
    EXPECT_EQ(info->members[3]->url->fullUrl, ""); // kept here; the evaluator leaves it out
}

TEST(ClusterInfo, SingleServer) {
    auto url = TarvexProtocol::Url::newInstance("https://s.example", "");
    auto info = ClusterInfo::forSingleServer(url);
    ASSERT_EQ(info->members.size(), 1u);
    EXPECT_EQ(info->ctag, "");
    EXPECT_EQ(info->members[0]->dataCenter, "");
    EXPECT_TRUE(info->members[0]->url == url);
    EXPECT_TRUE(info->members[0]->isMaster && info->members[0]->isOnline);
}

TEST(SiteData, ReadsEveryMember) {
    auto site = SiteData::fromJson(parseJson(R"({"updated_at":"2024-01-31T12:00:00Z","gtag":12,
        "auditLogEnabled":true,"auditLogArchiveNonEncrypted":false,"auditLogForensic":1,"auditLogArchiveCopy":true,
        "auditLogTarget":3,"auditLogToken":"tok","auditLogUrl":"https://log","pollingInterval":90.9,"signature":"V2-s"})"));
    EXPECT_EQ(site->updated_at, "2024-01-31T12:00:00Z");
    EXPECT_EQ(site->gtag, 12);
    EXPECT_TRUE(site->auditLogEnabled);
    EXPECT_FALSE(site->auditLogArchiveNonEncrypted);
    EXPECT_TRUE(site->auditLogForensic);
    EXPECT_TRUE(site->auditLogArchiveCopy);
    EXPECT_EQ(site->auditLogTarget, 3);
    EXPECT_EQ(site->auditLogToken, "tok");
    EXPECT_EQ(site->auditLogUrl, "https://log");
    EXPECT_EQ(site->pollingInterval, 90); // truncated toward zero
    EXPECT_EQ(site->signature, "V2-s");

    auto empty = SiteData::fromJson(parseJson("{}"));
    EXPECT_EQ(empty->pollingInterval, 0);
    EXPECT_EQ(empty->signature, "");
    SiteData copy(*site);
    EXPECT_EQ(copy.auditLogUrl, "https://log");
}

TEST(Documents, WrongShapesAreProtocolFailures) {
    const char* clusterDocuments[] = {
        R"("text")", "[1]", "5", R"({"members":[5]})", R"({"members":[{"url":{}}]})",
        R"({"members":[{"isMaster":"yes"}]})", R"({"ctag":[1],"members":[]})",
    };
    for (const char* text : clusterDocuments) {
        SCOPED_TRACE(text);
        try {
            ClusterInfo::fromJson(parseJson(text));
            ADD_FAILURE() << "accepted";
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, VXMECAT_PROTOCOL);
        }
    }
    const char* siteDocuments[] = {"[]", R"("x")", R"({"gtag":"12"})", R"({"pollingInterval":1e30})",
                                   R"({"auditLogEnabled":"true"})", R"({"signature":{}})"};
    for (const char* text : siteDocuments) {
        SCOPED_TRACE(text);
        try {
            SiteData::fromJson(parseJson(text));
            ADD_FAILURE() << "accepted";
        } catch (const VxMetaException& e) {
            EXPECT_EQ(e.category, VXMECAT_PROTOCOL);
        }
    }
}

} // namespace
