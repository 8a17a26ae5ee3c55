// The transport's kept connections: libcurl easy handles kept between exchanges, so that their open
// connections serve later exchanges to the same server, and one share of TLS sessions and DNS answers
// among them, so that a new connection resumes a TLS session instead of a full handshake. A handle
// serves one exchange at a time; libcurl's connection cache is never shared between threads.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <curl/curl.h>

namespace VorlaneBridge {

class KeptConnections {
public:
    // One share of TLS sessions and DNS answers, and the CA setting its handles verify with. Replaced
    // as a whole when the transport starts fresh; it lives on while a handle made for it is in use.
    struct Sessions;

    // A handle taken for one exchange; it goes back to the kept ones when the lease ends (or is closed,
    // with its connections, when the transport started fresh meanwhile or enough handles are kept).
    class Lease {
    public:
        Lease(Lease&& other) noexcept;
        Lease& operator=(Lease&&) = delete;
        ~Lease();
        // Null when libcurl could not make a handle.
        CURL* handle() const { return easy; }
        // The certificate authorities this exchange verifies with; empty: the system's.
        const std::string& caFile() const;

    private:
        friend class KeptConnections;
        Lease(KeptConnections& keeper, CURL* taken, std::shared_ptr<Sessions> madeFor);

        KeptConnections* owner;
        CURL* easy;
        std::shared_ptr<Sessions> sessions;
    };

    // At most this many idle handles are kept; more concurrent exchanges close theirs afterwards.
    static constexpr std::size_t kMaxIdleHandles = 16;

    // The process's one set, never destroyed (exchanges may run while the process ends).
    static KeptConnections& instance();

    // A handle for one exchange, with libcurl's default options (its connections and the shared
    // sessions stay). `serverListMark` is the library's count of server list changes: when it moved
    // since the last exchange, every kept connection and session is dropped first.
    Lease take(uint64_t serverListMark);

    // Sets the CA file to verify with and starts fresh: connections verified under the old setting are
    // never used again, even when the path is the same (the file's contents may have changed).
    void setCaFile(const std::string& path);
    std::string caFile();

private:
    // Handles to close, outside the lock, before the sessions they were made for.
    struct Closing {
        std::shared_ptr<Sessions> sessions;
        std::vector<CURL*> handles;
        Closing() = default;
        Closing(const Closing&) = delete;
        Closing& operator=(const Closing&) = delete;
        ~Closing();
    };

    KeptConnections() = default;
    // Under `lock`: new sessions verifying with `ca`; the idle handles and the old sessions go to
    // `closing`.
    void startFreshLocked(const std::string& ca, Closing& closing);
    void giveBack(CURL* easy, std::shared_ptr<Sessions> sessions);

    std::mutex lock;
    std::shared_ptr<Sessions> current;
    uint64_t serverListMark = 0;
    std::vector<CURL*> idle;
};

} // namespace VorlaneBridge
