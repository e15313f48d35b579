// Running test code in a child process: for faults that must not touch the test program
// itself (resource limits, another user) and for a second process that holds a file open.
#pragma once

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <vector>

namespace korutil::test {

// Runs `body` in a forked child and returns its exit status, or -1 when the child did not
// exit normally. `body` returns 0 for success and must not use the framework's assertions.
inline int runInChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(body());
    }
    int status = 0;
    const bool exited = pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status);
    return exited ? WEXITSTATUS(status) : -1;
}

// Runs `body(i)` for i = 0 .. count - 1 in as many child processes at once, and returns how
// many of them did not exit with 0. `body` must not use the framework's assertions.
inline int runInChildrenAtOnce(int count, const std::function<int(int)>& body) {
    std::vector<pid_t> children;
    for (int i = 0; i < count; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            _exit(body(i));
        }
        children.push_back(pid);
    }
    int failed = 0;
    for (pid_t pid : children) {
        int status = 0;
        failed += !(pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
                    WEXITSTATUS(status) == 0);
    }
    return failed;
}

// For a child: writes past `bytes` come short or fail instead of raising SIGXFSZ. Returns the
// limit before, to restore it with.
inline rlim_t limitFileSize(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlim_t previous = limit.rlim_cur;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
    return previous;
}

// A child process that runs `open` (returning whether it succeeded) and keeps whatever it
// opened until this object goes away.
class HoldingProcess {
public:
    explicit HoldingProcess(const std::function<bool()>& open) {
        int report[2];
        if (pipe(report) != 0) {
            return;
        }
        m_pid = fork();
        if (m_pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL); // never outlives the test
            const char opened = open() ? 1 : 0;
            (void)!write(report[1], &opened, 1);
            for (;;) {
                pause();
            }
        }
        close(report[1]);
        char opened = 0;
        m_opened = m_pid > 0 && read(report[0], &opened, 1) == 1 && opened == 1;
        close(report[0]);
    }
    ~HoldingProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    HoldingProcess(const HoldingProcess&) = delete;
    HoldingProcess& operator=(const HoldingProcess&) = delete;

    bool opened() const { return m_opened; }

private:
    pid_t m_pid = -1;
    bool m_opened = false;
};

} // namespace korutil::test
