// MigrationHelper: the library's move of an account to the server its organisation names, on the
// caller's thread, its failure turned into an error value.
#pragma once

#include <memory>
#include <string>

#include "Platform/error.h"
#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"

namespace VorlaneBridge {

class MigrationHelper {
public:
    explicit MigrationHelper(std::shared_ptr<VorlaneWrapper> vorlaneWrapper);

    const std::shared_ptr<VorlaneWrapper>& vorlaneWrapper() const { return vorlaneWrapper_; }
    void setVorlaneWrapper(std::shared_ptr<VorlaneWrapper> wrapper) { vorlaneWrapper_ = std::move(wrapper); }

    // Moves the account (MFA flag off).
    bool migrateWithEmail(const std::string& email, const std::string& password, const std::string& adPassword,
                          Platform::Error* error);

private:
    std::shared_ptr<VorlaneWrapper> vorlaneWrapper_;
};

} // namespace VorlaneBridge
