// Notification: one notice that the library builds for its callers (a team invitation, an access
// request, a synchronization problem, the upgrade state, an MFA requirement): URN, mode, type,
// message, two answers and an auxiliary text kept with the notice; views leave that text out.
#pragma once

#include <cstdint>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class Notification : public Record<Notification> {
public:
    std::string urn;
    std::string mode;
    std::string type;
    std::string message;
    std::string action1;
    std::string action2;
    std::string aux;
    // Running number given by the builder.
    int64_t id = 0;

    static constexpr RecordShape shape = RecordShape::Flat;
    static const RecordSchema<Notification>& schema();
    std::string idstr() const override;
    std::string geturn() const override;
};

} // namespace VxMeta
