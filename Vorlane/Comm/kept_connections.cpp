#include "Vorlane/Comm/kept_connections.h"

#include <utility>

namespace VorlaneBridge {

namespace {

void closeAll(const std::vector<CURL*>& handles) {
    for (CURL* easy : handles) curl_easy_cleanup(easy);
}

} // namespace

KeptConnections::Lease::Lease(KeptConnections& keeper, CURL* taken, uint64_t takenIn, std::string caSetting)
    : owner(&keeper), easy(taken), generation(takenIn), ca(std::move(caSetting)) {}

KeptConnections::Lease::Lease(Lease&& other) noexcept
    : owner(std::exchange(other.owner, nullptr)), easy(std::exchange(other.easy, nullptr)),
      generation(other.generation), ca(std::move(other.ca)) {}

KeptConnections::Lease::~Lease() {
    if (owner && easy) owner->giveBack(easy, generation);
}

KeptConnections& KeptConnections::instance() {
    static KeptConnections* const kept = new KeptConnections();
    return *kept;
}

KeptConnections::Lease KeptConnections::take(uint64_t mark) {
    CURL* easy = nullptr;
    uint64_t takenIn = 0;
    std::string caSetting;
    std::vector<CURL*> closing;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (!started || mark != serverListMark) {
            if (started) startFreshLocked(closing);
            started = true;
            serverListMark = mark;
        }
        takenIn = generation;
        caSetting = ca;
        if (!idle.empty()) {
            easy = idle.back(); // the most recently used: the likeliest to hold a live connection
            idle.pop_back();
        }
    }
    closeAll(closing);
    if (!easy) easy = curl_easy_init();
    return Lease(*this, easy, takenIn, std::move(caSetting));
}

void KeptConnections::giveBack(CURL* easy, uint64_t takenIn) {
    // The exchange's options point into its stack frame: none of them outlives it.
    curl_easy_reset(easy);
    {
        std::lock_guard<std::mutex> guard(lock);
        if (takenIn == generation && idle.size() < kMaxIdleHandles) {
            idle.push_back(easy);
            return;
        }
    }
    curl_easy_cleanup(easy);
}

void KeptConnections::setCaFile(const std::string& path) {
    std::vector<CURL*> closing;
    {
        std::lock_guard<std::mutex> guard(lock);
        ca = path;
        startFreshLocked(closing);
    }
    closeAll(closing);
}

std::string KeptConnections::caFile() {
    std::lock_guard<std::mutex> guard(lock);
    return ca;
}

void KeptConnections::startFreshLocked(std::vector<CURL*>& closing) {
    ++generation;
    closing.swap(idle);
}

} // namespace VorlaneBridge
