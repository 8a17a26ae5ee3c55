// OrvanelFacade: the user's managed keys for the host, rebuilt from the library after each
// synchronization, and the default key: the one the host chose (kept in the user defaults under its
// name and URN, across runs), else the first key of kind "default". A chosen key that is no longer in
// the list (renamed, deleted, access lost) is forgotten at the next refresh.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "Platform/user_defaults.h"
#include "Vorlane/Orvanels/vl_orvanel.h"
#include "Vorlane/Utilities/shared_view.h"
#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"
#include "vxmeta/records/asset.h"

namespace VorlaneBridge {

// The key kind that serves as default when no choice is stored.
inline constexpr char kTVDefaultKeyKind[] = "default";
// The user-defaults keys of the chosen default's name and URN.
inline constexpr char kTVDefaultKeyName[] = "kTVDefaultKeyName";
inline constexpr char kTVDefaultKeyURN[] = "kTVDefaultKeyURN";

// The library operation the facade calls (with the flag false); empty means the operation of the
// wrapper's API object (inside its failover loop).
struct OrvanelLibrary {
    std::function<VxMeta::RecordListPtr<VxMeta::Asset>(bool)> getMyFilteredAssets;
};

class OrvanelFacade {
public:
    using List = std::vector<std::shared_ptr<const VLOrvanel>>;

    OrvanelFacade(std::shared_ptr<VorlaneWrapper> vorlaneSingleton, std::shared_ptr<Platform::UserDefaults> userDefaults,
                  OrvanelLibrary library = {});

    // In the library's order; absent (null) before the first refresh. Each refresh stores a new list.
    std::shared_ptr<const List> orvanels() const { return orvanels_.load(); }

    // refreshOrvanels, then refreshDefaultOrvanel. A library failure passes to the caller with the
    // list and the default unchanged.
    void refreshFacade();
    void refreshOrvanels();
    // Binds the default to the list's own key equal to it, or forgets it (and the stored choice) when
    // the list has none.
    void refreshDefaultOrvanel();

    // The held default, else the stored choice (both entries present, matched by name and URN), else
    // the first key of kind "default"; what is found is held. Never writes the user defaults.
    std::shared_ptr<const VLOrvanel> defaultOrvanel();
    // Holds the key and stores its name and URN; none removes both entries.
    void setDefaultOrvanel(std::shared_ptr<const VLOrvanel> key);

    // Forgets the list (it becomes empty), the default and the stored choice.
    void unlink();

    const std::shared_ptr<VorlaneWrapper>& vorlaneSingleton() const { return vorlaneSingleton_; }
    // Only before the facade is shared between threads.
    void setVorlaneSingleton(std::shared_ptr<VorlaneWrapper> wrapper) { vorlaneSingleton_ = std::move(wrapper); }
    const std::shared_ptr<Platform::UserDefaults>& defaults() const { return defaults_; }
    // Only before the facade is shared between threads.
    void setDefaults(std::shared_ptr<Platform::UserDefaults> defaults) { defaults_ = std::move(defaults); }

private:
    std::shared_ptr<VorlaneWrapper> vorlaneSingleton_;
    std::shared_ptr<Platform::UserDefaults> defaults_;
    OrvanelLibrary library_;
    SharedView<List> orvanels_;
    // Guards the held default, so that a refresh and the host's choice do not interleave.
    std::recursive_mutex defaultMutex_;
    std::shared_ptr<const VLOrvanel> held_;
};

} // namespace VorlaneBridge
