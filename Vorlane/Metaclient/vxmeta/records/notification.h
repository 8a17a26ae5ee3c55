// Notification: one notice that the library builds for its callers (a team invitation, an access
// request, a synchronization problem, the upgrade state, an MFA requirement): URN, mode, type,
// message, two answers and an auxiliary text kept with the notice; views leave that text out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "vxmeta/records/record.h"

namespace VxMeta {

class Asset;

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
    // The key an access-request notice is about: under the master lock, the Asset linked to the last
    // request of the dataset whose URN is this notice's "urn"; null for any other type of notice, or
    // when no request matches.
    std::shared_ptr<Asset> getAsset() const;
};

} // namespace VxMeta
