// Descriptors owned by a scope, and reading and writing them to the end through short
// transfers and interruptions.
#pragma once

#include <string>
#include <string_view>

namespace korutil::detail {

// Closes its descriptor (if any) when it goes.
class OwnedFd {
public:
    explicit OwnedFd(int fd = -1) : m_fd(fd) {}
    ~OwnedFd();
    OwnedFd(const OwnedFd&) = delete;
    OwnedFd& operator=(const OwnedFd&) = delete;
    int get() const { return m_fd; }
    // Hands the descriptor on to the caller.
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

// Appends what is left to read of `fd` to `out`; false with errno set on a failure.
bool readToEnd(int fd, std::string& out);

// Writes all of `data` at the descriptor's position; false with errno set on a failure
// (ENOSPC for a write that took nothing).
bool writeAll(int fd, std::string_view data);

} // namespace korutil::detail
