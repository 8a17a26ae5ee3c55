// The indexes over one dataset list that the merges and the sweeps use: by URN (URNMap), by the
// service's numeric id (IDMap) and both (DualMap, with the merge of one fetched record into the held
// one). They share the list's records, never copy them, and live for one call.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/vx_metadata.h"

namespace VxMeta {

// The records of a list by URN; of two records with one URN the later in list order is held. Its
// entries and their URN texts live in one arena of its own, freed as a whole with the map: a pass
// builds and drops several maps over every record, and per-entry heap blocks scattered over a large
// heap made that cost grow faster than the lists.
template <class T>
class URNMap {
public:
    // Looked up by any text (no copy of the probe).
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
    };
    using Map = std::pmr::unordered_map<std::pmr::string, std::shared_ptr<T>, Hash, std::equal_to<>>;

    URNMap() : arena(std::make_unique<std::pmr::monotonic_buffer_resource>()) { map.emplace(arena.get()); }
    // Indexes every record under the master lock; with clearMarks, clears each record's sweep mark.
    URNMap(const RecordListPtr<T>& list, bool clearMarks) : URNMap() {
        LockScope lock(masterMutex);
        if (!list) return;
        map->reserve(list->size());
        for (const std::shared_ptr<T>& record : *list) {
            if (!record) continue;
            if (clearMarks) record->marked = false;
            add(record);
        }
    }
    URNMap(URNMap&& other) noexcept : arena(std::move(other.arena)), map(std::move(other.map)) { other.map.reset(); }
    URNMap& operator=(URNMap&& other) noexcept {
        if (this != &other) {
            // The entries go before the arena that holds them; the taken map keeps its own arena.
            map.reset();
            arena = std::move(other.arena);
            map.emplace(std::move(*other.map));
            other.map.reset();
        }
        return *this;
    }
    URNMap(const URNMap&) = delete;
    URNMap& operator=(const URNMap&) = delete;
    ~URNMap() { map.reset(); }

    // The held record of that URN, or null.
    std::shared_ptr<T> find(const std::string& urn) const {
        auto found = map->find(std::string_view(urn));
        return found == map->end() ? nullptr : found->second;
    }
    // Holds the record under its current URN, replacing the entry of that URN.
    void add(const std::shared_ptr<T>& record) {
        const std::string urn = record->geturn();
        (*map)[std::pmr::string(urn, arena.get())] = record;
    }
    // Under the master lock, forgets the entry of the record's current URN (before a change of the
    // members that form it; add it again afterwards).
    void remove(const std::shared_ptr<T>& record) {
        LockScope lock(masterMutex);
        const std::string urn = record->geturn();
        const auto found = map->find(std::string_view(urn));
        if (found != map->end()) map->erase(found);
    }
    void clear() { map->clear(); }
    void reserve(size_t count) { map->reserve(count); }
    size_t size() const { return map->size(); }

private:
    std::unique_ptr<std::pmr::monotonic_buffer_resource> arena;
    std::optional<Map> map;
};

// The records of a list by id (every record, id 0 included; of two records with one id the later in
// list order is held). The sweep of a data-memo pass keeps its marks here, in the map: a mark set or
// cleared by the pass is its own and no other pass (another thread's reconciliation pass among them)
// can change it. Only the records the pass has seen (filled or added) can be removed by its sweep.
template <class T>
class IDMap {
public:
    IDMap() = default;
    // Indexes every record under the master lock; no mark is touched.
    explicit IDMap(const RecordListPtr<T>& list) {
        LockScope lock(masterMutex);
        if (!list) return;
        map.reserve(list->size());
        for (const std::shared_ptr<T>& record : *list)
            if (record) map[static_cast<int64_t>(record->id)] = record;
    }

    // Indexes each record of the list, in order, and marks it. The caller holds the master lock.
    void fillMark(const RecordListPtr<T>& list) {
        if (!list) return;
        map.reserve(map.size() + list->size());
        marks.reserve(marks.size() + list->size());
        for (const std::shared_ptr<T>& record : *list) {
            if (!record) continue;
            map[static_cast<int64_t>(record->id)] = record;
            marks[record] = true;
        }
    }
    // Indexes one record, replacing the entry of its id; its mark is unset.
    void add(const std::shared_ptr<T>& record) {
        map[static_cast<int64_t>(record->id)] = record;
        marks[record] = false;
    }
    // Sets or clears the mark of the record held for the id; an unknown id is ignored.
    void mark(int64_t id) { setMarkOf(id, true); }
    void unmark(int64_t id) { setMarkOf(id, false); }
    void setMark(const std::shared_ptr<T>& record, bool value) { marks[record] = value; }

    // The record held for the id, or null.
    std::shared_ptr<T> find(int64_t id) const {
        auto found = map.find(id);
        return found == map.end() ? nullptr : found->second;
    }
    // Whether the id is held and its record marked.
    bool isMarkedId(int64_t id) const {
        auto found = map.find(id);
        return found != map.end() && isMarked(found->second);
    }
    bool isMarked(const std::shared_ptr<T>& record) const {
        auto found = marks.find(record);
        return found != marks.end() && found->second;
    }
    // Whether the id is held and its record unmarked.
    bool isUnmarkedId(int64_t id) const {
        auto found = map.find(id);
        return found != map.end() && !isMarked(found->second);
    }

    // The sweep of this pass: erases, in one stable pass, every record that the pass has seen and
    // left unmarked, unless it holds an unsent change. Records the pass has not seen stay. The caller
    // holds the master lock.
    void removeUnmarked(RecordList<T>& list) const {
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [this](const std::shared_ptr<T>& r) {
                                      if (!r || r->remoteDirty) return false;
                                      auto found = marks.find(r);
                                      return found != marks.end() && !found->second;
                                  }),
                   list.end());
    }

    size_t size() const { return map.size(); }

    std::unordered_map<int64_t, std::shared_ptr<T>> map;

private:
    void setMarkOf(int64_t id, bool value) {
        auto found = map.find(id);
        if (found != map.end()) marks[found->second] = value;
    }

    std::unordered_map<std::shared_ptr<T>, bool> marks;
};

// Both indexes over the records a list holds when the map is made, built then (the URN index first;
// the clear-marks flag clears their marks): a merge that changes a member forming a held record's URN
// leaves that record under the URN it had, so a later fetched record still finds the record that held
// its URN before the merges. Records appended since are never indexed.
template <class T>
class DualMap {
public:
    DualMap(const RecordListPtr<T>& list, bool clearMarks) : urns(list, clearMarks), ids(list) {}

    // Merges a fetched record into the held record of its id, or else of its URN, and marks that
    // record; false when none matches. The caller holds the master lock. The service's copy wins: a
    // held record with unsent local changes takes it all the same (and the loss is logged).
    bool updateFrom(const std::shared_ptr<T>& fetched) {
        std::shared_ptr<T> match = ids.find(static_cast<int64_t>(fetched->id));
        if (!match) match = urns.find(fetched->geturn());
        if (!match) return false;
        if (match->remoteDirty && *match != *fetched)
            VXLOG(2, "The service's copy of %s replaces changes not yet sent", match->getSuffix().c_str());
        match->copyUpdate(*fetched);
        match->marked = true;
        return true;
    }

    URNMap<T> urns;
    IDMap<T> ids;
};

} // namespace VxMeta
