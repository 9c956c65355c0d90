#pragma once
// Small network helpers shared by the tests.

#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

// A port on 127.0.0.1 that is bound but not listening: connecting to it is refused, and
// no other socket can take it while this one lives.
class RefusingPort {
public:
    RefusingPort() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~RefusingPort() { close(fd_); }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    uint16_t port() const { return port_; }
    std::string origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// Removes every proxy setting the HTTP client reads from the environment.
inline void clearProxyEnvironment() {
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "ALL_PROXY", "HTTPS_PROXY",
                             "no_proxy", "NO_PROXY"}) {
        qunsetenv(name);
    }
}
