#include "io.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <mutex>

#include "paths.hpp"
#include "tessmar/encoding/utf8.hpp"

namespace tessmar::lib {

namespace {

// Owns a descriptor so that every return path closes it.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        // A failing close is not reported: the data has already been handed over.
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

int open_retrying(const std::string& path, int flags, mode_t mode = 0) {
    // open() would silently stop at an embedded NUL and open another file.
    if (path.find('\0') != std::string::npos) {
        errno = EINVAL;
        return -1;
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// Writes the pieces in order and in full: short writes are continued, interrupted
// ones retried. Returns false with errno set on failure.
bool write_all(int fd, iovec* part, std::size_t count) {
    while (count > 0) {
        const ssize_t written = ::writev(fd, part, static_cast<int>(std::min<std::size_t>(count, IOV_MAX)));
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (written == 0) {
            // Nothing taken for a non-empty request: no progress is possible.
            errno = EIO;
            return false;
        }
        auto left = static_cast<std::size_t>(written);
        while (count > 0 && left >= part->iov_len) {
            left -= part->iov_len;
            ++part;
            --count;
        }
        if (count > 0) {
            part->iov_base = static_cast<char*>(part->iov_base) + left;
            part->iov_len -= left;
        }
    }
    return true;
}

// The standard-output handle's lock: one line at a time, so lines from concurrent
// writers in this process never interleave.
std::mutex& stdout_lock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

std::expected<std::string, ReadFailure> read_log_file(const std::string& path) {
    const Descriptor file(open_retrying(path, O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return std::unexpected(ReadFailure{ReadFailureKind::Open, errno});

    // The size is only a hint (the file may change, or not be a regular file);
    // the extra byte lets the end-of-file read happen without growing the buffer.
    std::size_t capacity = 8192;
    struct stat status;
    if (::fstat(file.get(), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0) {
        capacity = static_cast<std::size_t>(status.st_size) + 1;
    }
    std::string text(capacity, '\0');
    std::size_t used = 0;
    for (;;) {
        if (used == text.size()) text.resize(text.size() * 2);
        const ssize_t got = ::read(file.get(), text.data() + used, text.size() - used);
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::unexpected(ReadFailure{ReadFailureKind::Read, errno});
        }
        if (got == 0) break;
        used += static_cast<std::size_t>(got);
    }
    text.resize(used);
    if (!is_valid_utf8(text)) return std::unexpected(ReadFailure{ReadFailureKind::InvalidUtf8, 0});
    return text;
}

std::expected<void, WriteFailure> write_lines(const std::string& path, const EventTexts& texts) {
    if (is_stdout_path(path)) {
        // Line by line under the handle's lock, as a line-buffered stream would.
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const std::string_view text = texts[i];
            iovec line{const_cast<char*>(text.data()), text.size() + 1};  // the text and its line feed
            const std::lock_guard<std::mutex> guard(stdout_lock());
            if (!write_all(STDOUT_FILENO, &line, 1)) return std::unexpected(WriteFailure::Write);
        }
        return {};
    }
    // The texts already stand in one buffer, each followed by its line feed, so the file's
    // content goes to the descriptor as it is, with no copy; one system call per line would
    // cost several times the whole conversion.
    const std::string_view lines = texts.lines();
    const Descriptor file(open_retrying(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (file.get() < 0) return std::unexpected(WriteFailure::Create);
    iovec all{const_cast<char*>(lines.data()), lines.size()};
    if (!write_all(file.get(), &all, 1)) return std::unexpected(WriteFailure::Write);
    return {};
}

}  // namespace tessmar::lib
