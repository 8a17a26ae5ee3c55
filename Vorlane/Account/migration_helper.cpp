#include "Vorlane/Account/migration_helper.h"

#include <utility>

#include "Vorlane/Errors/vorlane_error.h"
#include "vxmeta/api/vorlane.h"
#include "vxmeta/foundation/exception.h"

namespace VorlaneBridge {

MigrationHelper::MigrationHelper(std::shared_ptr<VorlaneWrapper> vorlaneWrapper)
    : vorlaneWrapper_(std::move(vorlaneWrapper)) {}

bool MigrationHelper::migrateWithEmail(const std::string& email, const std::string& password,
                                       const std::string& adPassword, Platform::Error* error) {
    try {
        vorlaneWrapper_->vorlane()->migrate(email, password, adPassword, false);
        return true;
    } catch (const VxMeta::VxMetaException& failure) {
        return Platform::failWith(error, errorWithVxMetaException(failure));
    }
}

} // namespace VorlaneBridge
