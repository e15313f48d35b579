#include "kernel/no_throw.h"
#include "kernel/waitable.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/threads.h>

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <memory>

namespace korutil::detail {
namespace {

// The pseudo handle of GetCurrentThread, as on Windows.
HANDLE const kCurrentThread = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));

bool validPriority(int priority) {
    switch (priority) {
    case THREAD_PRIORITY_IDLE:
    case THREAD_PRIORITY_LOWEST:
    case THREAD_PRIORITY_BELOW_NORMAL:
    case THREAD_PRIORITY_NORMAL:
    case THREAD_PRIORITY_ABOVE_NORMAL:
    case THREAD_PRIORITY_HIGHEST:
    case THREAD_PRIORITY_TIME_CRITICAL:
        return true;
    default:
        return false;
    }
}

int niceFor(int priority) {
    switch (priority) {
    case THREAD_PRIORITY_IDLE:
        return 19;
    case THREAD_PRIORITY_LOWEST:
        return 10;
    case THREAD_PRIORITY_BELOW_NORMAL:
        return 5;
    case THREAD_PRIORITY_ABOVE_NORMAL:
        return -5;
    case THREAD_PRIORITY_HIGHEST:
        return -10;
    case THREAD_PRIORITY_TIME_CRITICAL:
        return -20;
    default:
        return 0;
    }
}

// Linux gives each thread its own niceness. Raising it needs a privilege the process may
// lack; the Windows value is kept and reported back either way.
void applyPriority(DWORD threadId, int priority) {
    setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), niceFor(priority));
}

class ThreadObject : public Waitable {
public:
    // Called on the new thread before its routine runs; CreateThread waits for the id.
    void started(DWORD id) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_id = id;
        notifyChanged();
    }

    DWORD waitForId() {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait(guard, [this] { return m_id != 0; });
        return m_id;
    }

    void finished(DWORD exitCode) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_exitCode = exitCode;
        m_ended = true;
        notifyChanged();
    }

    DWORD exitCode() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_ended ? m_exitCode : STILL_ACTIVE;
    }

    void setPriority(int priority) {
        // Under the lock the thread has not ended, so its id still names it.
        std::lock_guard<std::mutex> guard(m_lock);
        m_priority = priority;
        if (!m_ended && m_id != 0) {
            applyPriority(m_id, priority);
        }
    }

    int priority() {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_priority;
    }

private:
    bool acquire() override { return m_ended; }
    bool signalled() override { return m_ended; }

    DWORD m_id = 0;
    DWORD m_exitCode = STILL_ACTIVE;
    bool m_ended = false;
    int m_priority = THREAD_PRIORITY_NORMAL;
};

// What the calling thread knows about itself: its object when CreateThread started it, and
// the priority set through the pseudo handle otherwise.
thread_local ThreadObject* t_self = nullptr;
thread_local int t_foreignPriority = THREAD_PRIORITY_NORMAL;

struct StartInfo {
    std::shared_ptr<ThreadObject> self; // keeps the object alive until the routine returns
    LPTHREAD_START_ROUTINE routine;
    LPVOID parameter;
};

void* threadMain(void* argument) {
    std::unique_ptr<StartInfo> start(static_cast<StartInfo*>(argument));
    t_self = start->self.get();
    start->self->started(GetCurrentThreadId());
    const DWORD exitCode = start->routine(start->parameter);
    t_self = nullptr;
    start->self->finished(exitCode);
    return nullptr;
}

} // namespace
} // namespace korutil::detail

using korutil::detail::ThreadObject;

extern "C" HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T dwStackSize,
                                      LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                                      DWORD dwCreationFlags, LPDWORD lpThreadId) {
    return korutil::detail::failOnBadAlloc(HANDLE(nullptr), [&]() -> HANDLE {
        if (!lpStartAddress) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        if (dwCreationFlags & CREATE_SUSPENDED) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return nullptr;
        }
        auto object = std::make_shared<ThreadObject>();
        // Everything that may fail to allocate comes before the handle is registered.
        auto start = std::make_unique<korutil::detail::StartInfo>(
            korutil::detail::StartInfo{object, lpStartAddress, lpParameter});
        HANDLE handle = korutil::detail::insertHandle(object);
        if (!handle) {
            return nullptr;
        }
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        if (dwStackSize != 0) {
            const SIZE_T minimum = PTHREAD_STACK_MIN;
            pthread_attr_setstacksize(&attributes, dwStackSize < minimum ? minimum : dwStackSize);
        }
        pthread_t thread;
        const int rc =
            pthread_create(&thread, &attributes, korutil::detail::threadMain, start.get());
        pthread_attr_destroy(&attributes);
        if (rc == 0) {
            start.release(); // the new thread owns it now
        } else {
            korutil::detail::removeHandle(handle);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        const DWORD id = object->waitForId();
        if (lpThreadId) {
            *lpThreadId = id;
        }
        return handle;
    });
}

extern "C" HANDLE WINAPI GetCurrentThread(void) {
    return korutil::detail::kCurrentThread;
}

extern "C" DWORD WINAPI GetCurrentThreadId(void) {
    thread_local DWORD id = static_cast<DWORD>(gettid());
    return id;
}

extern "C" BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        if (hThread == korutil::detail::kCurrentThread) {
            if (lpExitCode) {
                *lpExitCode = STILL_ACTIVE;
            }
            return TRUE;
        }
        auto thread = korutil::detail::lookupHandleAs<ThreadObject>(hThread);
        if (!thread) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        if (!lpExitCode) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        *lpExitCode = thread->exitCode();
        return TRUE;
    });
}

extern "C" BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        using namespace korutil::detail;
        std::shared_ptr<ThreadObject> thread;
        if (hThread != kCurrentThread) {
            thread = lookupHandleAs<ThreadObject>(hThread);
            if (!thread) {
                SetLastError(ERROR_INVALID_HANDLE);
                return FALSE;
            }
        }
        if (!validPriority(nPriority)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        if (thread) {
            thread->setPriority(nPriority);
        } else if (t_self) {
            t_self->setPriority(nPriority);
        } else {
            t_foreignPriority = nPriority;
            applyPriority(GetCurrentThreadId(), nPriority);
        }
        return TRUE;
    });
}

extern "C" int WINAPI GetThreadPriority(HANDLE hThread) {
    return korutil::detail::failOnBadAlloc(int(THREAD_PRIORITY_ERROR_RETURN), [&]() -> int {
        using namespace korutil::detail;
        if (hThread == kCurrentThread) {
            return t_self ? t_self->priority() : t_foreignPriority;
        }
        auto thread = lookupHandleAs<ThreadObject>(hThread);
        if (!thread) {
            SetLastError(ERROR_INVALID_HANDLE);
            return THREAD_PRIORITY_ERROR_RETURN;
        }
        return thread->priority();
    });
}
