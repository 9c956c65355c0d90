#pragma once
// The fuzz entries. Each takes one input as libFuzzer hands it over and checks the
// properties of the code it drives; a broken property aborts the process. They build
// with any compiler: libFuzzer wraps each one (libfuzzer_main.cpp), and the corpus
// replay (replay_main.cpp) runs them all over the committed inputs.

#include <cstddef>
#include <cstdint>

// The four page patterns over arbitrary page bytes.
int fuzzExtraction(const uint8_t* data, size_t size);
// Canonical form of a page address, as the page fetch makes it, and its request target.
int fuzzAddress(const uint8_t* data, size_t size);
// The read size taken from a Content-Length value.
int fuzzContentLength(const uint8_t* data, size_t size);
// The dump file name check, and writing under accepted names in a temporary directory.
int fuzzDumpName(const uint8_t* data, size_t size);

struct FuzzTarget {
    const char* name; // also the folder of its corpus: fuzz/corpus/<name>
    int (*entry)(const uint8_t*, size_t);
};

inline constexpr FuzzTarget fuzzTargets[] = {
    {"extraction", fuzzExtraction},
    {"address", fuzzAddress},
    {"content_length", fuzzContentLength},
    {"dump_name", fuzzDumpName},
};
