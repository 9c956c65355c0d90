// A tiny HTTP/1.0 server on 127.0.0.1 for the fetch and start-up benchmarks.
//   bench_server body BYTES  - answers every request with 200 and a body of BYTES bytes
//   bench_server 204         - answers every request with 204 (the start-up probe's proxy)
// It prints the port it listens on, then serves one connection after another until
// it is killed.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool sendAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t sent = ::send(fd, data, length, MSG_NOSIGNAL);
        if (sent <= 0) {
            return false;
        }
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

// Reads the request head; the reply goes out only after it, so that closing never
// throws away unread request bytes (which would reset the connection).
bool readHead(int fd) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            return false;
        }
        head.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_server body BYTES | bench_server 204\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    std::string reply;
    std::string body;
    if (std::strcmp(argv[1], "body") == 0 && argc == 3) {
        const auto bytes = static_cast<std::size_t>(std::strtoull(argv[2], nullptr, 10));
        body.resize(bytes);
        for (std::size_t i = 0; i < bytes; ++i) {
            body[i] = i % 64 == 63 ? '\n' : static_cast<char>('a' + i % 26);
        }
        reply = "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                std::to_string(bytes) + "\r\nConnection: close\r\n\r\n";
    } else if (std::strcmp(argv[1], "204") == 0) {
        reply = "HTTP/1.0 204 No Content\r\nConnection: close\r\n\r\n";
    } else {
        std::fprintf(stderr, "unknown mode\n");
        return 2;
    }

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener, 16) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::perror("bench_server");
        return 1;
    }
    std::printf("%u\n", static_cast<unsigned>(ntohs(address.sin_port)));
    std::fflush(stdout);

    for (;;) {
        const int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0) {
            continue;
        }
        if (readHead(fd) && sendAll(fd, reply.data(), reply.size())) {
            sendAll(fd, body.data(), body.size());
        }
        ::shutdown(fd, SHUT_WR);
        char drain[4096];
        while (::recv(fd, drain, sizeof drain, 0) > 0) {
        }
        ::close(fd);
    }
}
