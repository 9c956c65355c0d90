#include "support/loopback_server.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr size_t maxHeadBytes = 1 << 20;

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

RecordedRequest parseRequest(std::string raw) {
    RecordedRequest request;
    std::string_view rest = raw;
    bool first = true;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (first) {
            first = false;
            const size_t a = line.find(' ');
            const size_t b = a == std::string_view::npos ? a : line.find(' ', a + 1);
            request.method = std::string(line.substr(0, a));
            if (a != std::string_view::npos) {
                request.target = std::string(line.substr(a + 1, b == line.npos ? b : b - a - 1));
            }
            if (b != std::string_view::npos) {
                request.version = std::string(line.substr(b + 1));
            }
            continue;
        }
        if (line.empty()) {
            break;
        }
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            request.headers.emplace_back(std::string(trimmed(line)), std::string());
        } else {
            request.headers.emplace_back(std::string(trimmed(line.substr(0, colon))),
                                         std::string(trimmed(line.substr(colon + 1))));
        }
    }
    request.raw = std::move(raw);
    return request;
}

const char* reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 204:
        return "No Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 307:
        return "Temporary Redirect";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

} // namespace

std::string RecordedRequest::header(std::string_view name) const {
    for (const auto& [key, value] : headers) {
        if (sameName(key, name)) {
            return value;
        }
    }
    return {};
}

bool RecordedRequest::hasHeader(std::string_view name) const {
    for (const auto& entry : headers) {
        if (sameName(entry.first, name)) {
            return true;
        }
    }
    return false;
}

std::string httpResponse(int status, std::string_view body, std::string_view extraHeaders,
                         bool withContentLength) {
    std::string reply = "HTTP/1.0 " + std::to_string(status) + " " + reasonPhrase(status) + "\r\n";
    if (withContentLength) {
        reply += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    reply += extraHeaders;
    reply += "\r\n";
    reply += body;
    return reply;
}

LoopbackServer::LoopbackServer() : LoopbackServer(Family::IPv4) {}

LoopbackServer::LoopbackServer(Family family) : family_(family) {
    handler_ = [](const RecordedRequest&) {
        return ScriptedReply{httpResponse(404, "nothing scripted"), ScriptedReply::End::Close};
    };
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        throw std::runtime_error("loopback server: pipe failed");
    }
    wakeRead_ = pipeFds[0];
    wakeWrite_ = pipeFds[1];
    sockaddr_storage address{};
    socklen_t length = 0;
    if (family == Family::IPv6) {
        listenFd_ = socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int only6 = 1;
        if (listenFd_ >= 0) {
            setsockopt(listenFd_, IPPROTO_IPV6, IPV6_V6ONLY, &only6, sizeof only6);
        }
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_addr = in6addr_loopback;
        length = sizeof(sockaddr_in6);
    } else {
        listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof(sockaddr_in);
    }
    const socklen_t bound = length;
    if (listenFd_ < 0 || bind(listenFd_, reinterpret_cast<sockaddr*>(&address), bound) != 0 ||
        listen(listenFd_, 16) != 0 ||
        getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listenFd_ >= 0) {
            close(listenFd_);
        }
        close(wakeRead_);
        close(wakeWrite_);
        throw std::runtime_error(family == Family::IPv6
                                     ? "loopback server: cannot listen on ::1"
                                     : "loopback server: cannot listen on 127.0.0.1");
    }
    port_ = ntohs(family == Family::IPv6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                                         : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    thread_ = std::thread([this] { run(); });
}

LoopbackServer::~LoopbackServer() {
    // Closing the write end makes the wake pipe readable for good: every wait ends.
    close(wakeWrite_);
    thread_.join();
    for (const int fd : stalled_) {
        close(fd);
    }
    close(listenFd_);
    close(wakeRead_);
}

std::string LoopbackServer::origin() const {
    return (family_ == Family::IPv6 ? "http://[::1]:" : "http://127.0.0.1:") +
           std::to_string(port_);
}

void LoopbackServer::setAnswerBeforeRequest(bool answerFirst) {
    std::lock_guard lock(mutex_);
    answerFirst_ = answerFirst;
}

