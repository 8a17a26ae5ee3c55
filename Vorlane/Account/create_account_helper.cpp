#include "Vorlane/Account/create_account_helper.h"

#include <utility>

#include "Vorlane/Errors/vorlane_error.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/log.h"

namespace VorlaneBridge {

CreateAccountHelper::CreateAccountHelper(std::shared_ptr<VorlaneWrapper> vorlaneWrapper)
    : vorlaneWrapper_(std::move(vorlaneWrapper)) {}

bool CreateAccountHelper::createAccountWithName(const std::string& name, const std::string& email,
                                                const std::string& password, Platform::Error* error) {
    try {
        vorlaneWrapper_->vorlane()->createAccount(email, name, password);
        return true;
    } catch (const VxMeta::VxMetaException& failure) {
        if (VxMeta::logLevelOn(2)) VxMeta::writeLog(2, "Create Account failed - %s", failure.what());
        return Platform::failWith(error, errorWithVxMetaException(failure));
    }
}

} // namespace VorlaneBridge
