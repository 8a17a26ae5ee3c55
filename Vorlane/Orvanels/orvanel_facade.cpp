#include "Vorlane/Orvanels/orvanel_facade.h"

#include "Platform/utf8.h"
#include "vxmeta/api/vorlane.h"

namespace VorlaneBridge {

OrvanelFacade::OrvanelFacade(std::shared_ptr<VorlaneWrapper> vorlaneSingleton,
                             std::shared_ptr<Platform::UserDefaults> userDefaults, OrvanelLibrary library)
    : vorlaneSingleton_(std::move(vorlaneSingleton)), defaults_(std::move(userDefaults)), library_(std::move(library)) {}

void OrvanelFacade::refreshFacade() {
    refreshOrvanels();
    refreshDefaultOrvanel();
}

void OrvanelFacade::refreshOrvanels() {
    const VxMeta::RecordListPtr<VxMeta::Asset> assets = library_.getMyFilteredAssets
                                                            ? library_.getMyFilteredAssets(false)
                                                            : vorlaneSingleton_->vorlane()->getMyFilteredAssets(false);
    auto list = std::make_shared<List>();
    if (assets) {
        for (const std::shared_ptr<VxMeta::Asset>& asset : *assets) {
            // A key whose texts are not UTF-8 can be neither shown nor passed on.
            if (!asset || !Platform::isValidUtf8(asset->name) || !Platform::isValidUtf8(asset->urn)) continue;
            list->push_back(std::make_shared<const VLOrvanel>(asset->name, asset->urn));
        }
    }
    orvanels_.store(std::move(list));
}

void OrvanelFacade::refreshDefaultOrvanel() {
    std::lock_guard<std::recursive_mutex> lock(defaultMutex_);
    const std::shared_ptr<const VLOrvanel> current = defaultOrvanel();
    std::shared_ptr<const VLOrvanel> found;
    if (current) {
        if (const std::shared_ptr<const List> list = orvanels()) {
            for (const std::shared_ptr<const VLOrvanel>& key : *list) {
                if (key->isEqualToOrvanel(*current)) {
                    found = key;
                    break;
                }
            }
        }
    }
    setDefaultOrvanel(found);
}

std::shared_ptr<const VLOrvanel> OrvanelFacade::defaultOrvanel() {
    std::lock_guard<std::recursive_mutex> lock(defaultMutex_);
    if (held_) return held_;
    const std::optional<std::string> name = defaults_->stringForKey(kTVDefaultKeyName);
    const std::optional<std::string> urn = defaults_->stringForKey(kTVDefaultKeyURN);
    if (const std::shared_ptr<const List> list = orvanels()) {
        for (const std::shared_ptr<const VLOrvanel>& key : *list) {
            const bool chosen = name && urn ? key->name() == *name && key->urn() == *urn : key->kind() == kTVDefaultKeyKind;
            if (chosen) {
                held_ = key;
                break;
            }
        }
    }
    return held_;
}

void OrvanelFacade::setDefaultOrvanel(std::shared_ptr<const VLOrvanel> key) {
    std::lock_guard<std::recursive_mutex> lock(defaultMutex_);
    held_ = std::move(key);
    if (held_) {
        defaults_->setString(held_->name(), kTVDefaultKeyName);
        defaults_->setString(held_->urn(), kTVDefaultKeyURN);
    } else {
        defaults_->removeObjectForKey(kTVDefaultKeyName);
        defaults_->removeObjectForKey(kTVDefaultKeyURN);
    }
}

void OrvanelFacade::unlink() {
    std::lock_guard<std::recursive_mutex> lock(defaultMutex_);
    orvanels_.store(std::make_shared<const List>());
    setDefaultOrvanel(nullptr);
    defaults_->removeObjectForKey(kTVDefaultKeyName);
    defaults_->removeObjectForKey(kTVDefaultKeyURN);
}

} // namespace VorlaneBridge
