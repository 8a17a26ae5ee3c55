// LoginHelper: the library calls of a sign-in (the managed-account check, the managed and the plain
// sign-in), on the caller's thread, with the library's failures turned into error values.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "Platform/error.h"
#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"

namespace VorlaneBridge {

class LoginHelper {
public:
    explicit LoginHelper(std::shared_ptr<VorlaneWrapper> vorlaneSingleton);

    const std::shared_ptr<VorlaneWrapper>& vorlaneWrapper() const { return vorlaneWrapper_; }
    void setVorlaneWrapper(std::shared_ptr<VorlaneWrapper> wrapper) { vorlaneWrapper_ = std::move(wrapper); }

    bool isLoggedIn() const;

    // Whether the service reports the address's account as managed; false with the error when the
    // question failed.
    bool checkManagedAccount(const std::string& email, Platform::Error* error);

    // Signs in to a managed account with the directory password; the account's own password as the
    // library now holds it, or none with the error.
    std::optional<std::string> loginManagedAccountWithEmail(const std::string& email, const std::string& password,
                                                            bool mfaEnabled, Platform::Error* error);

    // Signs in with the account's password. When the service cannot be reached while this very
    // account (the same address, in any letter case) is already signed in, that counts as success and
    // the error is left alone.
    bool loginUnmanagedAccountWithEmail(const std::string& email, const std::string& password, bool mfaEnabled,
                                        Platform::Error* error);

private:
    std::shared_ptr<VorlaneWrapper> vorlaneWrapper_;
};

} // namespace VorlaneBridge
