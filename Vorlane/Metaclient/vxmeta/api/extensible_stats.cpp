#include "vxmeta/api/extensible_stats.h"

#include <ctime>
#include <memory>
#include <vector>

#include "vxmeta/access/access_checks.h"
#include "vxmeta/api/stat_state.h"
#include "vxmeta/comm/vcsr.h"
#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/json.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/random_source.h"
#include "vxmeta/foundation/text.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/device.h"
#include "vxmeta/records/persists.h"

namespace VxMeta {

namespace {

constexpr int64_t kMinDelaySeconds = 60;
constexpr int64_t kMaxDelaySeconds = 3600;

// Sets the state record's next send time (marked locally changed when it moves); nothing without a
// state record.
void setNextSendTime(int64_t when) {
    LockScope master(masterMutex);
    if (!myPersists || myPersists->extStatsNextSendTime == when) return;
    myPersists->extStatsNextSendTime = when;
    myPersists->localDirty = true;
}

// now + a random delay of 60 to 3600 seconds, stored as the next send time; the delay drawn.
int64_t scheduleAfterRandomDelay() {
    const int64_t delay = randomBetween(kMinDelaySeconds, kMaxDelaySeconds);
    setNextSendTime(nowSeconds() + delay);
    return delay;
}

int localHour(int64_t seconds) {
    const std::time_t now = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_hour;
}

} // namespace

void updateStat(const std::string& kind, const std::string& qualifier, int64_t value, bool increment, bool log) {
    LockScope scope(statState.lock);
    if (!statState.enabled) return;
    Day& day = statState.days[todayYMD()];
    day.dirty = true;
    int64_t& counter = day.counters[kind][qualifier];
    // Counters wrap instead of overflowing.
    counter = increment ? static_cast<int64_t>(static_cast<uint64_t>(counter) + static_cast<uint64_t>(value))
                        : value;
    if (!log) return;
    if (increment)
        VXLOG(4, "ExtStat Incremented kind=%s qualifier=%s - value is %lld", kind.c_str(), qualifier.c_str(),
              static_cast<long long>(counter));
    else
        VXLOG(4, "ExtStat Set kind=%s qualifier=%s - value is %lld", kind.c_str(), qualifier.c_str(),
              static_cast<long long>(counter));
}

void checkSendExtensibleStats() {
    if (!loggedIn()) return;
    int64_t nextSendTime = 0;
    {
        LockScope master(masterMutex);
        if (!myDevice || myDevice->id == 0) return;
        if (myPersists) nextSendTime = myPersists->extStatsNextSendTime;
    }
    const int64_t now = nowSeconds();
    if (nextSendTime > 0) {
        if (now > nextSendTime) sendExtensibleStats(false);
        return;
    }
    {
        LockScope scope(statState.lock);
        if (statState.days.size() == statState.days.count(todayYMD())) return;
    }
    if (localHour(now) != 0) {
        sendExtensibleStats(false);
        return;
    }
    const int64_t delay = scheduleAfterRandomDelay();
    VXLOG(4, "Found eligible Extensible Stats to send - scheduled for %d seconds from now", static_cast<int>(delay));
}

void sendExtensibleStats(bool includeToday) {
    VCSR executor;
    const std::string today = todayYMD();
    Days copy;
    {
        LockScope scope(statState.lock);
        copy = statState.days;
    }
    bool failed = false;
    for (const auto& [date, day] : copy) {
        if (!includeToday && date == today) continue;
        try {
            const std::string body = jsonString(day.toPDU(date)) + "\n";
            VXLOG(4, "Posting extensible Stats - %s", body.c_str());
            executor.post("extensiblestats", body);
        } catch (const VxMetaException& e) {
            VXLOG(1, "Error when trying to send Extensible Stats - %s", e.message.c_str());
            failed = true;
            break;
        }
        LockScope scope(statState.lock);
        statState.days.erase(date);
    }
    if (failed) {
        const int64_t delay = scheduleAfterRandomDelay();
        VXLOG(4, "Rescheduled next Extensible Stats send time to %d seconds from now", static_cast<int>(delay));
        return;
    }
    VXLOG(4, "All eligible Extensible Stats sent OK");
    LockScope master(masterMutex);
    if (myPersists && myPersists->extStatsNextSendTime != 0) {
        myPersists->extStatsNextSendTime = 0;
        myPersists->localDirty = true;
    }
}

} // namespace VxMeta
