// Usage statistics: counters per local day, by kind and qualifier, that the host records through the
// API object; each day is sent to the service ("extensiblestats") by the first synchronization after
// it is over, and forgotten once sent. A failed send is retried 60 to 3600 seconds later; a send due
// in the local hour after midnight is put off by such a delay too. The days live in stat_state.h.
#pragma once

#include <cstdint>
#include <string>

namespace VxMeta {

// Changes one counter of today (local date): adds the value when increment, else sets it. Nothing
// while counting is disabled. With log, the new value is written at level 4.
void updateStat(const std::string& kind, const std::string& qualifier, int64_t value, bool increment, bool log);

// The send check of each synchronization (run with the sync lock held, without the master lock):
// nothing unless a user is logged in and the device has an id. A scheduled send
// (Persists extStatsNextSendTime above 0) runs once its time has passed; otherwise past days are
// sent at once, or scheduled 60 to 3600 seconds ahead when the local hour is 0.
void checkSendExtensibleStats();

// Posts each recorded day (today only with includeToday) and forgets each one sent; the first failure
// stops the run and schedules a retry 60 to 3600 seconds ahead. A run that sent every day clears the
// schedule.
void sendExtensibleStats(bool includeToday);

} // namespace VxMeta
