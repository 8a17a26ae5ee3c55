// The usage statistics state: counters per local day ("%Y-%m-%d"), by kind and qualifier, with the
// pairs that carry them in the persisted store ("xstat-" and the date; the value is the day's details
// array [{"kind", "qualifier" (left out when empty), "value"}] in compact JSON with a line end, null
// for a day without counters). Recording and sending days come with the statistics API.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <json/value.h>

#include "vxmeta/sync/persisted_store.h"

namespace VxMeta {

// The values of one kind by qualifier (which may be empty).
using Counter = std::map<std::string, int64_t>;

// One day's counters by kind; dirty from a change until a save writes the day.
class Day {
public:
    std::map<std::string, Counter> counters;
    bool dirty = false;

    // The details array; null for a day without counters.
    Json::Value toJSON() const;
    // Sets the counters named in a details array; others keep their values. Elements that are not
    // objects are skipped; a member of the wrong type is a failure.
    void fromJSON(const Json::Value& details);
};

using Days = std::map<std::string, Day>;

class StatState {
public:
    // The statistics lock; a leaf, taken after the sync and master locks.
    std::recursive_mutex lock;
    Days days;
    bool enabled = true;
    // Days whose dirty flag the last changes-only save cleared.
    std::vector<std::string> savedDays;
};

extern StatState statState;

// Appends one pair per recorded day (only the dirty days when changedOnly; a written day is no longer
// dirty) and enters every day's name into the store's saved names. The caller holds the master lock.
void serializeStats(SerialList& pairs, bool changedOnly);
// Restores the counters of one day from a stored value; a value that is not JSON changes nothing.
void restoreStat(const std::string& date, const std::string& value);
// The days written by the last changes-only save become dirty again.
void statsWereNotSaved();

} // namespace VxMeta
