// LoginParameters: the service's answer to the login-parameters request of an e-mail address: the
// account's URN, login salt and rounds, a challenge, the key server's URN, key and signature of
// that URN, the server prefix, whether the account is managed or must migrate, and where to.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"
#include "vxmeta/records/server.h"

namespace VxMeta {

class LoginParameters : public Record<LoginParameters> {
public:
    std::string urn;
    std::string loginSalt;
    int32_t loginRounds = 0;
    std::string challenge;
    std::string mdsUrn;
    std::string mdsPubkey;
    std::string mdsSignature;
    std::string cmdsPrefix;
    bool accountIsManaged = false;
    bool migrationRequired = false;
    // Read only when the answer has it.
    Server migrationServer;

    static constexpr RecordShape shape = RecordShape::Flat;
    static const RecordSchema<LoginParameters>& schema();
    // The URN.
    std::string idstr() const override;
    // Always empty.
    std::string geturn() const override;
};

} // namespace VxMeta
