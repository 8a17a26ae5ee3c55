// Creating managed keys: the key's URN and cookie, the policy gate, and creation straight into the
// dataset (sent with the next list push); creation through a manager, which sends the key at once,
// is SingleAssetManager::createKind. Also the service's lists of the user's one-use keys and chats.
#pragma once

#include <memory>
#include <string>

#include "vxmeta/records/vx_metadata.h"

namespace VxMeta {

class Asset;

// "<kind>-<cookie>-<owner>" with every "/" written ",".
std::string generateAssetUrn(const std::string& kind, const std::string& cookie, const std::string& owner);
// Under the master lock: "priv" keys may always be made, other kinds when the client policy's
// permission word has its bit 1 set; else VXMECAT_POLICY_VIOLATION "Policy prohibits making new
// Orvanels.".
void verifyCanCreateAsset(const std::string& kind);
// A new key of the user in myAssets with its first revision in myKeys; nothing is sent.
std::shared_ptr<Asset> addAsset(const std::string& name, const std::string& kind, const std::string& cookie);
// Under the sync lock: the first key of myAssets of that kind and cookie (whoever owns it), else addAsset.
std::shared_ptr<Asset> findOrAddAsset(const std::string& name, const std::string& kind, const std::string& cookie);
// The service's keys of kind prefix "@adhoc" and "@securechat" (since a time when not empty); not
// merged into the dataset.
RecordListPtr<Asset> getMyAdhocAssets();
RecordListPtr<Asset> getMySecureChats(const std::string& since);

} // namespace VxMeta
