#include "vxmeta/foundation/clock.h"

#include <atomic>
#include <chrono>

namespace VxMeta {

Clock::~Clock() = default;

int64_t SystemClock::nowSeconds() const {
    using namespace std::chrono;
    return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

int64_t SystemClock::nowMillis() const {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

ManualClock::ManualClock(int64_t startMillis) : millis_(std::make_shared<std::atomic<int64_t>>(startMillis)) {}
int64_t ManualClock::nowSeconds() const { return millis_->load() / 1000; }
int64_t ManualClock::nowMillis() const { return millis_->load(); }
void ManualClock::setMillis(int64_t millis) { millis_->store(millis); }
void ManualClock::advanceSeconds(int64_t seconds) { millis_->fetch_add(seconds * 1000); }
void ManualClock::advanceMillis(int64_t millis) { millis_->fetch_add(millis); }

namespace {
std::shared_ptr<const Clock>& installed() {
    static std::shared_ptr<const Clock> current = std::make_shared<SystemClock>();
    return current;
}
} // namespace

const Clock& currentClock() {
    // The calling thread keeps the clock it was handed, so the reference outlives a replacement.
    thread_local std::shared_ptr<const Clock> handedOut;
    handedOut = std::atomic_load(&installed());
    return *handedOut;
}
int64_t nowSeconds() { return std::atomic_load(&installed())->nowSeconds(); }
int64_t nowMillis() { return std::atomic_load(&installed())->nowMillis(); }

void setClock(std::shared_ptr<const Clock> replacement) {
    if (!replacement) replacement = std::make_shared<SystemClock>();
    std::atomic_store(&installed(), std::move(replacement));
}

} // namespace VxMeta
