// What the request pipeline and the cluster read and write of the client's own records: two persisted
// settings of the state record, the user's expected etag, and the record changes that some refusals
// of the service carry. The record layer connects these to its records; until it does, they keep
// what a freshly started library holds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <json/value.h>

namespace VxMeta {

// "pollingInterval" of the state record, in seconds (60 in a fresh record).
int32_t persistedPollingInterval();
// Stores the raw cluster document as "clusterInfo" of the state record, without marking it changed.
void persistClusterInfo(const Json::Value& document);
// "expectedEtag" of the user record, when one is held.
std::optional<int32_t> userExpectedEtag();
// The service moved the account: the identity record's e-mail becomes `email`.
void setIdentityEmail(const std::string& email);
// The service disabled the account (for the "mds" application): the user record's "allow_access" is
// cleared and the record marked changed, when it was set.
void clearUserAllowAccess();
// The service disabled this device: the device record's "allow_access" is cleared.
void clearDeviceAllowAccess();

} // namespace VxMeta
