// ClusterServer: the client's view of one server of the key service: its cluster entry, whether it
// is up (or down until a time, with exponential back-off and jitter) and the access token held for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <limits>
#include <memory>
#include <mutex>
#include <string>

#include "vxmeta/comm/cluster_info.h"

namespace VxMeta {

// x moved by up to a tenth either way: x + sign * (r1 mod floor(x / 10)), r1 and the sign drawn
// from the library's random source; 0 for 0. Callers pass 0 or at least 10.
uint64_t jitter(uint64_t x);

class ClusterServer {
public:
    static constexpr int64_t kNeverDown = std::numeric_limits<int64_t>::min();
    static constexpr int32_t kMaxErrorCount = 31;
    static constexpr uint32_t kDefaultBackOffSeconds = 60;
    static constexpr int64_t kMaxDownMillis = 3'600'000;

    // A master, online member with an empty data center at that address.
    explicit ClusterServer(const TarvexProtocol::UrlPtr& url);
    explicit ClusterServer(TarvexProtocol::ClusterInfo::ServerPtr member);

    const std::string& dataCenter() const { return member->dataCenter; }
    const TarvexProtocol::UrlPtr& url() const { return member->url; }
    bool isMaster() const { return member->isMaster; }
    bool isOnline() const { return member->isOnline; }

    int32_t getErrorCount() const { return errorCount.load(); }
    void setAccessToken(const std::string& token);
    std::string getAccessToken() const;

    // Now minus the down-until time, in whole milliseconds, is above 0.
    bool isUp() const;
    // No errors, never down.
    void setIsUp();
    // Down for base seconds * 2^min(n, 30), jittered, at most an hour; errorCount = min(n, 30) + 1.
    // A base below 1 second reads as 60 seconds.
    void setIsDown(int32_t n, uint32_t base);
    void setIsDown(uint32_t base);

    // Milliseconds since the epoch before which the server is not selected; kNeverDown when up.
    int64_t getDownUntil() const;

private:
    mutable std::recursive_mutex lock;
    const TarvexProtocol::ClusterInfo::ServerPtr member;
    std::atomic<int32_t> errorCount{0}; // read without the lock, written under it
    int64_t downUntil = kNeverDown;
    std::string accessToken;
};

using ClusterServerPtr = std::shared_ptr<ClusterServer>;

} // namespace VxMeta
