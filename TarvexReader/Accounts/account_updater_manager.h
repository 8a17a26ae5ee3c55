// The fan-out of a successful sign-in or account creation: every updater of the list is told, in list
// order, on the calling thread.
#pragma once

#include <memory>
#include <vector>

#include "TarvexReader/Accounts/account_updater.h"

namespace TarvexReader {

class AccountUpdaterManager : public AccountUpdater {
public:
    void updateAccount(const Credential& credential) override;

    std::vector<std::shared_ptr<AccountUpdater>> accountUpdaters;
};

} // namespace TarvexReader
