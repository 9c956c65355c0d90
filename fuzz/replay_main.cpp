// Runs every fuzz entry over every file of its committed corpus (fuzz/corpus/<target>/).
// A broken property aborts; an empty or missing corpus folder fails the run, so the test
// never passes on nothing.

#include "fuzz/fuzz_check.h"
#include "fuzz/targets.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::filesystem::path root = argc > 1 ? argv[1] : MORVANE_FUZZ_CORPUS_DIR;
    int failures = 0;
    for (const FuzzTarget& target : fuzzTargets) {
        const std::filesystem::path folder = root / target.name;
        std::vector<std::filesystem::path> files;
        std::error_code error;
        for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path());
            }
        }
        std::sort(files.begin(), files.end());
        if (files.empty()) {
            std::fprintf(stderr, "%s: no corpus in %s\n", target.name, folder.c_str());
            ++failures;
            continue;
        }
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
            if (!in.good() && !in.eof()) {
                std::fprintf(stderr, "%s: cannot read\n", file.c_str());
                ++failures;
                continue;
            }
            const std::string name = file.string();
            fuzz::currentInput = name.c_str();
            target.entry(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            fuzz::currentInput = nullptr;
        }
        std::printf("%s: %zu inputs replayed\n", target.name, files.size());
    }
    return failures == 0 ? 0 : 1;
}
