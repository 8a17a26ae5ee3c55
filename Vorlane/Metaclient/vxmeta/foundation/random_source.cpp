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
std::atomic<bool> replaced{false};
} // namespace

std::shared_ptr<RandomSource> randomSource() { return std::atomic_load(&installed()); }

void setRandomSource(std::shared_ptr<RandomSource> replacement) {
    replaced = replacement != nullptr;
    if (!replacement) replacement = clockSeeded();
    std::atomic_store(&installed(), std::move(replacement));
}

bool randomSourceReplaced() { return replaced.load(); }

void seedRandomSource() { setRandomSource(nullptr); }

uint64_t randomBelow(uint64_t bound) {
    if (bound == 0) return 0;
    std::shared_ptr<RandomSource> source = randomSource();
    // Draws at or above the last whole multiple of bound below 2^64 would favour small results and are
    // drawn again. A real generator lands there with a probability below one half; an installed fixed
    // source may land there on every draw, so the draws are bounded and the last one is then taken.
    const uint64_t excess = (UINT64_MAX % bound + 1) % bound; // 2^64 mod bound
    const uint64_t limit = 0 - excess;                          // 2^64 - excess; unused when excess is 0
    uint64_t value = 0;
    for (int draw = 0; draw < 64; ++draw) {
        const uint64_t high = source->next();
        const uint64_t low = source->next();
        value = (high << 32) | low;
        if (excess == 0 || value < limit) break;
    }
    return value % bound;
}

int64_t randomBetween(int64_t low, int64_t high) {
    if (high <= low) return low;
    uint64_t span = static_cast<uint64_t>(high) - static_cast<uint64_t>(low) + 1;
    if (span == 0) return low + static_cast<int64_t>(randomBelow(UINT64_MAX)); // the full range
    return static_cast<int64_t>(static_cast<uint64_t>(low) + randomBelow(span));
}

} // namespace VxMeta
