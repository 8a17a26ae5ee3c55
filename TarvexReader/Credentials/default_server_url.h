// The default key-management server as the application names it: the default service endpoint
// (an HTTPS URL whose path is "/") with the path component "mds" appended. Its absolute string is
// what stands for "no custom server" wherever a server is stored or shown.
#pragma once

#include <string>

namespace TarvexReader {

// The absolute string of the default server URL ("https://mds.tarvex.example/mds"); built once on first
// use, safe from any thread.
const std::string& defaultServerURL();

} // namespace TarvexReader
