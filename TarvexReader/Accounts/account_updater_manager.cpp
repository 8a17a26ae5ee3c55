#include "TarvexReader/Accounts/account_updater_manager.h"

namespace TarvexReader {

void AccountUpdaterManager::updateAccount(const Credential& credential) {
    for (const auto& updater : accountUpdaters) {
        updater->updateAccount(credential);
    }
}

} // namespace TarvexReader
