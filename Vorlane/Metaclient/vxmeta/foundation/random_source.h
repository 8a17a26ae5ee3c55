// The one source of non-cryptographic randomness (back-off jitter, server shuffling, statistics).
// Keys, IVs and salts never come from here: they come from OpenSSL's generator.
#pragma once

#include <cstdint>
#include <memory>

namespace VxMeta {

class RandomSource {
public:
    virtual ~RandomSource();
    // A uniformly distributed 32-bit value.
    virtual uint32_t next() = 0;
};

// A Mersenne twister seeded once; thread-safe.
class SeededRandomSource : public RandomSource {
public:
    explicit SeededRandomSource(uint32_t seed);
    ~SeededRandomSource() override;
    uint32_t next() override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The source in use.
std::shared_ptr<RandomSource> randomSource();
// Installs a source (null restores a source seeded from the clock). For start-up and tests.
void setRandomSource(std::shared_ptr<RandomSource> replacement);
// Reseeds the default source from the clock (the library's one-time start does this).
void seedRandomSource();
// True while a source given to setRandomSource is in use (tests fix the randomness this way); false
// for the library's own clock-seeded source. Draws that must differ between processes started at
// the same moment (the seed of the server shuffle) come from OpenSSL's generator unless it is true.
bool randomSourceReplaced();

// A value in [low, high], both included; low when high < low.
int64_t randomBetween(int64_t low, int64_t high);
// A value in [0, bound); 0 when bound is 0.
uint64_t randomBelow(uint64_t bound);

} // namespace VxMeta
