#include "parse/dump_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The bytes of a Text up to its first zero byte.
std::string_view textView(const Text& text) {
    return std::string_view(text.c_str());
}

// Closes `fd` and reports whether that worked; EINTR on close still releases the
// descriptor on Linux, so it is not retried (a retry could close someone else's).
bool closeFile(int fd) {
    return ::close(fd) == 0 || errno == EINTR;
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (written == 0) {
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace

Text programDirectory() {
    try {
        Text path(256, '\0');
        for (;;) {
            const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
            if (length < 0) {
                return Text();
            }
            if (static_cast<size_t>(length) < path.size()) {
                path.resize(static_cast<size_t>(length));
                break;
            }
            // The link may have been cut short: try again with more room.
            path.resize(path.size() * 2);
        }
        const size_t slash = path.rfind('/');
        if (slash == Text::npos) {
            return Text();
        }
        path.resize(slash);
        return path;
    } catch (...) {
        return Text();
    }
}

bool writeWholeFile(const Text& name, const Bytes& bytes) {
    const char* path = name.c_str();
    if (path[0] == '\0') {
        return false;
    }
    // No O_TRUNC here: the file is emptied only once the lock is ours, so a program that
    // holds a lock on it finds its content unchanged. O_NOFOLLOW refuses a final component
    // that is a symbolic link; O_NONBLOCK keeps a FIFO without a reader from hanging the
    // open (ENXIO) and changes nothing for a regular file.
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        closeFile(fd);
        return false;
    }
    int locked;
    do {
        locked = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        // Someone else holds the file: leave it as it is.
        closeFile(fd);
        return false;
    }
    bool ok = ::ftruncate(fd, 0) == 0 && writeAll(fd, bytes.data(), bytes.size());
    // Closing the descriptor also drops the lock.
    ok = closeFile(fd) && ok;
    return ok;
}

bool staysInsideDirectory(const Text& relativeName) {
    const std::string_view name = textView(relativeName);
    if (name.empty() || name.front() == '/') {
        return false;
    }
    size_t start = 0;
    for (;;) {
        const size_t slash = name.find('/', start);
        const std::string_view segment = name.substr(
            start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (segment == "..") {
            return false;
        }
        if (slash == std::string_view::npos) {
            return true;
        }
        start = slash + 1;
    }
}
