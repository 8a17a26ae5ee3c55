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

class PlainPort {
public:
    PlainPort() {
        listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener, 8);
        socklen_t length = sizeof address;
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
        port = ntohs(address.sin_port);
    }
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
    int listener = -1;
    uint16_t port = 0;
};

} // namespace VxMetaTest
