// The dump file's name check and the write that follows it, in a temporary directory.
//
// The input is split at its first zero byte into a title and a description, and the name
// is built from them as the debug dump builds it. staysInsideDirectory must accept
// exactly the names that are not empty, not absolute and have no ".." segment; every
// accepted name, joined to the directory and normalised lexically, must stay inside it;
// and writing under an accepted name must create nothing outside the directory (the
// folder that holds it is listed after every write).

#include "fuzz/fuzz_check.h"
#include "fuzz/targets.h"
#include "parse/dump_file.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

// <parent>/program holds the dumps; program/sub/deeper give names with a "/" somewhere
// to land. The parent must only ever hold "program".
struct Sandbox {
    std::string parent;
    std::string program;

    Sandbox() {
        char pattern[] = "/tmp/morvane-fuzz-dump-XXXXXX";
        const char* made = mkdtemp(pattern);
        FUZZ_CHECK(made != nullptr);
        parent = made;
        program = parent + "/program";
        FUZZ_CHECK(mkdir(program.c_str(), 0700) == 0);
        FUZZ_CHECK(mkdir((program + "/sub").c_str(), 0700) == 0);
        FUZZ_CHECK(mkdir((program + "/sub/deeper").c_str(), 0700) == 0);
    }
    ~Sandbox() {
        std::error_code ignored;
        std::filesystem::remove_all(parent, ignored);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;
};

std::vector<std::string> listing(const std::string& directory) {
    std::vector<std::string> names;
    DIR* dir = opendir(directory.c_str());
    FUZZ_CHECK(dir != nullptr);
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// The rule as the debug dump relies on it.
bool expectedInside(std::string_view name) {
    if (name.empty() || name.front() == '/') {
        return false;
    }
    size_t start = 0;
    for (;;) {
        const size_t slash = name.find('/', start);
        if (name.substr(start, slash - start) == "..") {
            return false;
        }
        if (slash == std::string_view::npos) {
            return true;
        }
        start = slash + 1;
    }
}

// `directory` + "/" + `name`, with "." and empty segments dropped and ".." taking one
// segment back; false when ".." would climb above `directory`.
bool lexicallyInside(std::string_view name) {
    int depth = 0;
    size_t start = 0;
    while (start <= name.size()) {
        size_t slash = name.find('/', start);
        if (slash == std::string_view::npos) {
            slash = name.size();
        }
        const std::string_view segment = name.substr(start, slash - start);
        if (segment == "..") {
            if (--depth < 0) {
                return false;
            }
        } else if (!segment.empty() && segment != ".") {
            ++depth;
        }
        start = slash + 1;
    }
    return true;
}

} // namespace

int fuzzDumpName(const uint8_t* data, size_t size) {
    static Sandbox sandbox;
    static const std::vector<std::string> parentBefore = listing(sandbox.parent);

    const std::string input(reinterpret_cast<const char*>(data), size);
    const size_t zero = input.find('\0');
    const std::string title = input.substr(0, zero);
    const std::string desc = zero == std::string::npos ? std::string() : input.substr(zero + 1);

    // The bare text, and the name the debug dump builds from the two rows.
    const Text bare = title;
    const Text name = concatTexts({title, desc, ".txt"});
    for (const Text* candidate : {&bare, &name}) {
        const std::string_view seen(candidate->c_str());
        const bool accepted = staysInsideDirectory(*candidate);
        FUZZ_CHECK(accepted == expectedInside(seen));
        if (accepted) {
            FUZZ_CHECK(lexicallyInside(seen));
        }
    }

    if (staysInsideDirectory(name)) {
        const Text path = concatTexts({sandbox.program, "/", name});
        const Bytes content = textToBytes(name);
        const bool written = writeWholeFile(path, content);
        struct stat info {};
        if (written) {
            FUZZ_CHECK(lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode));
            FUZZ_CHECK(static_cast<size_t>(info.st_size) == content.size());
        }
        // Clean up for the next input; unlink never removes the fixture directories.
        unlink(path.c_str());
        FUZZ_CHECK(listing(sandbox.parent) == parentBefore);
        // Inside, everything is cleaned up again (checked now and then: it is the
        // slower part).
        static unsigned writes = 0;
        if (++writes % 16 == 0 || !written) {
            FUZZ_CHECK(listing(sandbox.program) == std::vector<std::string>{"sub"});
            FUZZ_CHECK(listing(sandbox.program + "/sub") == std::vector<std::string>{"deeper"});
            FUZZ_CHECK(listing(sandbox.program + "/sub/deeper").empty());
        }
    }
    FUZZ_CHECK(!writeWholeFile(Text(), "never written"));
    return 0;
}
