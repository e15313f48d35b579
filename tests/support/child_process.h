// Running test code in a child process: for faults that must not touch the test program
// itself (resource limits) and for a second process that holds a file open.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

namespace korutil::test {

// Runs `body` in a forked child and returns its result (the child's exit status), or -1
// when the child did not exit normally. `body` returns 0 for success and must not use the
// test framework's assertions.
inline int runInChild(const std::function<int()>& body) {
    const pid_t pid = fork();
    if (pid == 0) {
        _exit(body());
    }
    if (pid < 0) {
        return -1;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// A child process that runs `open` (returning whether it succeeded), reports the result and
// then keeps whatever it opened until this object goes away.
class HoldingProcess {
public:
    explicit HoldingProcess(const std::function<bool()>& open) {
        int report[2];
        int release[2];
        if (pipe(report) != 0 || pipe(release) != 0) {
            return;
        }
        m_pid = fork();
        if (m_pid == 0) {
            close(report[0]);
            close(release[1]);
            const char opened = open() ? 1 : 0;
            (void)!write(report[1], &opened, 1);
            char ignored;
            (void)!read(release[0], &ignored, 1); // returns when the parent closes its end
            _exit(0);
        }
        close(report[1]);
        close(release[0]);
        m_release = release[1];
        char opened = 0;
        m_opened = m_pid > 0 && read(report[0], &opened, 1) == 1 && opened == 1;
        close(report[0]);
    }
    ~HoldingProcess() {
        if (m_release >= 0) {
            close(m_release);
        }
        if (m_pid > 0) {
            int status;
            waitpid(m_pid, &status, 0);
        }
    }
    HoldingProcess(const HoldingProcess&) = delete;
    HoldingProcess& operator=(const HoldingProcess&) = delete;

    bool opened() const { return m_opened; }

private:
    pid_t m_pid = -1;
    int m_release = -1;
    bool m_opened = false;
};

} // namespace korutil::test
