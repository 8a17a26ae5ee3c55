#include "vxmeta/foundation/random_source.h"

#include <atomic>
#include <mutex>
#include <random>

#include "vxmeta/foundation/clock.h"

namespace VxMeta {

RandomSource::~RandomSource() = default;

struct SeededRandomSource::State {
    std::mutex mutex;
    std::mt19937 engine;
};

SeededRandomSource::SeededRandomSource(uint32_t seed) : state_(std::make_unique<State>()) {
    state_->engine.seed(seed);
}

SeededRandomSource::~SeededRandomSource() = default;

uint32_t SeededRandomSource::next() {
    std::lock_guard<std::mutex> guard(state_->mutex);
    return static_cast<uint32_t>(state_->engine());
}

namespace {
std::shared_ptr<RandomSource> clockSeeded() {
    return std::make_shared<SeededRandomSource>(static_cast<uint32_t>(nowMillis()));
}
std::shared_ptr<RandomSource>& installed() {
    static std::shared_ptr<RandomSource> current = clockSeeded();
    return current;
}
} // namespace

std::shared_ptr<RandomSource> randomSource() { return std::atomic_load(&installed()); }

void setRandomSource(std::shared_ptr<RandomSource> replacement) {
    if (!replacement) replacement = clockSeeded();
    std::atomic_store(&installed(), std::move(replacement));
}

void seedRandomSource() { setRandomSource(nullptr); }

uint64_t randomBelow(uint64_t bound) {
    if (bound == 0) return 0;
    std::shared_ptr<RandomSource> source = randomSource();
    // Rejection sampling over 64 bits built from two draws keeps the result unbiased.
    const uint64_t limit = UINT64_MAX - (UINT64_MAX % bound);
    for (;;) {
        uint64_t value = (static_cast<uint64_t>(source->next()) << 32) | source->next();
        if (value < limit) return value % bound;
    }
}

int64_t randomBetween(int64_t low, int64_t high) {
    if (high <= low) return low;
    uint64_t span = static_cast<uint64_t>(high) - static_cast<uint64_t>(low) + 1;
    if (span == 0) return low + static_cast<int64_t>(randomBelow(UINT64_MAX)); // the full range
    return static_cast<int64_t>(static_cast<uint64_t>(low) + randomBelow(span));
}

} // namespace VxMeta
