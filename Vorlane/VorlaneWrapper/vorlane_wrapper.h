// VorlaneWrapper: the holder of the library's single API object, shared by every facade, helper and
// translator of the framework. Creating a wrapper creates the API object (which starts the library);
// the object is never destroyed, so code that kept its pointer may use it after the wrapper is gone.
#pragma once

namespace VxMeta {
class Vorlane;
}

namespace VorlaneBridge {

class VorlaneWrapper {
public:
    VorlaneWrapper();
    VorlaneWrapper(const VorlaneWrapper&) = delete;
    VorlaneWrapper& operator=(const VorlaneWrapper&) = delete;

    VxMeta::Vorlane* vorlane() const { return vorlane_; }

private:
    VxMeta::Vorlane* vorlane_ = nullptr;
};

} // namespace VorlaneBridge
