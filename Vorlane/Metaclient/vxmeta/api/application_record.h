// This application's own App record on this device, as the status reports and the deployment look-up
// read it.
#pragma once

#include <memory>

namespace VxMeta {

class App;

// Under the master lock: the current application record (the global state's), created empty on first
// use; while it has no id, the first App of the dataset on this device with this application's name
// becomes it (the shared record itself).
std::shared_ptr<App> getMyApp();

} // namespace VxMeta
