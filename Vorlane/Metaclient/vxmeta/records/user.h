// User: the signed-in account's record. Its owner-signed "record" holds the login key-derivation
// parameters and the account's locators; outside it, the account's state as the service reports
// it and values that this client keeps for its synchronization (the expected change counter,
// the last full synchronization, page sizes), which server copies never replace.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class User : public Record<User> {
public:
    std::string created_at;
    std::string updated_at;
    std::string owner;
    int32_t etag = 0;
    int32_t expectedEtag = 0;
    bool authenticated = false;
    bool allow_access = false;
    bool email_pending = false;
    std::string sidurl;
    int32_t loginRounds = 0;
    std::string loginSalt;
    std::string sidLocator;
    std::string sproxy;
    std::string signature;
    std::string now;
    std::string last_sweep;
    int32_t fetch_max = 400;
    int32_t small_sync_threshold = 500000;
    int32_t large_sync_threshold = 2000000;
    int32_t stagingFlags = 0;
    bool isManagedAccount = false;
    std::string homeServer;
    std::string ca;
    int32_t team_id = 0;
    int32_t groupTag = 0;
    std::string dataCenter;
    int64_t id = 0;
    int64_t ownerid = 0;

    static constexpr RecordShape shape = RecordShape::SignedRecord;
    static const RecordSchema<User>& schema();
    std::string idstr() const override;
    // The owner's URN.
    std::string geturn() const override;
    // The owner's public key must verify the record text; no key found fails the check, and a
    // look-up that fails (a request to the service, an unknown URN among them) is thrown on.
    [[nodiscard]] bool verifySignature() override;
};

} // namespace VxMeta
