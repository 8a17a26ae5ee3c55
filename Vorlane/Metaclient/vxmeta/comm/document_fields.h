// Reading members of the service's self-describing documents (cluster and site data) with the JSON
// library's lenient conversions: a missing member is empty, false or 0; a number reads as text in
// decimal; a bool reads as 1 or 0. A value that cannot convert, or a container of the wrong kind,
// is a VXMECAT_PROTOCOL failure instead of the JSON library's own exception.
#pragma once

#include <cstdint>
#include <string>

#include <json/value.h>

namespace VxMeta {

// The member `key` of an object or null value; `what` names the document in failure messages.
const Json::Value& documentMember(const Json::Value& document, const char* key, const char* what);
std::string documentText(const Json::Value& document, const char* key, const char* what);
int64_t documentInt64(const Json::Value& document, const char* key, const char* what);
bool documentBool(const Json::Value& document, const char* key, const char* what);

} // namespace VxMeta
