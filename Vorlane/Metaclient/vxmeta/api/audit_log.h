// Audit-log events: lines of a local activity log (one JSON object each) become audit events, packed
// into chunks bounded in bytes and in events and posted to the service ("AuditLog"). Lines of the
// category "step" are events; "begin" lines open a context, "end" lines close it (and the chunk), other
// lines add to it. In the factored mode (0) each chunk starts with the context and steps leave out what
// equals it; in the expanded mode every step carries the context itself. The entry points are members
// of RawVorlane (sendAuditLogEntries, processAuditLogEntries, sendAuditLogChunks).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <json/value.h>

namespace VxMeta {

// Members of a step that the context never removes (factored mode) or fills in (expanded mode).
inline constexpr std::array<const char*, 2> JSON_KEYS_TO_SEND_FOR_EVERY_STEP{"encryption", "timestamp"};

// The chunks of one call to the audit-log processing, in the order they were closed.
using AuditLogChunks = std::vector<Json::Value>;

} // namespace VxMeta
