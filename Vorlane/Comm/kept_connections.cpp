#include "Vorlane/Comm/kept_connections.h"

#include <array>
#include <utility>

namespace VorlaneBridge {

struct KeptConnections::Sessions {
    explicit Sessions(std::string ca);
    ~Sessions();
    Sessions(const Sessions&) = delete;
    Sessions& operator=(const Sessions&) = delete;

    std::string caFile;
    CURLSH* share = nullptr; // null when libcurl could not make one: each handle then keeps its own
    std::array<std::mutex, CURL_LOCK_DATA_LAST> locks; // one per kind of shared data, as libcurl asks
};

namespace {

void lockShared(CURL*, curl_lock_data data, curl_lock_access, void* user) {
    auto* sessions = static_cast<KeptConnections::Sessions*>(user);
    if (data >= 0 && data < CURL_LOCK_DATA_LAST) sessions->locks[data].lock();
}

void unlockShared(CURL*, curl_lock_data data, void* user) {
    auto* sessions = static_cast<KeptConnections::Sessions*>(user);
    if (data >= 0 && data < CURL_LOCK_DATA_LAST) sessions->locks[data].unlock();
}

} // namespace

KeptConnections::Sessions::Sessions(std::string ca) : caFile(std::move(ca)), share(curl_share_init()) {
    if (!share) return;
    curl_lock_function lockFunction = lockShared;
    curl_unlock_function unlockFunction = unlockShared;
    bool shared = curl_share_setopt(share, CURLSHOPT_LOCKFUNC, lockFunction) == CURLSHE_OK &&
                  curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, unlockFunction) == CURLSHE_OK &&
                  curl_share_setopt(share, CURLSHOPT_USERDATA, this) == CURLSHE_OK &&
                  curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION) == CURLSHE_OK &&
                  curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS) == CURLSHE_OK;
    if (!shared) {
        curl_share_cleanup(share);
        share = nullptr;
    }
}

KeptConnections::Sessions::~Sessions() {
    if (share) curl_share_cleanup(share);
}

KeptConnections::Closing::~Closing() {
    for (CURL* easy : handles) curl_easy_cleanup(easy);
    // `sessions` goes after the handles that used it.
}

KeptConnections::Lease::Lease(KeptConnections& keeper, CURL* taken, std::shared_ptr<Sessions> madeFor)
    : owner(&keeper), easy(taken), sessions(std::move(madeFor)) {}

KeptConnections::Lease::Lease(Lease&& other) noexcept
    : owner(std::exchange(other.owner, nullptr)), easy(std::exchange(other.easy, nullptr)),
      sessions(std::move(other.sessions)) {}

KeptConnections::Lease::~Lease() {
    if (owner && easy) owner->giveBack(easy, std::move(sessions));
}

const std::string& KeptConnections::Lease::caFile() const { return sessions->caFile; }

KeptConnections& KeptConnections::instance() {
    static KeptConnections* const kept = new KeptConnections();
    return *kept;
}

KeptConnections::Lease KeptConnections::take(uint64_t mark) {
    CURL* easy = nullptr;
    std::shared_ptr<Sessions> sessions;
    {
        Closing closing; // closed after the lock is released
        std::lock_guard<std::mutex> guard(lock);
        if (!current || mark != serverListMark) {
            startFreshLocked(current ? current->caFile : std::string(), closing);
            serverListMark = mark;
        }
        sessions = current;
        if (!idle.empty()) {
            easy = idle.back(); // the most recently used: the likeliest to hold a live connection
            idle.pop_back();
        }
    }
    if (!easy) {
        easy = curl_easy_init();
        if (easy && sessions->share && curl_easy_setopt(easy, CURLOPT_SHARE, sessions->share) != CURLE_OK) {
            curl_easy_cleanup(easy);
            easy = nullptr;
        }
    }
    return Lease(*this, easy, std::move(sessions));
}

void KeptConnections::giveBack(CURL* easy, std::shared_ptr<Sessions> sessions) {
    // The exchange's options point into its stack frame: none of them outlives it.
    curl_easy_reset(easy);
    Closing closing; // closed after the lock is released
    std::lock_guard<std::mutex> guard(lock);
    if (sessions == current && idle.size() < kMaxIdleHandles) {
        idle.push_back(easy);
        return;
    }
    closing.handles.push_back(easy);
    closing.sessions = std::move(sessions);
}

void KeptConnections::setCaFile(const std::string& path) {
    Closing closing;
    std::lock_guard<std::mutex> guard(lock);
    startFreshLocked(path, closing);
}

std::string KeptConnections::caFile() {
    std::lock_guard<std::mutex> guard(lock);
    return current ? current->caFile : std::string();
}

void KeptConnections::startFreshLocked(const std::string& ca, Closing& closing) {
    closing.sessions = std::move(current);
    closing.handles.swap(idle);
    current = std::make_shared<Sessions>(ca);
}

} // namespace VorlaneBridge
