#include "actions/desktop_open.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr const char* openerName = "xdg-open";

// The places to try for the opener, in the order the shell would search PATH: an empty
// entry stands for the working directory, and with no PATH at all the usual default is
// used. Built before forking, because between fork and exec only async-signal-safe calls
// are allowed (execvp may allocate; execve does not).
std::vector<std::string> openerCandidates() {
    const char* pathVariable = std::getenv("PATH");
    const std::string path = pathVariable != nullptr ? pathVariable : "/bin:/usr/bin";
    std::vector<std::string> candidates;
    size_t start = 0;
    for (;;) {
        const size_t colon = path.find(':', start);
        std::string directory =
            path.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
        if (directory.empty()) {
            candidates.emplace_back(openerName);
        } else {
            if (directory.back() != '/') {
                directory.push_back('/');
            }
            candidates.push_back(directory + openerName);
        }
        if (colon == std::string::npos) {
            break;
        }
        start = colon + 1;
    }
    return candidates;
}

// Every descriptor from 3 up is closed in the opener, whether or not its owner asked for
// close-on-exec: the opener gets standard input, output and error and nothing else.
void closeInheritedDescriptors(int highestPossible) {
    if (::close_range(3, ~0U, 0) == 0) {
        return;
    }
    for (int fd = 3; fd <= highestPossible; ++fd) {
        ::close(fd);
    }
}

// Runs in the grandchild: only async-signal-safe calls from here on.
[[noreturn]] void execOpener(const std::vector<const char*>& paths, char* const* argv,
                             int highestDescriptor) {
    // Ignored signals and a blocked mask would otherwise pass through exec.
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction action {};
        action.sa_handler = SIG_DFL;
        ::sigaction(signal, &action, nullptr);
    }
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    closeInheritedDescriptors(highestDescriptor);
    for (const char* path : paths) {
        ::execve(path, argv, environ);
    }
    ::_exit(127);
}

} // namespace

void openWithDesktop(const Text& text) {
    try {
        const std::vector<std::string> candidates = openerCandidates();
        std::vector<const char*> paths;
        paths.reserve(candidates.size());
        for (const std::string& candidate : candidates) {
            paths.push_back(candidate.c_str());
        }
        // The argument is the text up to its first zero byte, exactly as it is.
        std::string argument(text.c_str());
        std::string program(openerName);
        char* argv[] = {program.data(), argument.data(), nullptr};

        rlimit limit{};
        int highestDescriptor = 1023;
        if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
            highestDescriptor =
                limit.rlim_cur > 65536 ? 65535 : static_cast<int>(limit.rlim_cur) - 1;
        }

        // Two forks: the middle process starts a new session, forks the opener and ends at
        // once, so the opener is adopted by init and never becomes our zombie, and we wait
        // only for the middle process, never for the opener.
        const pid_t child = ::fork();
        if (child < 0) {
            return;
        }
        if (child == 0) {
            ::setsid();
            const pid_t grandchild = ::_Fork();
            if (grandchild == 0) {
                execOpener(paths, argv, highestDescriptor);
            }
            ::_exit(0);
        }
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    } catch (...) {
        // Nothing is reported: a failed open is not looked at.
    }
}
