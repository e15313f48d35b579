// Loads libkorutil.so at run time, lets the library-wide worker call back into the host, then
// unloads the library: its worker must be stopped first, and nothing may call back afterwards.
#include <korutil/schedule.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>

namespace {

// The library's entry points, reached by their symbol names only: the host must not link any
// copy of the library. Member functions take the object as their first argument.
using GetThreadFn = CScheduleThread* (*)();
using CreateFn = int (*)(CScheduleThread*, int);
using ScheduleFn = int (*)(CScheduleThread*, int*, IScheduleClient*, int);

std::atomic<int> g_calls{0};
std::atomic<int> g_workerCalls{0};
std::atomic<DWORD> g_hostThread{0};
std::atomic<DWORD> g_workerThread{0};

class HostClient final : public IScheduleClient {
public:
    explicit HostClient(DWORD pause) : m_pause(pause) {}
    int OnSchedule() override {
        ++g_calls;
        if (GetCurrentThreadId() != g_hostThread.load()) {
            ++g_workerCalls;
            g_workerThread = GetCurrentThreadId();
            Sleep(m_pause); // unloading often finds the worker inside a call
        }
        return 0;
    }

private:
    DWORD m_pause;
};

bool threadExists(DWORD id) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/task/%u", static_cast<unsigned>(id));
    struct stat info;
    return stat(path, &info) == 0;
}

template <class Fn> Fn symbol(void* library, const char* name) {
    return reinterpret_cast<Fn>(dlsym(library, name));
}

TEST(ScheduleUnload, UnloadingStopsTheWorkerAndNothingCallsBack) {
    g_hostThread = GetCurrentThreadId();
    HostClient quick(1), slow(15);
    for (int cycle = 0; cycle < 2; ++cycle) {
        void* library = dlopen(KORUTIL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(nullptr, library) << dlerror();
        auto getThread = symbol<GetThreadFn>(library, "_ZN15CScheduleThread9GetThreadEv");
        auto create = symbol<CreateFn>(library, "_ZN15CScheduleThread6CreateEi");
        auto schedule =
            symbol<ScheduleFn>(library, "_ZN15CScheduleThread8ScheduleEPiP15IScheduleClienti");
        ASSERT_TRUE(getThread && create && schedule);

        CScheduleThread* shared = getThread();
        ASSERT_EQ(1, create(shared, THREAD_PRIORITY_NORMAL));
        int id = 0;
        ASSERT_EQ(1, schedule(shared, &id, &quick, 3));
        ASSERT_EQ(1, schedule(shared, &id, &slow, 5));
        const int target = g_workerCalls.load() + 10;
        const DWORD start = GetTickCount();
        while (g_workerCalls.load() < target && GetTickCount() - start < 10000) {
            Sleep(2);
        }
        ASSERT_GE(g_workerCalls.load(), target);

        EXPECT_EQ(0, dlclose(library));
        // The library is really gone, and its worker with it.
        EXPECT_EQ(nullptr, dlopen(KORUTIL_LIBRARY_PATH, RTLD_NOW | RTLD_NOLOAD));
        const int callsAtUnload = g_calls.load();
        Sleep(100);
        EXPECT_EQ(callsAtUnload, g_calls.load());
        // The worker's thread finishes its exit on its own once the library has let it go.
        const DWORD worker = g_workerThread.load();
        const DWORD exitStart = GetTickCount();
        while (threadExists(worker) && GetTickCount() - exitStart < 5000) {
            Sleep(2);
        }
        EXPECT_FALSE(threadExists(worker));
    }
}

} // namespace
