// The dataset snapshot: freeze moves the whole state out of the library and leaves it empty, a
// destroyed snapshot frees what nobody else shares, use gives the state back, and the snapshot's log
// lines name it by address.
#include "vxmeta/sync/dataset.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/asset.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/records/pid.h"

using namespace VxMeta;

namespace {

std::vector<std::pair<int, std::string>> lines;
void collect(int level, const std::string& text) { lines.emplace_back(level, text); }

std::shared_ptr<Asset> addAsset(const std::string& urn) {
    auto asset = std::make_shared<Asset>();
    asset->urn = urn;
    LockScope lock(masterMutex);
    myAssets->push_back(asset);
    return asset;
}

TEST(Dataset, FreezeOnALibraryNeverStartedStartsItAndSnapshotsAnEmptyState) {
    // Each test runs in a process of its own: nothing has started the library yet.
    ASSERT_FALSE(didInit.load());
    ASSERT_FALSE(myAssets);
    Dataset snapshot;
    snapshot.freeze();
    EXPECT_TRUE(didInit.load());
    ASSERT_TRUE(snapshot.assets);
    EXPECT_TRUE(snapshot.assets->empty());
    ASSERT_TRUE(myAssets);
    EXPECT_TRUE(myAssets->empty());
    EXPECT_EQ(snapshot.state.mdsPubkey, cmdsPubkey);
}

TEST(Dataset, FreezeMovesTheStateOutAndLeavesFreshOnes) {
    init();
    std::shared_ptr<Asset> kept = addAsset("urn:kept");
    std::weak_ptr<Asset> dropped = addAsset("urn:dropped");
    {
        LockScope lock(masterMutex);
        myPID->urn = "urn:me";
        globalState.mdsPubkey = "V2-satellite";
        globalState.myPrikey = "der";
        globalState.appListSupported = false;
    }
    const ClusterEvaluatorPtr evaluator = getMyClusterEvaluator();
    const ClusterServersPtr registry = getMyClusterServers();
    std::weak_ptr<PID> formerPid = myPID;

    auto snapshot = std::make_unique<Dataset>();
    snapshot->freeze();

    // The library: fresh records, lists, state and servers.
    EXPECT_TRUE(myAssets->empty());
    EXPECT_EQ(myPID->urn, "");
    EXPECT_EQ(globalState.mdsPubkey, cmdsPubkey);
    EXPECT_EQ(myPersists->mdsPubkey, cmdsPubkey);
    EXPECT_TRUE(globalState.myPrikey.empty());
    EXPECT_TRUE(globalState.appListSupported);
    EXPECT_NE(getMyClusterEvaluator(), evaluator);
    EXPECT_NE(getMyClusterServers(), registry);
    // The snapshot: the former objects, shared.
    ASSERT_EQ(snapshot->assets->size(), 2u);
    EXPECT_EQ(snapshot->assets->front(), kept);
    EXPECT_EQ(snapshot->pid->urn, "urn:me");
    EXPECT_EQ(snapshot->state.mdsPubkey, "V2-satellite");
    EXPECT_EQ(snapshot->state.myPrikey, "der");
    EXPECT_FALSE(snapshot->state.appListSupported);
    EXPECT_EQ(snapshot->clusterEvaluator, evaluator);
    EXPECT_EQ(snapshot->clusterServers, registry);

    // Destroyed: what nobody else holds is freed; a caller's copy stays valid.
    snapshot.reset();
    EXPECT_TRUE(dropped.expired());
    EXPECT_TRUE(formerPid.expired());
    EXPECT_EQ(kept->urn, "urn:kept");
}

TEST(Dataset, UseGivesTheSnapshotBackAndALaterFreezeMovesItAgain) {
    init();
    std::shared_ptr<Asset> asset = addAsset("urn:a");
    {
        LockScope lock(masterMutex);
        globalState.myPrikey = "der";
    }
    const ClusterEvaluatorPtr evaluator = getMyClusterEvaluator();
    Dataset first;
    first.freeze();
    addAsset("urn:while-frozen");

    first.use();
    ASSERT_EQ(myAssets->size(), 1u);
    EXPECT_EQ(myAssets->front(), asset);
    EXPECT_EQ(myAssets, first.assets); // shared with the snapshot
    EXPECT_EQ(globalState.myPrikey, "der");
    EXPECT_EQ(getMyClusterEvaluator(), evaluator);

    Dataset second;
    second.freeze();
    EXPECT_TRUE(myAssets->empty());
    ASSERT_EQ(second.assets->size(), 1u);
    EXPECT_EQ(second.assets->front(), asset);
    EXPECT_EQ(second.state.myPrikey, "der");

    // A snapshot never frozen gives empty objects, never null ones.
    Dataset empty;
    empty.use();
    ASSERT_TRUE(myAssets && myPID && myPersists);
    EXPECT_TRUE(myAssets->empty());
    EXPECT_EQ(globalState.mdsPubkey, cmdsPubkey);
    EXPECT_TRUE(getMyClusterEvaluator());
}

TEST(Dataset, LogLinesNameTheSnapshotByAddressOnlyAtDetailLevel) {
    init();
    logCallback = collect;
    {
        Dataset quiet;
        quiet.freeze();
        quiet.use();
    }
    EXPECT_TRUE(lines.empty()); // level 4, this system's level

    setLogLevel(5);
    char prefix[64];
    {
        Dataset loud;
        // The address is formatted while the object lives: a pointer to it must not outlive the scope.
        std::snprintf(prefix, sizeof prefix, "Dataset(%p) ", static_cast<const void*>(&loud));
        loud.freeze();
        loud.use();
    }
    setLogLevel(4);
    logCallback = nullptr;
    std::vector<std::string> own;
    for (const auto& [level, text] : lines)
        if (text.starts_with("Dataset(")) {
            EXPECT_EQ(level, 5);
            own.push_back(text);
        }
    EXPECT_EQ(own, (std::vector<std::string>{std::string(prefix) + "created", std::string(prefix) + "freeze",
                                             std::string(prefix) + "use", std::string(prefix) + "destroyed"}));
}

TEST(Dataset, ClearingTheStateWipesTheSecretsItHeld) {
    // Longer than any in-place text, so that the bytes live in a buffer that the state keeps.
    const std::string secret(100, 'k');
    globalState.myPrikey = secret;
    globalState.teamGroupPrikey = secret;
    globalState.managedEncPass = secret;
    const std::vector<const char*> buffers = {globalState.myPrikey.data(), globalState.teamGroupPrikey.data(),
                                              globalState.managedEncPass.data()};
    globalState.clear();
    EXPECT_TRUE(globalState.myPrikey.empty());
    ASSERT_EQ(globalState.myPrikey.data(), buffers[0]);
    ASSERT_EQ(globalState.teamGroupPrikey.data(), buffers[1]);
    ASSERT_EQ(globalState.managedEncPass.data(), buffers[2]);
    for (const char* buffer : buffers)
        EXPECT_EQ(std::string(buffer, secret.size()), std::string(secret.size(), '\0'));
}

} // namespace
