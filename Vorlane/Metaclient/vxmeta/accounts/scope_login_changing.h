// ScopeLoginChanging: marks a login change (a sign-in or a logout) in progress for as long as it
// lives; while any is in progress nobody counts as logged in.
#pragma once

#include <cstdint>

namespace VxMeta {

class ScopeLoginChanging {
public:
    // Under the master lock: one more login change in progress.
    ScopeLoginChanging();
    // dispose.
    ~ScopeLoginChanging();
    ScopeLoginChanging(const ScopeLoginChanging&) = delete;
    ScopeLoginChanging& operator=(const ScopeLoginChanging&) = delete;

    // Under the master lock, once per marker: one login change fewer in progress.
    void dispose();
    // Under the master lock: false while a login change is in progress, else whether the global
    // state holds a logged-in private key.
    static bool loggedIn();

    // Login changes in progress; read and written under the master lock.
    static int32_t active;

private:
    bool disposed = false;
};

} // namespace VxMeta
