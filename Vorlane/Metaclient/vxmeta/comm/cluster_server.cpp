#include "vxmeta/comm/cluster_server.h"

#include <algorithm>

#include "vxmeta/foundation/clock.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/foundation/random_source.h"

namespace VxMeta {

uint64_t jitter(uint64_t x) {
    if (x == 0) return 0;
    std::shared_ptr<RandomSource> source = randomSource();
    auto span = static_cast<uint64_t>(static_cast<double>(x) * 0.1);
    uint64_t offset = span == 0 ? 0 : source->next() % span;
    bool up = (source->next() & 1u) != 0;
    return up ? x + offset : x - offset;
}

ClusterServer::ClusterServer(const TarvexProtocol::UrlPtr& address)
    : member(std::make_shared<TarvexProtocol::ClusterInfo::Server>("", address, true, true)) {
    setIsUp();
}

ClusterServer::ClusterServer(TarvexProtocol::ClusterInfo::ServerPtr entry) : member(std::move(entry)) { setIsUp(); }

void ClusterServer::setAccessToken(const std::string& token) {
    OrderedLock guard(lock, LockRank::server);
    accessToken = token;
}

std::string ClusterServer::getAccessToken() const {
    OrderedLock guard(lock, LockRank::server);
    return accessToken;
}

bool ClusterServer::isUp() const {
    OrderedLock guard(lock, LockRank::server);
    return downUntil == kNeverDown || nowMillis() - downUntil > 0;
}

void ClusterServer::setIsUp() {
    OrderedLock guard(lock, LockRank::server);
    errorCount = 0;
    downUntil = kNeverDown;
}

void ClusterServer::setIsDown(int32_t n, uint32_t base) {
    OrderedLock guard(lock, LockRank::server);
    // A missing or zero polling interval must not take a server down for good: 60 s, as the timer does.
    if (base < 1) base = kDefaultBackOffSeconds;
    int32_t steps = std::clamp(n, 0, 30);
    // base * 1000 * 2^steps, saturating: anything from 4,000,000 ms on ends at the cap after jitter.
    constexpr uint64_t kSaturated = 4'000'000;
    uint64_t x = static_cast<uint64_t>(base) * 1000;
    for (int32_t i = 0; i < steps && x < kSaturated; ++i) x *= 2;
    int64_t delay = static_cast<int64_t>(std::min<uint64_t>(jitter(x), kMaxDownMillis));
    downUntil = nowMillis() + delay;
    VXLOG(4, "Server=\"%s\" is down for %d milliseconds", url()->fullUrl.c_str(), static_cast<int>(delay));
    errorCount = steps + 1;
}

void ClusterServer::setIsDown(uint32_t base) { setIsDown(errorCount.load(), base); }

int64_t ClusterServer::getDownUntil() const {
    OrderedLock guard(lock, LockRank::server);
    return downUntil;
}

} // namespace VxMeta
