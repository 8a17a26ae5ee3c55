// Application data: small named values an application keeps on the service, for the user or for
// one device. A datum is this client's when its kind is this application's name and its device id
// is 0 (the user's) or this device's id.
#pragma once

#include <memory>
#include <string>

namespace VxMeta {

class AppData;

// Under the master lock: the first datum of myAppDatas, in list order, that is this client's and
// has exactly that name; null when there is none.
std::shared_ptr<AppData> getSpecificAppDatum(const std::string& name);

} // namespace VxMeta
