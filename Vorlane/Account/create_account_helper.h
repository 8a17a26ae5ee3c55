// CreateAccountHelper: the library's account creation on the caller's thread, its failure turned
// into an error value.
#pragma once

#include <memory>
#include <string>

#include "Platform/error.h"
#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"

namespace VorlaneBridge {

class CreateAccountHelper {
public:
    explicit CreateAccountHelper(std::shared_ptr<VorlaneWrapper> vorlaneWrapper);

    const std::shared_ptr<VorlaneWrapper>& vorlaneWrapper() const { return vorlaneWrapper_; }
    void setVorlaneWrapper(std::shared_ptr<VorlaneWrapper> wrapper) { vorlaneWrapper_ = std::move(wrapper); }

    // A new account (the library is asked with the address, the name and the password, in that order).
    bool createAccountWithName(const std::string& name, const std::string& email, const std::string& password,
                               Platform::Error* error);

private:
    std::shared_ptr<VorlaneWrapper> vorlaneWrapper_;
};

} // namespace VorlaneBridge
