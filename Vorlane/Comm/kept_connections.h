// The transport's kept connections: libcurl easy handles kept between exchanges, so that their open
// connections and their TLS sessions serve later exchanges with the same server. A handle serves one
// exchange at a time and passes between threads only through this set's lock. Nothing of libcurl is
// shared between handles in use at once: neither its connection cache nor (with OpenSSL, in the libcurl
// of this platform) its TLS session objects are safe to share between concurrent threads.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <curl/curl.h>

namespace VorlaneBridge {

class KeptConnections {
public:
    // A handle taken for one exchange; it goes back to the kept ones when the lease ends, or is closed
    // with its connections when the transport started fresh meanwhile or enough handles are kept.
    class Lease {
    public:
        Lease(Lease&& other) noexcept;
        Lease& operator=(Lease&&) = delete;
        ~Lease();
        // Null when libcurl could not make a handle.
        CURL* handle() const { return easy; }
        // The certificate authorities this exchange verifies with; empty: the system's.
        const std::string& caFile() const { return ca; }

    private:
        friend class KeptConnections;
        Lease(KeptConnections& keeper, CURL* taken, uint64_t takenIn, std::string caSetting);

        KeptConnections* owner;
        CURL* easy;
        uint64_t generation;
        std::string ca;
    };

    // At most this many idle handles are kept; more concurrent exchanges close theirs afterwards.
    static constexpr std::size_t kMaxIdleHandles = 16;

    // The process's one set, never destroyed (exchanges may run while the process ends).
    static KeptConnections& instance();

    // A handle for one exchange, with libcurl's default options (its connections and TLS sessions
    // stay). `serverListMark` is the library's count of server list changes: when it moved since the
    // last exchange, every kept handle is closed first.
    Lease take(uint64_t serverListMark);

    // Sets the CA file to verify with and starts fresh: connections and TLS sessions made under the old
    // setting are never used again, even for the same path (the file's contents may have changed).
    void setCaFile(const std::string& path);
    std::string caFile();

private:
    KeptConnections() = default;
    // Under `lock`: a new generation; the idle handles move to `closing` (closed outside the lock).
    void startFreshLocked(std::vector<CURL*>& closing);
    void giveBack(CURL* easy, uint64_t takenIn);

    std::mutex lock;
    std::string ca;
    uint64_t generation = 0;     // moves at every fresh start; handles of older ones are closed
    bool started = false;        // a first exchange or CA setting has fixed the server list mark
    uint64_t serverListMark = 0; // the library's count when the current generation began
    std::vector<CURL*> idle;
};

} // namespace VorlaneBridge
