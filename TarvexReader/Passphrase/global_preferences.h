// The application's fixed preferences: how many attempts a password question gets.
#pragma once

#include <cstdint>

namespace TarvexReader {

struct GlobalPreferences {
    std::uint32_t maxNumberOfPasswordAttempts = 3;
};

} // namespace TarvexReader
