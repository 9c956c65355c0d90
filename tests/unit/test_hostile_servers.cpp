// The page fetch against servers that misbehave on purpose: huge, slow, silent, oversized
// heads, broken framing, other protocols, bad redirects. Whatever a server does, the fetch
// returns, and gives the page, a part of it, or nothing.

#include "parse/fetch.h"
#include "support/loopback_server.h"

#include <QtTest>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using End = ScriptedReply::End;
using namespace std::chrono_literals;

constexpr uint64_t mebibyte = 1024 * 1024;

// A body piece that is not the same byte over and over, with no zero byte, so that a
// lost, doubled or shifted piece shows.
std::string patternedPiece(size_t size) {
    std::string piece(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        piece[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    }
    return piece;
}

// A field of /proc/self/status in KiB (VmRSS, VmHWM); -1 when missing.
long long statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.starts_with(prefix)) {
            return std::stoll(line.substr(prefix.size()));
        }
    }
    return -1;
}

// Sets the peak resident size (VmHWM) back to the current one.
void resetPeakRss() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// A port on 127.0.0.1 that listens but never accepts: the system completes the TCP
// handshake and then nobody ever reads or answers.
class NeverAccepting {
public:
    NeverAccepting() {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(fd_, 4) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen on 127.0.0.1");
        }
        port_ = ntohs(address.sin_port);
    }
    ~NeverAccepting() { close(fd_); }
    NeverAccepting(const NeverAccepting&) = delete;
    NeverAccepting& operator=(const NeverAccepting&) = delete;
    uint16_t port() const { return port_; }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

enum class Outcome {
    Exact,       // exactly `body`
    Part,        // a beginning of `body` that holds `early` and is shorter than `body`
    WholeOrEmpty // the huge body whole, or nothing when memory ran out
};

struct Hostile {
    std::string name;
    std::function<void(LoopbackServer&)> script{};
    // The address fetched; "{origin}" and "{port}" stand for the server's.
    std::string address = "{origin}/v/1.shtml";
    LoopbackServer::Family family = LoopbackServer::Family::IPv4;
    bool slow = false; // waits for the client's time-outs: they are lowered
    Outcome outcome = Outcome::Exact;
    std::string body{};  // what the fetch gives (Exact), or the whole page (Part)
    std::string early{}; // Part: what must have arrived
    int requests = -1;   // requests the server must have seen; -1: not checked
};

constexpr uint64_t hugePieces = 1024; // 1 GiB in pieces of 1 MiB

ScriptedReply hugeReply() {
    ScriptedReply huge;
    huge.bytes =
        "HTTP/1.0 200 OK\r\nContent-Length: " + std::to_string(hugePieces * mebibyte) + "\r\n\r\n";
    huge.repeated = patternedPiece(mebibyte);
    huge.repeatCount = hugePieces;
    return huge;
}

