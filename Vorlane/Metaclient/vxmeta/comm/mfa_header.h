// The "X-VX-MFA" request header: protocol version, the user's expected etag, the MFA time stamp the
// service last sent, the answer of an MFA verification, and the MFA kinds this client can verify.
// Also the process-wide MFA time stamp itself, which every reply's "X-VX-MFA-TU" header replaces.
#pragma once

#include <cstdint>
#include <string>

#include <json/value.h>

namespace VxMeta {

// What an MFA verification contributes to the header; all empty for a first request.
struct MfaHeaderFields {
    std::string token;
    int64_t pairId = 0;
    std::string challenge; // the service's challenge the verification answers
    Json::Value newPair;   // server form of a pairing the application created; null when none
};

// The header's compact JSON text (no line end).
std::string getMfaHeader(const MfaHeaderFields& verification);

// Under the master lock: a copy of, or a replacement for, the MFA time stamp (null until stored).
Json::Value mfaTimestamp();
void setMfaTimestamp(const Json::Value& timestamp);

} // namespace VxMeta
