// The persisted-state translator over the started library without the service: a name written twice
// keeps its first pair and logs one line, nothing changed gives an empty list, an empty restore
// leaves the dataset alone, and a stored list the library refuses fails with its error and one notice
// posted from the main queue.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/dispatch_queue.h"
#include "Platform/notification_center.h"
#include "Platform/system_log.h"
#include "Vorlane/Errors/vorlane_error.h"
#include "Vorlane/Serialization/metadata_translator.h"
#include "Vorlane/vorlane_constants.h"
#include "support/test_main_loop.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"

using namespace VorlaneBridge;

namespace {

class Translator : public ::testing::Test {
protected:
    void SetUp() override {
        VxMeta::mdClearAll(false);
        VxMeta::vmLogLevel = 0;
        previousSink = Platform::setSystemLogSink([this](const std::string& line) { logged.push_back(line); });
    }
    void TearDown() override {
        Platform::setSystemLogSink(previousSink);
        VxMeta::mdClearAll(false);
        VxMeta::vmLogLevel = 4;
    }

    static std::shared_ptr<VorlaneWrapper> wrapper() {
        // Never destroyed, so the API object it holds stays reachable to the end.
        static const auto* const shared = new std::shared_ptr<VorlaneWrapper>(std::make_shared<VorlaneWrapper>());
        return *shared;
    }
    static void addAsset(const std::string& urn, const std::string& name) {
        auto asset = std::make_shared<VxMeta::Asset>();
        asset->urn = urn;
        asset->name = name;
        asset->localDirty = true;
        VxMeta::LockScope lock(VxMeta::masterMutex);
        VxMeta::getMyAssets()->push_back(asset);
    }
    static std::vector<std::string> namesOf(const std::vector<VLSerial>& pairs) {
        std::vector<std::string> names;
        for (const VLSerial& pair : pairs) names.push_back(pair.name());
        return names;
    }

    MetadataTranslator translator{wrapper()};
    std::vector<std::string> logged;
    Platform::SystemLogSink previousSink;
};

TEST_F(Translator, NameWrittenTwiceKeepsTheFirstPairAndLogsOneLine) {
    addAsset("urn:vx:asset/a", "first");
    addAsset("urn:vx:asset/a", "second");
    addAsset("urn:vx:asset/b", "other");
    Platform::Error error;
    std::optional<std::vector<VLSerial>> pairs = translator.metadataWithChanges(true, &error);
    ASSERT_TRUE(pairs.has_value());
    std::vector<std::string> names = namesOf(*pairs);
    ASSERT_EQ(std::count(names.begin(), names.end(), "asset-urn:vx:asset,a"), 1);
    const auto first = std::find(names.begin(), names.end(), "asset-urn:vx:asset,a") - names.begin();
    EXPECT_NE((*pairs)[first].value().find("\"first\""), std::string::npos);
    EXPECT_LT(first, std::find(names.begin(), names.end(), "asset-urn:vx:asset,b") - names.begin());
    EXPECT_EQ(names.back(), "m-");
    ASSERT_EQ(logged.size(), 1u);
    // The line names the pair, never its value (a value may be a key or the recovery cipher).
    EXPECT_EQ(logged[0], "Duplicate asset-urn:vx:asset,a");

    // Nothing changed since: an empty list, not none.
    pairs = translator.metadataWithChanges(true, &error);
    ASSERT_TRUE(pairs.has_value());
    EXPECT_TRUE(pairs->empty());
}

TEST_F(Translator, EmptyRestoreLeavesTheDatasetAlone) {
    {
        VxMeta::LockScope lock(VxMeta::masterMutex);
        VxMeta::myPID->email = "kept@example.test";
    }
    for (const std::optional<std::vector<VLSerial>>& list :
         {std::optional<std::vector<VLSerial>>(), std::optional<std::vector<VLSerial>>(std::vector<VLSerial>())}) {
        Platform::Error error;
        EXPECT_TRUE(translator.restoreMetadata(list, &error));
        EXPECT_EQ(error, Platform::Error());
        VxMeta::LockScope lock(VxMeta::masterMutex);
        EXPECT_EQ(VxMeta::myPID->email, "kept@example.test");
    }
}

TEST_F(Translator, SavedStateComesBack) {
    addAsset("urn:vx:asset/a", "kept");
    std::optional<std::vector<VLSerial>> pairs = translator.metadataWithChanges(false, nullptr);
    ASSERT_TRUE(pairs.has_value());
    VxMeta::mdClearAll(false);
    Platform::Error error;
    EXPECT_TRUE(translator.restoreMetadata(pairs, &error)) << error.localizedDescription();
    VxMeta::LockScope lock(VxMeta::masterMutex);
    ASSERT_EQ(VxMeta::getMyAssets()->size(), 1u);
    EXPECT_EQ(VxMeta::getMyAssets()->front()->name, "kept");
}

TEST_F(Translator, RefusedStateFailsWithTheLibrarysErrorAndOneNoticeFromTheMainQueue) {
    VxMeta::testing::TestMainLoop loop;
    std::vector<Platform::Notification> notices;
    bool postedOnMain = true;
    Platform::ScopedObserver observer(Platform::NotificationCenter::defaultCenter(), kInvalidMetadata,
                                      [&](const Platform::Notification& notice) {
                                          notices.push_back(notice);
                                          postedOnMain = postedOnMain && loop.main().isCurrent();
                                      });
    addAsset("urn:vx:asset/a", "kept");
    std::optional<std::vector<VLSerial>> pairs = translator.metadataWithChanges(false, nullptr);
    ASSERT_TRUE(pairs.has_value());
    std::erase_if(*pairs, [](const VLSerial& pair) { return pair.name() == "m-"; });

    Platform::Error error;
    EXPECT_FALSE(translator.restoreMetadata(pairs, &error));
    EXPECT_EQ(error.domain, VLErrorDomain);
    EXPECT_EQ(vxmetaCategory(error), VxMeta::VXMECAT_INVALID_METADATA);
    EXPECT_TRUE(notices.empty()) << "posted before the main queue ran";
    loop.runPending();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].object, &translator);
    EXPECT_TRUE(postedOnMain);
    VxMeta::LockScope lock(VxMeta::masterMutex);
    EXPECT_TRUE(VxMeta::getMyAssets()->empty());
}

} // namespace
