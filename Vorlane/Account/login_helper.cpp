#include "Vorlane/Account/login_helper.h"

#include <utility>

#include "Vorlane/Errors/vorlane_error.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/foundation/constants.h"
#include "vxmeta/foundation/exception.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/text.h"

namespace VorlaneBridge {

LoginHelper::LoginHelper(std::shared_ptr<VorlaneWrapper> vorlaneSingleton) : vorlaneWrapper_(std::move(vorlaneSingleton)) {}

bool LoginHelper::isLoggedIn() const { return vorlaneWrapper_->vorlane()->isLoggedIn(); }

bool LoginHelper::checkManagedAccount(const std::string& email, Platform::Error* error) {
    try {
        return vorlaneWrapper_->vorlane()->checkManagedAccount(email);
    } catch (const VxMeta::VxMetaException& failure) {
        return Platform::failWith(error, errorWithVxMetaException(failure));
    }
}

std::optional<std::string> LoginHelper::loginManagedAccountWithEmail(const std::string& email,
                                                                     const std::string& password, bool mfaEnabled,
                                                                     Platform::Error* error) {
    if (VxMeta::logLevelOn(4)) {
        VxMeta::writeLog(4, "Attempting managed login with [%s]%s", email.c_str(), mfaEnabled ? " and MFA enabled." : ".");
    }
    VxMeta::Vorlane& library = *vorlaneWrapper_->vorlane();
    try {
        library.loginManagedAccount(email, password, mfaEnabled);
    } catch (const VxMeta::VxMetaException& failure) {
        Platform::failWith(error, errorWithVxMetaException(failure));
        return std::nullopt;
    }
    if (VxMeta::logLevelOn(4)) VxMeta::writeLog(4, "Login successful.");
    return library.getPassword();
}

bool LoginHelper::loginUnmanagedAccountWithEmail(const std::string& email, const std::string& password,
                                                 bool mfaEnabled, Platform::Error* error) {
    if (VxMeta::logLevelOn(4)) {
        VxMeta::writeLog(4, "Attempting login with email [%s]%s", email.c_str(), mfaEnabled ? " and MFA enabled." : ".");
    }
    VxMeta::Vorlane& library = *vorlaneWrapper_->vorlane();
    try {
        library.login(email, password, mfaEnabled);
        return true;
    } catch (const VxMeta::VxMetaException& failure) {
        // Offline, the account that is already signed in stays signed in; another account's offline
        // session is never this one's sign-in.
        if (failure.category == VxMeta::VXMECAT_COMMUNICATION_ERROR && !email.empty() && library.isLoggedIn() &&
            VxMeta::eq(library.getUserEmail(), email)) {
            return true;
        }
        return Platform::failWith(error, errorWithVxMetaException(failure));
    }
}

} // namespace VorlaneBridge
