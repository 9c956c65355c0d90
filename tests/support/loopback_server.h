#pragma once
// A real HTTP server on 127.0.0.1 (or [::1]) for tests: it records every request head
// byte for byte and answers with scripted raw bytes, then ends the connection as told.
//
// It runs on its own thread, so code under test may block on it (a GUI thread inside
// a fetch, for example). Connections are served one after another. Requests in
// absolute form ("GET http://host/path HTTP/1.0") are recorded as they come, so the
// server also stands in for a forward proxy (http_proxy=<origin()>).

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

struct RecordedRequest {
    std::string raw; // the request head as received, up to and including the blank line
    std::string method, target, version;
    std::vector<std::pair<std::string, std::string>> headers; // in order, values trimmed

    // The value of the first header of that name (case-insensitive); "" when absent.
    std::string header(std::string_view name) const;
    bool hasHeader(std::string_view name) const;
};

struct ScriptedReply {
    enum class End {
        Close, // orderly close after the bytes
        Reset, // abortive close (RST) after the bytes
        Stall  // keep the connection open, silent, until the server is destroyed
    };
    std::string bytes; // sent exactly as given
    End end = End::Close;

    // After `bytes`: `repeated`, sent `repeatCount` times over, so that a huge body never
    // has to be held whole.
    std::string repeated{};
    uint64_t repeatCount = 0;

    // Last: `dripped`, one byte at a time, each after a wait of `dripInterval`.
    std::string dripped{};
    std::chrono::milliseconds dripInterval{0};
};

// A well-formed HTTP/1.0 reply. `extraHeaders` are whole lines, each ending in "\r\n".
std::string httpResponse(int status, std::string_view body, std::string_view extraHeaders = {},
                         bool withContentLength = true);

class LoopbackServer {
public:
    using Handler = std::function<ScriptedReply(const RecordedRequest&)>;

    enum class Family { IPv4, IPv6 };

    // Listens on 127.0.0.1 (IPv4) or ::1 (IPv6) at a port the system picks; throws
    // std::runtime_error when it cannot. Until told otherwise it answers 404.
    LoopbackServer();
    explicit LoopbackServer(Family family);
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    uint16_t port() const { return port_; }
    std::string origin() const; // "http://127.0.0.1:PORT" or "http://[::1]:PORT"

    // When set, every connection is answered as soon as it is accepted, before (and
    // without) reading a request: the handler gets an empty request, which is not
    // recorded. For servers that speak first or speak something else than HTTP.
    void setAnswerBeforeRequest(bool answerFirst);

    // Called on the server's thread for each request.
    void setHandler(Handler handler);
    void setReply(ScriptedReply reply); // the same reply to every request

    std::vector<RecordedRequest> requests() const;
    void clearRequests();

private:
    void run();
    void serve(int fd);
    bool waitFor(int fd, short events);                  // false when the server is stopping
    bool pauseFor(std::chrono::milliseconds wait);       // false when the server is stopping
    bool sendAll(int fd, const char* data, size_t size); // false when stopping or peer gone

    int listenFd_ = -1;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    uint16_t port_ = 0;
    Family family_ = Family::IPv4;
    mutable std::mutex mutex_;
    Handler handler_;
    bool answerFirst_ = false;
    std::vector<RecordedRequest> requests_;
    std::vector<int> stalled_; // used by the server thread only
    std::thread thread_;
};
