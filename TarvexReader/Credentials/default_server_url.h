// The default key-management server as the application names it: the default service endpoint
// (an HTTPS URL whose path is "/") with the path component "mds" appended. Its absolute string is
// what stands for "no custom server" wherever a server is stored or shown.
#pragma once

#include <optional>
#include <string>

namespace TarvexReader {

// The absolute string of the default server URL ("https://mds.tarvex.example/mds"); built once on first
// use, safe from any thread.
const std::string& defaultServerURL();

// The server that a credential without a custom host signed in to, and is stored and offered for: the
// server the application was started with (its --server), else defaultServerURL(). Any thread.
std::string startedServerURL();
// Names the server the application was started with; none, or the built-in server itself (with or
// without a final "/"), means defaultServerURL(). Set at start-up, before any credential is read.
void setStartedServerURL(const std::optional<std::string>& url);

} // namespace TarvexReader
