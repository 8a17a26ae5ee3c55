#include "Vorlane/Policy/policy_keys.h"

#include <cmath>

namespace VorlaneBridge {

std::optional<uint64_t> policyUnsigned(const Json::Value& value) {
    if (value.isBool()) return value.asBool() ? 1 : 0;
    if (value.isUInt64()) return value.asUInt64();
    if (value.isDouble()) {
        const double number = value.asDouble();
        if (number >= 0 && number < 18446744073709551616.0 && std::floor(number) == number)
            return static_cast<uint64_t>(number);
    }
    return std::nullopt;
}

std::optional<bool> policyBool(const Json::Value& value) {
    if (value.isBool()) return value.asBool();
    if (value.isNumeric()) return value.asDouble() != 0;
    return std::nullopt;
}

uint64_t optionStateForKey(const Json::Value& policy, const char* key, uint64_t fallback) {
    if (!policy.isObject()) return fallback;
    const std::optional<uint64_t> state = policyUnsigned(policy[key]);
    return state && *state <= 3 ? *state : fallback;
}

uint64_t tvPolicyPasswordPosition(const Json::Value& value) {
    const std::optional<uint64_t> position = policyUnsigned(value);
    return position && *position <= 2 ? *position : 0;
}

} // namespace VorlaneBridge
