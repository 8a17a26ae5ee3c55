#include "vxmeta/records/field_codec.h"

#include <limits>

#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"

namespace VxMeta {

namespace {

[[noreturn]] void wrongType(const char* key, const char* expected) {
    throw VxMetaException(VXMECAT_PROTOCOL,
                          std::string("Unexpected JSON type for ") + key + " (expected " + expected + ")");
}

// Whole numbers in [low, high) of a double; NaN fails every comparison and so is refused.
bool realInRange(double real, double low, double high) { return real >= low && real < high; }

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
    switch (value.type()) {
    case Json::nullValue:
        return 0;
    case Json::booleanValue:
        return value.asBool() ? 1 : 0;
    case Json::intValue:
    case Json::uintValue:
        if (value.isInt()) return value.asInt();
        break;
    case Json::realValue:
        // As the JSON library: in range, then truncated toward zero.
        if (realInRange(value.asDouble(), std::numeric_limits<int32_t>::min(),
                        static_cast<double>(std::numeric_limits<int32_t>::max()) + 1.0))
            return static_cast<int32_t>(value.asDouble());
        break;
    default:
        break;
    }
    wrongType(key, "32-bit integer");
}

int64_t readInt64(const Json::Value& value, const char* key) {
    switch (value.type()) {
    case Json::nullValue:
        return 0;
    case Json::booleanValue:
        return value.asBool() ? 1 : 0;
    case Json::intValue:
    case Json::uintValue:
        if (value.isInt64()) return value.asInt64();
        break;
    case Json::realValue:
        if (realInRange(value.asDouble(), -9223372036854775808.0, 9223372036854775808.0))
            return static_cast<int64_t>(value.asDouble());
        break;
    default:
        break;
    }
    wrongType(key, "64-bit integer");
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
