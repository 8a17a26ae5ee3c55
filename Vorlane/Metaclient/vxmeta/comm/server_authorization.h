// The server-authorization hook: every place that receives a key server's public key from a reply
// (the login parameters, the authorized-server look-up, a forwarded address's server, the implicit
// sign-in, the migration server) hands it here with the authorization document the reply carried and
// the address or domain it serves. This system accepts every authorization.
#pragma once

#include <string>

#include <json/value.h>

namespace VxMeta {

// Accepts every input; never fails.
void checkAuthorization(const std::string& publicKey, const Json::Value& authorization, const std::string& subject);

} // namespace VxMeta
