// One page fetch as the click does it - fetchPage, then bytesToText - timed, with the
// peak memory that it added to the process.
//   bench_fetch URL   prints "seconds BODY_BYTES PEAK_BYTES"

#include "parse/fetch.h"
#include "parse/text.h"

#include <chrono>
#include <cstdio>
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

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_fetch URL\n");
        return 2;
    }
    const Text address = argv[1];
    // The high-water mark starts again from here where the kernel allows it.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long long before = statusBytes("VmRSS");

    const auto start = std::chrono::steady_clock::now();
    Bytes body = fetchPage(address);
    const size_t bodySize = body.size();
    const Text text = bytesToText(std::move(body)); // as the click hands the page on
    const auto end = std::chrono::steady_clock::now();

    const long long peak = statusBytes("VmHWM");
    const double seconds = std::chrono::duration<double>(end - start).count();
    std::printf("%.6f %zu %lld\n", seconds, text.size(), peak - before);
    return text.size() == bodySize && bodySize > 0 ? 0 : 1;
}