std::vector<Hostile> hostileServers() {
    std::vector<Hostile> rows;
    const auto reply = [](std::string bytes, End end = End::Close) {
        return [bytes = std::move(bytes), end](LoopbackServer& server) {
            server.setReply({bytes, end});
        };
    };
    const auto speaksFirst = [](std::string bytes) {
        return [bytes = std::move(bytes)](LoopbackServer& server) {
            server.setAnswerBeforeRequest(true);
            server.setReply({bytes, End::Close});
        };
    };

    {
        Hostile row{"body of 1 GiB, streamed",
                    [](LoopbackServer& server) { server.setReply(hugeReply()); }};
        row.outcome = Outcome::WholeOrEmpty;
        rows.push_back(std::move(row));
    }
    {
        const std::string early = "<html>early part|";
        const std::string late = "late bytes, one every two seconds</html>";
        Hostile row{"one byte every 2 s", [early, late](LoopbackServer& server) {
                        ScriptedReply drip;
                        drip.bytes = "HTTP/1.0 200 OK\r\n\r\n" + early;
                        drip.dripped = late;
                        drip.dripInterval = 2s;
                        server.setReply(std::move(drip));
                    }};
        row.slow = true;
        row.outcome = Outcome::Part;
        row.body = early + late;
        row.early = early;
        rows.push_back(std::move(row));
    }
    {
        Hostile row{"connection taken, never accepted", {}};
        row.address = "never-accepting";
        row.slow = true;
        rows.push_back(std::move(row));
    }
    {
        Hostile row{"head line of 5 MiB",
                    reply("HTTP/1.0 200 OK\r\nX-Big: " + std::string(5 * mebibyte, 'h') +
                          "\r\n\r\nbody after a huge head")};
        row.body = ""; // curl refuses a header line that long
        rows.push_back(std::move(row));
    }
    {
        std::string head = "HTTP/1.0 200 OK\r\n";
        for (int i = 0; head.size() < 5 * mebibyte; ++i) {
            head += "X-Many-" + std::to_string(i) + ": " + std::string(80, 'v') + "\r\n";
        }
        Hostile row{"5 MiB of short header lines", reply(head + "\r\nbody after many headers")};
        row.body = ""; // curl also bounds a whole head, and refuses this one
        rows.push_back(std::move(row));
    }
    const std::string chunkedHead = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    {
        Hostile row{"chunk size not hex",
                    reply(chunkedHead + "5\r\nhello\r\nzz\r\nmore\r\n0\r\n\r\n")};
        row.body = "hello";
        rows.push_back(std::move(row));
    }
    {
        Hostile row{"chunk cut short by the close",
                    reply(chunkedHead + "5\r\nhello\r\n100\r\nshort")};
        row.body = "helloshort";
        rows.push_back(std::move(row));
    }
    {
        Hostile row{"chunk size beyond 64 bits",
                    reply(chunkedHead + "5\r\nhello\r\nfffffffffffffffffffff\r\nabc\r\n0\r\n\r\n")};
        row.body = "hello";
        rows.push_back(std::move(row));
    }
    {
        Hostile row{"no last chunk, then a reset",
                    reply(chunkedHead + "5\r\nhello\r\n6\r\n world\r\n", End::Reset)};
        row.body = "hello world";
        rows.push_back(std::move(row));
    }
    {
        Hostile row{"chunked, then stalls with no last chunk",
                    reply(chunkedHead + "5\r\nhello\r\n", End::Stall)};
        row.slow = true;
        row.body = "hello";
        rows.push_back(std::move(row));
    }
    // Bytes that do not begin with an HTTP status line are no response at all (curl takes
    // no HTTP/0.9 reply): nothing of them becomes the page.
    {
        Hostile row{"another protocol's banner", speaksFirst("SSH-2.0-OpenSSH_9.2p1\r\n")};
        rows.push_back(std::move(row));
    }
    {
        std::string binary;
        for (int i = 0; i < 4096; ++i) {
            binary += static_cast<char>((i * 131 + 17) % 256);
        }
        Hostile row{"binary bytes in place of a reply", reply(binary)};
        rows.push_back(std::move(row));
    }
    {
        // What a TLS server says first: a handshake record (ServerHello), then an alert.
        std::string hello("\x16\x03\x03\x00\x2a\x02\x00\x00\x26\x03\x03", 11);
        hello += std::string(32, '\x5a');
        hello += std::string("\x00\x13\x01\x00\x15\x03\x03\x00\x02\x02\x28", 11);
        Hostile row{"TLS records to a plain request", reply(hello)};
        rows.push_back(std::move(row));
    }
    {
        // The handshake fails on the first bytes: a TLS failure gives nothing.
        Hostile row{"https to a plain server that answers at once",
                    speaksFirst(httpResponse(200, "plain page"))};
        row.address = "https://127.0.0.1:{port}/v/1.shtml";
        rows.push_back(std::move(row));
    }
    {
        Hostile row{"redirect to FILE:// in capitals",
                    reply(httpResponse(302, "moved", "Location: FILE:///etc/hostname\r\n"))};
        row.requests = 1;
        rows.push_back(std::move(row));
    }
    {
        Hostile row{"redirect to dict://", [](LoopbackServer& server) {
                        server.setReply(
                            {httpResponse(302, "moved",
                                          "Location: dict://127.0.0.1:" +
                                              std::to_string(server.port()) + "/d:word\r\n"),
                             End::Close});
                    }};
        row.requests = 1;
        rows.push_back(std::move(row));
    }
    {
        Hostile row{"redirect to https on the same plain port", [](LoopbackServer& server) {
                        server.setReply(
                            {httpResponse(302, "moved",
                                          "Location: https://127.0.0.1:" +
                                              std::to_string(server.port()) + "/v/1.shtml\r\n"),
                             End::Close});
                    }};
        row.slow = true; // the plain server waits for a request head that never comes
        row.requests = 1;
        rows.push_back(std::move(row));
    }
    {
        // Every answer sends the client somewhere new, with a longer address each time.
        Hostile row{"endless chain of new addresses", [](LoopbackServer& server) {
                        server.setHandler([](const RecordedRequest& request) {
                            const std::string next = request.target + std::string(512, 'n');
                            return ScriptedReply{
                                httpResponse(302, "next", "Location: " + next + "\r\n"),
                                End::Close};
                        });
                    }};
        row.requests = 11; // the first request and 10 redirects
        rows.push_back(std::move(row));
    }
    {
        Hostile row{"IPv6 loopback", reply(httpResponse(200, "page over IPv6"))};
        row.family = LoopbackServer::Family::IPv6;
        row.body = "page over IPv6";
        row.requests = 1;
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
        text.replace(at, from.size(), to);
        at += to.size();
    }
    return text;
}

