// CacheOneLookup: a single-entry cache of one key and its value, valid for a fixed number of
// seconds. Readers hold the master lock; set and clear take it themselves.
#pragma once

#include <cstdint>
#include <functional>

#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/lock_scope.h"

namespace VxMeta {

template <typename K, typename V, typename KeyEqual = std::equal_to<K>>
class CacheOneLookup {
public:
    explicit CacheOneLookup(int32_t validitySeconds) : validity(validitySeconds) {}

    // The key equals the stored one and fewer than `validity` seconds passed since it was stored.
    bool isValid(const K& asked) const {
        return stamp != 0 && KeyEqual{}(asked, key) && nowSeconds() - stamp < validity;
    }
    void set(const K& newKey, const V& newValue) {
        LockScope scope(masterMutex);
        stamp = nowSeconds();
        key = newKey;
        value = newValue;
    }
    void clear() {
        LockScope scope(masterMutex);
        stamp = 0;
    }

    const int32_t validity;
    int64_t stamp = 0;
    V value{};
    K key{};
};

} // namespace VxMeta
