// Who takes part in a managed key, and whether the user may change that: the participant views of a
// loaded key are members of SingleAssetManager (single_asset_manager.h), as are renaming and deleting.
#pragma once

#include <memory>

namespace VxMeta {

class Asset;

// Under the master lock: the key has a URN, the user owns it and it is not a personal key.
bool canEditParticipants(const std::shared_ptr<Asset>& asset);

} // namespace VxMeta
