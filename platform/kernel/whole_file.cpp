#include "kernel/whole_file.h"

#include <unistd.h>

#include <cerrno>

namespace korutil::detail {

OwnedFd::~OwnedFd() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool readToEnd(int fd, std::string& out) {
    char chunk[8192];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return n == 0;
        }
        out.append(chunk, static_cast<std::size_t>(n));
    }
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            if (n == 0) {
                errno = ENOSPC;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace korutil::detail
