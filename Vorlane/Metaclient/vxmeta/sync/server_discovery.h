// Server discovery: which key server is authorized for an e-mail address or domain (asked of the
// current server, answers cached for 60 seconds), and the switch to it with its public key, which
// the new server confirms by answering the same question. A domain without a server of its own is
// served by the current server with the built-in service key.
#pragma once

#include <string>

namespace VxMeta {

// The reply text of "ua/getAuthorizedServer?domain=<value>" on the current server, from
// lastCheckDomain when it holds the answer for that server and value. A not-found answer (category
// VXMECAT_NOTFOUND or status 404) is cached as the empty text and thrown; other failures are thrown.
std::string getAuthorizedServer(const std::string& value);

// Switches the client to the server authorized for the value: its public key becomes the service
// key and, when its URL names another server, that server becomes the cluster's only one and must
// confirm the answer. A failed confirmation puts the former server, key and stored prefixes back.
// Not found (category VXMECAT_NOTFOUND or status 404), also from the confirmation, installs the
// built-in service key and ends normally. A reply without a public key changes nothing. Servers that
// keep naming other servers end, after at most maxServerSwitches switches or at the first server
// named twice, with VXMECAT_PROTOCOL. Makes requests: the caller must not hold the master lock.
void checkDomain(const std::string& value);

// How many servers one checkDomain may switch to.
inline constexpr int maxServerSwitches = 8;

} // namespace VxMeta
