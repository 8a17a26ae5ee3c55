// Key features: named, scoped settings that the owner of a managed key attaches to it. A feature is
// found by key URN and name (exact) and scope (ignoring case). Each operation works on an explicit
// list and key (the underscore forms), on the dataset's features, or on a manager's loaded key
// (SingleAssetManager). Setting and deleting send at once.
#pragma once

#include <memory>
#include <string>

#include "vxmeta/records/vx_metadata.h"

namespace VxMeta {

class Asset;
class AssetFeature;

// Under the master lock: the first feature of the list for that key, name and scope; null when none.
std::shared_ptr<AssetFeature> _getAssetFeature(const RecordListPtr<AssetFeature>& list, const std::string& urn,
                                               const std::string& name, const std::string& scope);
// Under the sync lock, after the checks (a name in knownFeatures, else VXMECAT_CLIENT "Cannot manage
// unknown feature: <name>"; for a known key, its owner the user, else VXMECAT_CLIENT "Cannot manage
// asset - must be owner.", and the management gate; a compatibility of the accepted set, else
// VXMECAT_CLIENT "Illegal value for compatibility: <value>"): sends the feature with its new
// values (a copy of the held one, or a new one), then merges it into the held feature or appends
// it to the list and to myFeatures. A failed send leaves the lists as they were.
void _setAssetFeature(const RecordListPtr<AssetFeature>& list, const std::shared_ptr<Asset>& key,
                      const std::string& urn, const std::string& name, const std::string& scope,
                      const std::string& compatibility, const std::string& value);
// Under the sync lock, after the name and owner checks: deletes the feature on the service (which
// drops it from myFeatures) and from the list; nothing when there is none.
void _delAssetFeature(const RecordListPtr<AssetFeature>& list, const std::shared_ptr<Asset>& key,
                      const std::string& urn, const std::string& name, const std::string& scope);

// The same over myFeatures, with the key of myAssets of that URN (or none: the service decides).
std::shared_ptr<AssetFeature> getAssetFeature(const std::string& urn, const std::string& name,
                                              const std::string& scope);
void setAssetFeature(const std::string& urn, const std::string& name, const std::string& scope,
                     const std::string& compatibility, const std::string& value);
void delAssetFeature(const std::string& urn, const std::string& name, const std::string& scope);

} // namespace VxMeta
