// One page fetch as the click does it - fetchPage, then bytesToText - timed, with the
// peak memory that it added to the process.
//   bench_fetch URL          prints "seconds BODY_BYTES PEAK_BYTES"
// And the floor under any fetch that keeps the body: writing that many bytes into fresh
// memory, 100 KiB at a time as the reads hand them over, into room reserved at once.
//   bench_fetch --hold BYTES prints "seconds BYTES PEAK_BYTES"

#include "parse/fetch.h"
#include "parse/text.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

// A "VmXXX:  N kB" field of /proc/self/status, in bytes.
long long statusBytes(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stoll(line.substr(field.size() + 1)) * 1024;
        }
    }
    return -1;
}

// Writes `bytes` bytes into fresh room in 100 KiB pieces.
Bytes hold(size_t bytes) {
    static char piece[102400];
    std::memset(piece, 'a', sizeof piece);
    Bytes body;
    body.reserve(bytes);
    while (body.size() < bytes) {
        body.append(piece, std::min(sizeof piece, bytes - body.size()));
    }
    return body;
}

} // namespace

int main(int argc, char** argv) {
    const bool holdOnly = argc == 3 && std::strcmp(argv[1], "--hold") == 0;
    if (argc != 2 && !holdOnly) {
        std::fprintf(stderr, "usage: bench_fetch URL | bench_fetch --hold BYTES\n");
        return 2;
    }
    // The high-water mark starts again from here where the kernel allows it.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long long before = statusBytes("VmRSS");

    const auto start = std::chrono::steady_clock::now();
    Bytes body = holdOnly ? hold(std::strtoull(argv[2], nullptr, 10)) : fetchPage(argv[1]);
    const size_t bodySize = body.size();
    const Text text = holdOnly ? Text() : bytesToText(std::move(body)); // as the click does
    const auto end = std::chrono::steady_clock::now();

    const long long peak = statusBytes("VmHWM");
    const double seconds = std::chrono::duration<double>(end - start).count();
    std::printf("%.6f %zu %lld\n", seconds, bodySize, peak - before);
    return (holdOnly || text.size() == bodySize) && bodySize > 0 ? 0 : 1;
}
