// The one clock of the library. Everything in it that needs the time (back-off, caches, offline time,
// dates) reads it here, so tests can install a clock of their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

namespace VxMeta {

class Clock {
public:
    virtual ~Clock();
    virtual int64_t nowSeconds() const = 0; // seconds since the Unix epoch
    virtual int64_t nowMillis() const = 0;  // milliseconds since the Unix epoch
};

// The system clock.
class SystemClock : public Clock {
public:
    int64_t nowSeconds() const override;
    int64_t nowMillis() const override;
};

// A clock that moves only when told; for tests. Safe to move on one thread while others read it.
class ManualClock : public Clock {
public:
    explicit ManualClock(int64_t startMillis = 0);
    int64_t nowSeconds() const override;
    int64_t nowMillis() const override;
    void setMillis(int64_t millis);
    void advanceSeconds(int64_t seconds);
    void advanceMillis(int64_t millis);

private:
    // Shared so copies follow the same time; atomic so a test may move it while library threads read it.
    std::shared_ptr<std::atomic<int64_t>> millis_;
};

// The clock in use; the system clock unless one was installed. The reference stays valid on the
// calling thread until its next call, even when another clock is installed meanwhile.
const Clock& currentClock();
int64_t nowSeconds();
int64_t nowMillis();
// Installs a clock (null restores the system clock). Meant for start-up and tests.
void setClock(std::shared_ptr<const Clock> replacement);

} // namespace VxMeta
