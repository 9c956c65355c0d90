#pragma once
// What every fuzz entry shares: a property check that stops the process with a message,
// so that libFuzzer keeps the input and the corpus replay fails.

#include <cstdio>
#include <cstdlib>

namespace fuzz {

// Set by the corpus replay to the file being run, so that a failure names it.
inline const char* currentInput = nullptr;

[[noreturn]] inline void fail(const char* check, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, check);
    if (currentInput != nullptr) {
        std::fprintf(stderr, "input: %s\n", currentInput);
    }
    std::fflush(stderr);
    std::abort();
}

} // namespace fuzz

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            ::fuzz::fail(#condition, __FILE__, __LINE__);                                          \
        }                                                                                          \
    } while (false)
