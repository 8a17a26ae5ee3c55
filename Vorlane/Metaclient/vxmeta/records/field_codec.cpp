#include "vxmeta/records/field_codec.h"

#include <cmath>
#include <limits>

#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"

namespace VxMeta {

namespace {

[[noreturn]] void wrongType(const char* key, const char* expected) {
    throw VxMetaException(VXMECAT_PROTOCOL,
                          std::string("Unexpected JSON type for ") + key + " (expected " + expected + ")");
}

// A signed integer of Int: null is 0, a boolean 0 or 1, an integer or real as the JSON library
// reads it (a real in range, truncated toward zero); anything else, or out of range, fails.
template <class Int>
Int readInteger(const Json::Value& value, const char* key, const char* expected) {
    switch (value.type()) {
    case Json::nullValue:
        return 0;
    case Json::booleanValue:
        return value.asBool() ? 1 : 0;
    case Json::intValue:
    case Json::uintValue:
        if constexpr (sizeof(Int) == sizeof(int32_t)) {
            if (value.isInt()) return value.asInt();
        } else {
            if (value.isInt64()) return value.asInt64();
        }
        break;
    case Json::realValue: {
        // [-2^digits, 2^digits), both bounds exact in a double; NaN fails every comparison.
        const double bound = std::ldexp(1.0, std::numeric_limits<Int>::digits);
        const double real = value.asDouble();
        if (real >= -bound && real < bound) return static_cast<Int>(real);
        break;
    }
    default:
        break;
    }
    wrongType(key, expected);
}

} // namespace

std::string readText(const Json::Value& value, const char* key) {
    switch (value.type()) {
    case Json::nullValue:
    case Json::stringValue:
    case Json::booleanValue:
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue:
        return value.asString();
    default:
        wrongType(key, "text");
    }
}

int32_t readInt32(const Json::Value& value, const char* key) {
    return readInteger<int32_t>(value, key, "32-bit integer");
}

int64_t readInt64(const Json::Value& value, const char* key) {
    return readInteger<int64_t>(value, key, "64-bit integer");
}

bool readBool(const Json::Value& value, const char* key) {
    switch (value.type()) {
    case Json::nullValue:
    case Json::booleanValue:
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue:
        return value.asBool();
    default:
        wrongType(key, "boolean");
    }
}

} // namespace VxMeta
