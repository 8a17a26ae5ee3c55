// Two questions about the account and the service in use that several operations ask: whether the
// service is a satellite (its key is not the built-in one) and whether the account is registered.
#pragma once

namespace VxMeta {

// Under the master lock: whether the service's public key in use differs from the built-in key.
bool isSatellite();
// Under the master lock: whether the service has numbered the PID (its id is above 0).
bool isRegistered();

} // namespace VxMeta
