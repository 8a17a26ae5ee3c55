#include "vxmeta/records/login_reset_response.h"

namespace VxMeta {

const RecordSchema<LoginResetResponse>& LoginResetResponse::schema() {
    static const RecordSchema<LoginResetResponse> table{
        "loginresetresponse",
        {
            field<&LoginResetResponse::matched>("matched"),
            field<&LoginResetResponse::loginSalt>("loginSalt"),
            field<&LoginResetResponse::loginRounds>("loginRounds"),
            field<&LoginResetResponse::challenge>("challenge"),
            field<&LoginResetResponse::id>("id"),
        },
    };
    return table;
}

std::string LoginResetResponse::idstr() const { return idStr(id); }

std::string LoginResetResponse::geturn() const { return std::string(); }

} // namespace VxMeta
