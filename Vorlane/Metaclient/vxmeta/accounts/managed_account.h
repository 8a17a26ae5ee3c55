// The bookkeeping of a managed account that the service accepted: its password is kept for the
// periodic credential check, and the contact times move to now.
#pragma once

#include <string>

namespace VxMeta {

// Keeps the (wrapped) password as the global state's managed-account password, sets the last
// online time to now and copies it into the state record's "lastManagedLoginTime" and
// "lastOnlineTime" (the record marked locally dirty when one changes). Never fails.
void managedAccountCheckedOK(const std::string& password);

} // namespace VxMeta
