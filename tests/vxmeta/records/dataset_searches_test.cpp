// The searches of the dataset for a team's key, the user's key of it, and the key an access-request
// notice is about.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "support/signing_fixture.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/asset_key.h"
#include "vxmeta/records/asset_request.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/notification.h"

using namespace VxMeta;

namespace {

class DatasetSearches : public VxMetaTest::LoggedInUser {
protected:
    void SetUp() override {
        LoggedInUser::SetUp();
        LockScope lock(masterMutex);
        mdClear(myAssets);
        mdClear(myKeys);
        mdClear(myRequests);
    }
    void TearDown() override {
        {
            LockScope lock(masterMutex);
            mdClear(myAssets);
            mdClear(myKeys);
            mdClear(myRequests);
        }
        LoggedInUser::TearDown();
    }
    static std::shared_ptr<Asset> holdAsset(const std::string& urn, const std::string& kind, const std::string& cookie) {
        auto asset = std::make_shared<Asset>();
        asset->urn = urn;
        asset->object_kind = kind;
        asset->object_cookie = cookie;
        LockScope lock(masterMutex);
        myAssets->push_back(asset);
        return asset;
    }
    static std::shared_ptr<AssetKey> holdKey(const std::string& asset, const std::string& participant) {
        auto key = std::make_shared<AssetKey>();
        key->asset = asset;
        key->participant = participant;
        LockScope lock(masterMutex);
        myKeys->push_back(key);
        return key;
    }
    static std::shared_ptr<AssetRequest> holdRequest(const std::string& asset, const std::string& participant,
                                                     std::shared_ptr<Asset> link) {
        auto request = std::make_shared<AssetRequest>();
        request->asset = asset;
        request->participant = participant;
        request->assetLink = std::move(link);
        LockScope lock(masterMutex);
        myRequests->push_back(request);
        return request;
    }
};

TEST_F(DatasetSearches, ATeamsKeyIsTheFirstTeamGroupKeyWhoseCookieIsTheTeamIdExactly) {
    holdAsset("file-7", "file", "7");
    holdAsset("TeamGroup-07", "TeamGroup", "07");
    const auto team = holdAsset("TeamGroup-7", "TeamGroup", "7");
    holdAsset("TeamGroup-7b", "TeamGroup", "7");
    const struct {
        int team;
        std::shared_ptr<Asset> expected;
    } cases[] = {{7, team}, {70, nullptr}, {0, nullptr}};
    for (const auto& c : cases) EXPECT_EQ(findTeamAsset(c.team), c.expected) << c.team;
}

TEST_F(DatasetSearches, TheUsersTeamKeyIsItsAssetKeyOfTheTeamsKey) {
    EXPECT_EQ(findMyTeamKey(7), nullptr) << "no team key";
    holdKey("TeamGroup-7", VxMetaTest::ownUrn);
    EXPECT_EQ(findMyTeamKey(7), nullptr) << "an asset key alone, without the team's key";
    holdAsset("TeamGroup-7", "TeamGroup", "7");
    holdKey("TeamGroup-8", VxMetaTest::ownUrn);
    EXPECT_EQ(findMyTeamKey(7), myKeys->at(0));
    {
        LockScope lock(masterMutex);
        myKeys->erase(myKeys->begin());
    }
    const auto others = holdKey("TeamGroup-7", "urn:vx:user/other");
    EXPECT_EQ(findMyTeamKey(7), nullptr) << "another participant's key";
    const auto mine = holdKey("TeamGroup-7", VxMetaTest::ownUrn);
    holdKey("TeamGroup-7", VxMetaTest::ownUrn);
    EXPECT_EQ(findMyTeamKey(7), mine);
}

TEST_F(DatasetSearches, AnAccessRequestNoticeAnswersTheKeyOfItsLastMatchingRequest) {
    const auto first = holdAsset("file-a", "file", "a");
    const auto second = holdAsset("file-b", "file", "b");
    const auto request = holdRequest("file-a", "urn:vx:user/asking", first);
    holdRequest("file-c", "urn:vx:user/asking", first);
    holdRequest("file-a", "urn:vx:user/asking", second);
    Notification notice;
    notice.urn = request->geturn();
    notice.type = "asset_request";
    EXPECT_EQ(notice.getAsset(), second) << "the later of two matching requests";
    notice.urn = "file-z-urn:vx:user/asking";
    EXPECT_EQ(notice.getAsset(), nullptr) << "no matching request";
    notice.urn = request->geturn();
    notice.type = "team_invitation";
    EXPECT_EQ(notice.getAsset(), nullptr) << "not an access-request notice";
}

} // namespace
