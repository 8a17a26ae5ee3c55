#include "vxmeta/records/user.h"

#include "vxmeta/crypto/signatures.h"
#include "vxmeta/records/identity_lookup.h"

namespace VxMeta {

namespace {

// Values of this client's own synchronization: absent from server copies, kept by merges.
constexpr uint32_t ClientKept = LocalOnly | WhenPresent | NotCompared | Kept;

} // namespace

const RecordSchema<User>& User::schema() {
    static const RecordSchema<User> table{
        "user",
        &User::signature,
        {
            field<&User::created_at>("created_at", LocalOnly),
            field<&User::updated_at>("updated_at", LocalOnly),
            field<&User::owner>("owner", LocalOnly),
            field<&User::etag>("etag", LocalOnly),
            field<&User::expectedEtag>("expectedEtag", ClientKept),
            field<&User::authenticated>("authenticated", LocalOnly),
            field<&User::allow_access>("allow_access", LocalOnly),
            field<&User::email_pending>("email_pending"),
            field<&User::sidurl>("sidurl", LocalOnly),
            field<&User::loginRounds>("loginRounds", InRecord | WhenNotEmpty),
            field<&User::loginSalt>("loginSalt", InRecord | WhenNotEmpty),
            field<&User::sidLocator>("sidLocator", InRecord | WhenNotEmpty),
            field<&User::sproxy>("sproxy", InRecord | WhenNotEmpty),
            field<&User::now>("now", LocalOnly),
            field<&User::last_sweep>("last_sweep", ClientKept),
            field<&User::fetch_max>("fetch_max", ClientKept),
            field<&User::small_sync_threshold>("small_sync_threshold", ClientKept),
            field<&User::large_sync_threshold>("large_sync_threshold", ClientKept),
            field<&User::stagingFlags>("stagingFlags", ClientKept),
            field<&User::isManagedAccount>("isManagedAccount", LocalOnly),
            field<&User::homeServer>("homeServer", LocalOnly),
            field<&User::ca>("ca", LocalOnly),
            field<&User::team_id>("team_id", LocalOnly),
            field<&User::groupTag>("groupTag", LocalOnly),
            field<&User::dataCenter>("dataCenter", LocalOnly),
            field<&User::id>("id"),
            field<&User::ownerid>("ownerid", LocalOnly),
        },
    };
    return table;
}

std::string User::idstr() const { return idStr(id); }

std::string User::geturn() const { return owner; }

bool User::verifySignature() { return verifyTextNoExceptions(recordText, signature, pubkeyLookupUrn(owner)); }

} // namespace VxMeta