void LoopbackServer::setHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void LoopbackServer::setReply(ScriptedReply reply) {
    setHandler([reply = std::move(reply)](const RecordedRequest&) { return reply; });
}

std::vector<RecordedRequest> LoopbackServer::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void LoopbackServer::clearRequests() {
    std::lock_guard lock(mutex_);
    requests_.clear();
}

bool LoopbackServer::waitFor(int fd, short events) {
    for (;;) {
        pollfd fds[2] = {{fd, events, 0}, {wakeRead_, POLLIN, 0}};
        const int ready = poll(fds, 2, -1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0 || fds[1].revents != 0) {
            return false;
        }
        if (fds[0].revents != 0) {
            return true;
        }
    }
}

bool LoopbackServer::pauseFor(std::chrono::milliseconds wait) {
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd wake{wakeRead_, POLLIN, 0};
        const int ready = poll(&wake, 1, static_cast<int>(std::max<long long>(0, left.count())));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready != 0) {
            return false; // the server is stopping
        }
        if (left.count() <= 0 || std::chrono::steady_clock::now() >= deadline) {
            return true;
        }
    }
}

bool LoopbackServer::sendAll(int fd, const char* data, size_t size) {
    size_t sent = 0;
    while (sent < size) {
        if (!waitFor(fd, POLLOUT)) {
            return false;
        }
        const ssize_t n = send(fd, data + sent, size - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false; // the peer is gone
        }
        sent += static_cast<size_t>(n);
    }
    return true;
}

void LoopbackServer::run() {
    while (waitFor(listenFd_, POLLIN)) {
        const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            serve(fd);
        }
    }
}

void LoopbackServer::serve(int fd) {
    bool answerFirst = false;
    {
        std::lock_guard lock(mutex_);
        answerFirst = answerFirst_;
    }
    RecordedRequest request;
    if (!answerFirst) {
        // Read the request head, up to and including the blank line.
        std::string raw;
        size_t headEnd = std::string::npos;
        char buffer[4096];
        while (headEnd == std::string::npos) {
            if (raw.size() > maxHeadBytes || !waitFor(fd, POLLIN)) {
                close(fd);
                return;
            }
            const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                close(fd);
                return;
            }
            raw.append(buffer, static_cast<size_t>(got));
            const size_t crlf = raw.find("\r\n\r\n");
            const size_t lf = raw.find("\n\n");
            if (crlf != std::string::npos) {
                headEnd = crlf + 4;
            }
            if (lf != std::string::npos && lf + 2 < headEnd) {
                headEnd = lf + 2;
            }
        }
        raw.resize(headEnd);
        request = parseRequest(std::move(raw));
    }

    Handler handler;
    {
        std::lock_guard lock(mutex_);
        if (!answerFirst) {
            requests_.push_back(request);
        }
        handler = handler_;
    }
    const ScriptedReply reply = handler(request);

    // A peer that is gone ends the sending; the connection still ends as told.
    bool going = sendAll(fd, reply.bytes.data(), reply.bytes.size());
    for (uint64_t i = 0; going && i < reply.repeatCount; ++i) {
        going = sendAll(fd, reply.repeated.data(), reply.repeated.size());
    }
    for (size_t i = 0; going && i < reply.dripped.size(); ++i) {
        going = pauseFor(reply.dripInterval) && sendAll(fd, &reply.dripped[i], 1);
    }
    if (!going && !pauseFor(std::chrono::milliseconds(0))) {
        close(fd); // the server is stopping: no stall, no lingering reset
        return;
    }

    switch (reply.end) {
    case ScriptedReply::End::Close:
        shutdown(fd, SHUT_WR);
        close(fd);
        break;
    case ScriptedReply::End::Reset: {
        // An abortive close drops what is still queued: let the peer have every byte
        // first (bounded wait), so the reset comes exactly after the scripted bytes.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        int queued = 0;
        while (ioctl(fd, SIOCOUTQ, &queued) == 0 && queued > 0 &&
               std::chrono::steady_clock::now() < deadline) {
            usleep(1000);
        }
        const linger abortive{1, 0};
        setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        close(fd);
        break;
    }
    case ScriptedReply::End::Stall:
        stalled_.push_back(fd);
        break;
    }
}
