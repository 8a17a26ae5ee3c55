// LoginResetResponse: the answer of a login whose credentials did not match: whether they matched,
// and the new login salt, rounds and challenge to try once more with.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class LoginResetResponse : public Record<LoginResetResponse> {
public:
    bool matched = false;
    std::string loginSalt;
    int32_t loginRounds = 0;
    std::string challenge;
    int64_t id = 0;

    static constexpr RecordShape shape = RecordShape::Flat;
    static const RecordSchema<LoginResetResponse>& schema();
    std::string idstr() const override;
    // Always empty.
    std::string geturn() const override;
};

} // namespace VxMeta
