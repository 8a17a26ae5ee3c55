// The bookkeeping of an accepted managed account: the kept password and the contact times are
// written under the master lock (a holder of the lock keeps the writer out), and the state record is
// marked for the store only when a time changed.
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "vxmeta/accounts/managed_account.h"
#include "vxmeta/comm/access_seam.h"
#include "vxmeta/crypto/library_started.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/globals.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/persists.h"
#include "vxmeta/sync/meta_state.h"

using namespace VxMeta;

namespace {

class ManagedAccountCheckedOK : public ::testing::Test {
protected:
    void SetUp() override {
        init();
        mdClearAll(false);
        clock = std::make_shared<ManualClock>(1'700'000'000'000);
        setClock(clock);
    }
    void TearDown() override {
        mdClearAll(false);
        setClock(nullptr);
    }
    std::shared_ptr<ManualClock> clock;
};

TEST_F(ManagedAccountCheckedOK, WaitsForTheMasterLockBeforeWriting) {
    std::promise<void> held;
    std::promise<void> release;
    std::thread holder([&] {
        LockScope lock(masterMutex);
        held.set_value();
        release.get_future().wait();
    });
    held.get_future().wait();
    std::atomic<bool> written{false};
    std::thread writer([&] {
        managedAccountCheckedOK("V2-wrapped|V4-password");
        written = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(written) << "written while another thread held the master lock";
    release.set_value();
    holder.join();
    writer.join();

    LockScope lock(masterMutex);
    EXPECT_EQ(globalState.managedEncPass, "V2-wrapped|V4-password");
    EXPECT_EQ(lastOnlineTime, 1'700'000'000);
    EXPECT_EQ(myPersists->lastManagedLoginTime, 1'700'000'000);
    EXPECT_EQ(myPersists->lastOnlineTime, 1'700'000'000);
    EXPECT_TRUE(myPersists->localDirty);
}

TEST_F(ManagedAccountCheckedOK, MarksTheStateRecordOnlyWhenATimeChanged) {
    struct Case {
        int64_t managedLogin;
        int64_t online;
        bool marked;
    };
    const int64_t now = 1'700'000'000;
    for (const Case c : {Case{now, now, false}, Case{now - 1, now, true}, Case{now, now - 1, true}}) {
        {
            LockScope lock(masterMutex);
            myPersists->lastManagedLoginTime = c.managedLogin;
            myPersists->lastOnlineTime = c.online;
            myPersists->localDirty = false;
        }
        managedAccountCheckedOK("");
        LockScope lock(masterMutex);
        EXPECT_EQ(myPersists->localDirty, c.marked) << c.managedLogin << " " << c.online;
        EXPECT_EQ(myPersists->lastManagedLoginTime, now);
        EXPECT_EQ(myPersists->lastOnlineTime, now);
        EXPECT_TRUE(globalState.managedEncPass.empty());
    }
}

} // namespace