QByteArray qbytes(const std::string& s) {
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

class TestHostileServers : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();

    void fetchReturnsWithPageOrPart_data();
    void fetchReturnsWithPageOrPart();
    void bodyBeyondMemoryGivesEmpty();
};

void TestHostileServers::initTestCase() {
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "ALL_PROXY", "HTTPS_PROXY",
                             "no_proxy", "NO_PROXY"}) {
        qunsetenv(name);
    }
}

void TestHostileServers::cleanup() {
    setFetchTimeouts(FetchTimeouts{});
}

void TestHostileServers::cleanupTestCase() {
    closeFetchContext();
}

void TestHostileServers::fetchReturnsWithPageOrPart_data() {
    QTest::addColumn<int>("index");
    const std::vector<Hostile> rows = hostileServers();
    for (size_t i = 0; i < rows.size(); ++i) {
        QTest::newRow(rows[i].name.c_str()) << static_cast<int>(i);
    }
}

void TestHostileServers::fetchReturnsWithPageOrPart() {
    QFETCH(int, index);
    const Hostile row = hostileServers().at(static_cast<size_t>(index));

    std::unique_ptr<LoopbackServer> server;
    std::unique_ptr<NeverAccepting> silent;
    std::string address;
    if (row.address == "never-accepting") {
        silent = std::make_unique<NeverAccepting>();
        address = "http://127.0.0.1:" + std::to_string(silent->port()) + "/v/1.shtml";
    } else {
        try {
            server = std::make_unique<LoopbackServer>(row.family);
        } catch (const std::runtime_error& error) {
            if (row.family == LoopbackServer::Family::IPv6) {
                QSKIP(error.what()); // no ::1 here
            }
            throw;
        }
        row.script(*server);
        address = replaced(replaced(row.address, "{origin}", server->origin()), "{port}",
                           std::to_string(server->port()));
    }
    if (row.slow) {
        // Far below a desktop client's minute, so the row ends in seconds.
        setFetchTimeouts({2, 2});
    }

    const long long rssBefore = statusKiB("VmRSS");
    resetPeakRss();
    const auto started = std::chrono::steady_clock::now();
    // As the click does it: the body, then the page text made from it in place. Only a
    // small body is kept aside as well, to be compared.
    Bytes body = fetchPage(address);
    const Bytes fetched = body.size() <= mebibyte ? body : Bytes();
    const size_t fetchedSize = body.size();
    const Text text = bytesToText(std::move(body));
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const long long peak = statusKiB("VmHWM");
    qInfo("%s: %zu bytes in %.2f s", row.name.c_str(), fetchedSize, seconds);

    // It returned; with the time-outs as they stand, long before a minute.
    QVERIFY2(seconds < 45, qPrintable(QString::number(seconds)));

    switch (row.outcome) {
    case Outcome::Exact:
        QCOMPARE(qbytes(fetched), qbytes(row.body));
        QCOMPARE(qbytes(text), qbytes(row.body));
        break;
    case Outcome::Part:
        QVERIFY2(fetched.starts_with(row.early), fetched.c_str());
        QVERIFY2(row.body.starts_with(fetched), fetched.c_str());
        QVERIFY(fetched.size() < row.body.size());
        QCOMPARE(qbytes(text), qbytes(fetched));
        break;
    case Outcome::WholeOrEmpty: {
        const uint64_t whole = hugePieces * mebibyte;
        qInfo("resident before %lld KiB, peak %lld KiB (the body: %llu KiB)", rssBefore, peak,
              static_cast<unsigned long long>(whole / 1024));
        if (fetchedSize == 0) {
            QCOMPARE(text.size(), size_t(0));
            qWarning("the 1 GiB body did not fit in memory: empty result");
            break;
        }
        QCOMPARE(static_cast<uint64_t>(fetchedSize), whole);
        QCOMPARE(static_cast<uint64_t>(text.size()), whole);
        const std::string piece = patternedPiece(mebibyte);
        for (uint64_t i = 0; i < hugePieces; ++i) {
            QVERIFY(std::string_view(text).substr(i * mebibyte, mebibyte) == piece);
        }
        // The body is held once, and becomes the page text without a copy: at the peak,
        // the body and the room one growth step needs while it is moved, never two whole
        // copies.
        const long long wholeKiB = static_cast<long long>(whole / 1024);
        QVERIFY2(peak - rssBefore < wholeKiB * 7 / 4,
                 qPrintable(QStringLiteral("peak grew by %1 KiB").arg(peak - rssBefore)));
        break;
    }
    }
    if (server && row.requests >= 0) {
        QCOMPARE(static_cast<int>(server->requests().size()), row.requests);
    }
}

