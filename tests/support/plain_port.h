// A plain-HTTP port on loopback that never answers: it only tells whether anybody connected to it,
// so a test can show that nothing was sent in clear.
#pragma once

#include <cstdint>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace VxMetaTest {

// A listening TCP socket on a free loopback port; its port written to `port`.
inline int loopbackListener(uint16_t& port, int backlog) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener, backlog);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return listener;
}

class PlainPort {
public:
    PlainPort() : listener(loopbackListener(port, 8)) {}
    PlainPort(const PlainPort&) = delete;
    PlainPort& operator=(const PlainPort&) = delete;
    ~PlainPort() { close(listener); }

    std::string hostAndPort() const { return "127.0.0.1:" + std::to_string(port); }
    // Whether a connection is waiting (none is ever accepted).
    bool connected() const {
        pollfd waiting{listener, POLLIN, 0};
        return poll(&waiting, 1, 0) > 0;
    }

private:
    uint16_t port = 0;
    int listener = -1;
};

} // namespace VxMetaTest
