// The dataset globals: null until the library starts, shared (not copied) by the accessors, and
// replaced by mdClear without disturbing whoever still holds the old record or list.
#include "vxmeta/records/dataset_lists.h"

#include <memory>

#include <gtest/gtest.h>

#include "vxmeta/records/etag.h"
#include "vxmeta/records/persists.h"

using namespace VxMeta;

namespace {

// Taken while the library loads, before any test can install records.
const bool everyGlobalNullAtLoad =
    !getMyPersists() && !getMyPID() && !getMySID() && !getMyUser() && !getMyDevice() && !getMyDeployments() &&
    !getMyApps() && !getMyXPIDs() && !getMyCAJoins() && !getMyAssets() && !getMyRights() && !getMyKeys() &&
    !getMyRequests() && !getMyFeatures() && !getMyContingencyGroups() && !getMyContingencyKeys() &&
    !getMyContingencyMasterKeys() && !getMyAppDatas() && !getMyTeamDatas() && !getMyUploads() &&
    !getMyMFAPairs() && !getMyTeamAuthorities();

TEST(DatasetLists, AccessorsAreNullBeforeTheLibraryStarts) { EXPECT_TRUE(everyGlobalNullAtLoad); }

TEST(DatasetLists, MdClearInstallsFreshObjectsAndOldHoldersKeepTheirs) {
    mdClear(myPersists);
    std::shared_ptr<Persists> held = getMyPersists();
    ASSERT_TRUE(held);
    EXPECT_EQ(held.get(), myPersists.get()); // shared, not copied
    EXPECT_EQ(held->pollingInterval, 60);
    EXPECT_TRUE(held->localDirty && held->remoteDirty);
    held->siteData = "old";

    mdClear(myPersists);
    EXPECT_NE(getMyPersists().get(), held.get());
    EXPECT_EQ(getMyPersists()->siteData, "");
    EXPECT_EQ(held->siteData, "old");

    mdClear(myAssets);
    RecordListPtr<Asset> heldList = getMyAssets();
    ASSERT_TRUE(heldList);
    EXPECT_TRUE(heldList->empty());
    mdClear(myAssets);
    EXPECT_NE(getMyAssets().get(), heldList.get());
}

TEST(DatasetLists, MLockCloneCopiesRecordsAndSharesListEntries) {
    auto record = std::make_shared<Etag>();
    record->etag = 3;
    record->localDirty = false;
    std::shared_ptr<Etag> copy = MLockClone(record);
    ASSERT_NE(copy.get(), record.get());
    EXPECT_EQ(copy->etag, 3);
    EXPECT_FALSE(copy->localDirty);
    copy->etag = 4;
    EXPECT_EQ(record->etag, 3);

    auto list = std::make_shared<RecordList<Etag>>(RecordList<Etag>{record});
    RecordListPtr<Etag> listCopy = MLockClone(list);
    ASSERT_NE(listCopy.get(), list.get());
    ASSERT_EQ(listCopy->size(), 1u);
    EXPECT_EQ((*listCopy)[0].get(), record.get());
    EXPECT_EQ(MLockClone(std::shared_ptr<Etag>()), nullptr);
}

} // namespace
