// The list path of the records kept per device (application records and application data): the
// stem, the own device's id as "?deviceid=", then "&since=" when a since text is given.
#pragma once

#include <string>

namespace VxMeta {

std::string deviceBoundListPath(const char* stem, const std::string& since);

} // namespace VxMeta
