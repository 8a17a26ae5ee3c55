#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"

#include <mutex>
#include <vector>

#include "vxmeta/api/vorlane.h"

namespace VorlaneBridge {

namespace {

// Every API object a wrapper made, kept reachable until the process ends: a wrapper that goes away
// forgets its pointer, and the object must outlive it (without being reported as lost memory).
VxMeta::Vorlane* keptForTheProcess(VxMeta::Vorlane* vorlane) {
    static std::mutex lock;
    static auto* kept = new std::vector<VxMeta::Vorlane*>();
    std::lock_guard<std::mutex> guard(lock);
    kept->push_back(vorlane);
    return vorlane;
}

} // namespace

VorlaneWrapper::VorlaneWrapper() : vorlane_(keptForTheProcess(new VxMeta::Vorlane())) {}

} // namespace VorlaneBridge
