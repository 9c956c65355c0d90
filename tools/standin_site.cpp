// A stand-in for the video site, its media server and the connectivity-check page, on
// loopback. It answers as an HTTP forward proxy: point http_proxy at it and the tool's
// built-in addresses reach it instead of the Internet.
//
//   morvane-standin-site [--port N] [--root DIR] [--port-file FILE] [--log FILE]
//
// --port 0 (the default) takes a free port; --port-file receives the port chosen.
// Pages of the site come from DIR/site/<path> and media files from DIR/media/<path>;
// the check page answers 204; every other host answers 502. It stops on SIGINT/SIGTERM.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view siteHost = "v.morvane.test";
constexpr std::string_view mediaHost = "media.morvane.test";
constexpr std::string_view probeHost = "connectivitycheck.gstatic.com";

volatile std::sig_atomic_t stopping = 0;
void onSignal(int) {
    stopping = 1;
}

struct Target {
    std::string host;
    int port = 80;
    std::string path; // from the first "/", query included
};

// Splits "http://host[:port]/path" (proxy form) or "/path" (origin form, with Host).
Target parseTarget(std::string_view target, std::string_view hostHeader) {
    Target parsed;
    std::string_view authority = hostHeader;
    if (target.substr(0, 7) == "http://") {
        target.remove_prefix(7);
        const size_t slash = target.find('/');
        authority = target.substr(0, slash);
        target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
    }
    const size_t colon = authority.rfind(':');
    if (colon != std::string_view::npos) {
        parsed.port = std::atoi(std::string(authority.substr(colon + 1)).c_str());
        authority = authority.substr(0, colon);
    }
    parsed.host = std::string(authority);
    parsed.path = std::string(target.empty() ? std::string_view("/") : target);
    return parsed;
}

std::string headerValue(std::string_view head, std::string_view name) {
    size_t at = 0;
    while ((at = head.find("\r\n", at)) != std::string_view::npos) {
        at += 2;
        if (head.size() - at > name.size() &&
            strncasecmp(head.data() + at, name.data(), name.size()) == 0 &&
            head[at + name.size()] == ':') {
            size_t start = at + name.size() + 1;
            while (start < head.size() && head[start] == ' ') {
                ++start;
            }
            return std::string(head.substr(start, head.find("\r\n", start) - start));
        }
    }
    return {};
}

// A file below `base`, or nothing for a path that tries to leave it.
bool readBelow(const std::string& base, std::string path, std::string& content) {
    const size_t query = path.find_first_of("?#");
    if (query != std::string::npos) {
        path.resize(query);
    }
    if (path.find("..") != std::string::npos || path.empty() || path.back() == '/') {
        return false;
    }
    std::ifstream file(base + path, std::ios::binary);
    if (!file) {
        return false;
    }
    content.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return true;
}

std::string reply(int status, std::string_view reason, std::string_view type,
                  const std::string& body) {
    std::string head = "HTTP/1.0 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
    if (!type.empty()) {
        head += "Content-Type: " + std::string(type) + "\r\n";
    }
    head += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
    return head + body;
}

std::string answer(const std::string& root, const Target& target) {
    std::string content;
    if (target.host == siteHost && target.port == 80) {
        if (readBelow(root + "/site", target.path, content)) {
            return reply(200, "OK", "text/html", content);
        }
        return reply(
            404, "Not Found", "text/html",
            "<html><body><h1>404</h1><p>No such page on the stand-in site.</p></body></html>");
    }
    if (target.host == mediaHost && target.port == 8080) {
        if (readBelow(root + "/media", target.path, content)) {
            return reply(200, "OK", "video/x-flv", content);
        }
        return reply(404, "Not Found", "text/plain", "no such media file\n");
    }
    if (target.host == probeHost) {
        return reply(204, "No Content", "", "");
    }
    return reply(502, "Bad Gateway", "text/plain",
                 "The stand-in site answers only for the video site, its media server and the "
                 "connectivity check.\n");
}

void sendAll(int fd, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        sent += size_t(n);
    }
}

void serve(int fd, const std::string& root, std::FILE* log) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, 10000) <= 0) {
            return;
        }
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return;
        }
        head.append(buffer, size_t(n));
    }
    const std::string_view requestLine(head.data(), head.find("\r\n"));
    const size_t first = requestLine.find(' ');
    const size_t second = requestLine.find(' ', first + 1);
    if (first == std::string_view::npos || second == std::string_view::npos) {
        sendAll(fd, reply(400, "Bad Request", "text/plain", "bad request\n"));
        return;
    }
    const Target target =
        parseTarget(requestLine.substr(first + 1, second - first - 1), headerValue(head, "Host"));
    if (log != nullptr) {
        std::fprintf(log, "%.*s\n", int(requestLine.size()), requestLine.data());
        std::fflush(log);
    }
    sendAll(fd, answer(root, target));
}

} // namespace

int main(int argc, char** argv) {
    int port = 0;
    std::string root = ".";
    std::string portFile;
    std::string logFile;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view option = argv[i];
        if (option == "--port") {
            port = std::atoi(argv[i + 1]);
        } else if (option == "--root") {
            root = argv[i + 1];
        } else if (option == "--port-file") {
            portFile = argv[i + 1];
        } else if (option == "--log") {
            logFile = argv[i + 1];
        } else {
            std::cerr << "unknown option " << option << "\n";
            return 2;
        }
    }

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int reuse = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK); // loopback only
    address.sin_port = htons(uint16_t(port));
    if (listener < 0 ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 16) != 0) {
        std::perror("stand-in site");
        return 1;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const int chosen = ntohs(address.sin_port);
    if (!portFile.empty()) {
        const std::string partial = portFile + ".part";
        std::ofstream(partial) << chosen << "\n";
        std::rename(partial.c_str(), portFile.c_str());
    }
    std::FILE* log = logFile.empty() ? nullptr : std::fopen(logFile.c_str(), "a");
    std::cerr << "stand-in site on http://127.0.0.1:" << chosen << "\n";

    struct sigaction action {};
    action.sa_handler = onSignal;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    while (stopping == 0) {
        pollfd incoming{listener, POLLIN, 0};
        if (::poll(&incoming, 1, 200) <= 0) {
            continue;
        }
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            serve(fd, root, log);
            ::shutdown(fd, SHUT_WR);
            ::close(fd);
        }
    }
    ::close(listener);
    if (log != nullptr) {
        std::fclose(log);
    }
    return 0;
}
