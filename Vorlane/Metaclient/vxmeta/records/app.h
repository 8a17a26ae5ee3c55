// App: one application installation on one device of the account (device, owner, application
// name, version and capabilities, signed by the owner), with the id of the deployment offered to it
// and, in memory, the linked Deployment record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <json/value.h>

#include "vxmeta/records/deployment.h"
#include "vxmeta/records/record.h"

namespace VxMeta {

class App : public Record<App> {
public:
    std::string created_at;
    std::string updated_at;
    int64_t deviceid = 0;
    std::string device;
    std::string owner;
    std::string name;
    std::string version;
    Json::Value capabilities;
    std::string signature;
    int32_t deployid = 0;
    // The Deployment whose id is deployid, linked by the synchronization; kept by merges.
    std::shared_ptr<Deployment> deployment;
    int64_t id = 0;
    int64_t ownerid = 0;

    static constexpr RecordShape shape = RecordShape::SignedRecord;
    static const RecordSchema<App>& schema();
    // "app?deviceid=<own device id>", then "&since=<since>" when since is not empty.
    std::string refreshSuffix(const std::string& since) const override;
    std::string idstr() const override;
    // The file-name safe name, "-", the device id.
    std::string geturn() const override;
    // sync while the application-record switch is on (false without a request while it is off);
    // failures as the base's trySync, and a 404 turns the switch off.
    bool trySync() override;
    // The owner's public key must verify the record text; no key found fails the check, and a
    // look-up that fails (a request to the service, an unknown URN among them) is thrown on.
    [[nodiscard]] bool verifySignature() override;
};

} // namespace VxMeta
