#include "vxmeta/sync/meta_state.h"

#include <gtest/gtest.h>

#include "vxmeta/foundation/globals.h"
#include "vxmeta/records/state_access.h"

using namespace VxMeta;

namespace {

TEST(MetaState, StartsWithTheBuiltInKeyAndTheSwitchesOn) {
    // As loaded: nothing in this program has touched the state yet.
    EXPECT_EQ(globalState.mdsPubkey, cmdsPubkey);
    EXPECT_TRUE(globalState.appStatusesSupported);
    EXPECT_TRUE(globalState.appListSupported);
    EXPECT_FALSE(globalState.isolatedMode);
    EXPECT_FALSE(globalState.tdeAgentMode);
    EXPECT_EQ(globalState.upgradeState, 0);
    EXPECT_EQ(globalState.teamId, 0);
    EXPECT_TRUE(globalState.myPrikey.empty());
    EXPECT_FALSE(globalState.personalKey);
    EXPECT_TRUE(globalState.masterKeys.empty());
}

TEST(MetaState, ClearBringsBackAFreshStateAndTheRecordsReadIt) {
    MetaState saved = globalState;
    globalState.mdsPubkey = "V2-other";
    globalState.myPrikey = "der";
    globalState.appListSupported = false;
    globalState.teamGroupUrn = "urn:team";
    EXPECT_EQ(servicePublicKey(), "V2-other");
    EXPECT_EQ(loggedInPrivateKey(), "der");

    globalState.clear();
    EXPECT_EQ(globalState.mdsPubkey, cmdsPubkey);
    EXPECT_TRUE(globalState.myPrikey.empty());
    EXPECT_TRUE(globalState.appListSupported);
    EXPECT_TRUE(globalState.teamGroupUrn.empty());
    EXPECT_EQ(loggedInPrivateKey(), "");

    globalState = saved;
}

} // namespace
