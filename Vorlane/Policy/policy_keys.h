// The names in the organisation's archive policy: the team-data kinds of the policy and of its
// contingency keys, the JSON keys of the policy value, and the lenient readers of its values.
#pragma once

#include <cstdint>
#include <optional>

#include <json/value.h>

namespace VorlaneBridge {

inline constexpr char teamDataKindTarvexPolicy[] = "Satellite Policy";
inline constexpr char teamDataKindContingencyKey[] = "Satellite Policy Contingency";

// Comma-separated identifiers of the contingency keys to apply; also the prefix of a contingency
// record's name.
inline constexpr char KEY_CERTIFICATE_IDS[] = "cert_id";
inline constexpr char KEY_CREATE[] = "zip_create";
inline constexpr char KEY_CRYPT[] = "zip_crypt";
inline constexpr char KEY_CRYPT_PWD[] = "zip_crypt_pwd";
inline constexpr char KEY_CRYPT_SKEY[] = "zip_crypt_skey";
inline constexpr char KEY_CRYPT_ALG[] = "zip_crypt_alg";
inline constexpr char KEY_SIGNING[] = "zip_sign";
inline constexpr char KEY_SIGN_ALG[] = "zip_sign_alg";
inline constexpr char KEY_PWD_CHECK[] = "pwd_chk";
inline constexpr char KEY_PWD_MIN_LENGTH[] = "pwd_min";
inline constexpr char KEY_PWD_MAX_LENGTH[] = "pwd_max";
inline constexpr char KEY_PWD_MAX_NUM_REPEATS[] = "pwd_rep";
inline constexpr char KEY_PWD_MIN_LOWERCASE[] = "pwd_l_min";
inline constexpr char KEY_PWD_LOWERCASE_POSITION[] = "pwd_l_pos";
inline constexpr char KEY_PWD_MIN_UPPERCASE[] = "pwd_u_min";
inline constexpr char KEY_PWD_UPPERCASE_POSITION[] = "pwd_u_pos";
inline constexpr char KEY_PWD_MIN_DIGITS[] = "pwd_d_min";
inline constexpr char KEY_PWD_DIGITS_POSITION[] = "pwd_d_pos";
inline constexpr char KEY_PWD_MIN_SYMBOLS[] = "pwd_s_min";
inline constexpr char KEY_PWD_SYMBOLS_POSITION[] = "pwd_s_pos";

// A policy value as an unsigned number: a non-negative whole number, or a Boolean as 0 or 1; none for
// anything else (a text, a negative or fractional number, a missing key).
std::optional<uint64_t> policyUnsigned(const Json::Value& value);
// A policy value as a Boolean: a Boolean, or a number that is not 0; none for anything else.
std::optional<bool> policyBool(const Json::Value& value);

// The option state under key in the policy object: its unsigned value when that is at most 3, else
// fallback. A policy that is not an object has no keys.
uint64_t optionStateForKey(const Json::Value& policy, const char* key, uint64_t fallback);
// A password position rule: the unsigned value when it is at most 2, else 0.
uint64_t tvPolicyPasswordPosition(const Json::Value& value);

} // namespace VorlaneBridge
