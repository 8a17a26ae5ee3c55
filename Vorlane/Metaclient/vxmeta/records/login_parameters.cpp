#include "vxmeta/records/login_parameters.h"

namespace VxMeta {

const RecordSchema<LoginParameters>& LoginParameters::schema() {
    static const RecordSchema<LoginParameters> table{
        "loginparameters",
        {
            field<&LoginParameters::urn>("urn"),
            field<&LoginParameters::loginSalt>("loginSalt"),
            field<&LoginParameters::loginRounds>("loginRounds"),
            field<&LoginParameters::challenge>("challenge"),
            field<&LoginParameters::mdsUrn>("mdsUrn"),
            field<&LoginParameters::mdsPubkey>("mdsPubkey"),
            field<&LoginParameters::mdsSignature>("mdsSignature"),
            field<&LoginParameters::cmdsPrefix>("cmdsPrefix"),
            field<&LoginParameters::accountIsManaged>("accountIsManaged"),
            field<&LoginParameters::migrationRequired>("migrationRequired"),
            field<&LoginParameters::migrationServer>("migrationServer", WhenPresent),
        },
    };
    return table;
}

std::string LoginParameters::idstr() const { return idStr(urn); }

std::string LoginParameters::geturn() const { return std::string(); }

} // namespace VxMeta
