// A random source that repeats a given list of values, so tests can fix jitter and shuffling.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "vxmeta/foundation/random_source.h"

namespace VxMeta::testing {

class FixedSource : public RandomSource {
public:
    explicit FixedSource(std::vector<uint32_t> values) : values_(std::move(values)) {}
    uint32_t next() override { return values_[at_++ % values_.size()]; }

private:
    std::vector<uint32_t> values_;
    size_t at_ = 0;
};

} // namespace VxMeta::testing