// The 1 GiB body in a process that may not map that much more memory: the fetch gives
// up cleanly with an empty result (in a child process, whose address space is limited).
void TestHostileServers::bodyBeyondMemoryGivesEmpty() {
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("the address sanitizer needs more address space than such a limit leaves");
#endif
    LoopbackServer server;
    server.setReply(hugeReply());
    const std::string address = server.origin() + "/v/1.shtml";
    const long long mappedKiB = statusKiB("VmSize");
    QVERIFY(mappedKiB > 0);

    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // Room for 384 MiB more than is mapped now: far less than the body.
        const auto limit = static_cast<rlim_t>(mappedKiB * 1024 + 384 * mebibyte);
        const rlimit addressSpace{limit, limit};
        if (setrlimit(RLIMIT_AS, &addressSpace) != 0) {
            _exit(3);
        }
        const Bytes fetched = fetchPage(address);
        _exit(fetched.empty() ? 0 : fetched.size() == hugePieces * mebibyte ? 1 : 2);
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    pid_t done = 0;
    while ((done = waitpid(child, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
        QTest::qWait(50);
    }
    if (done == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        QFAIL("the fetch in the limited process did not return");
    }
    QVERIFY2(WIFEXITED(status), "the limited process crashed");
    // 0: empty; 1: the whole body after all; 2: a part; 3: no limit could be set.
    QCOMPARE(WEXITSTATUS(status), 0);
}

QTEST_GUILESS_MAIN(TestHostileServers)
#include "test_hostile_servers.moc"
