#include <korutil/platform/threads.h>

#include <time.h>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<DWORD> g_tickOffset{0};

} // namespace

extern "C" DWORD WINAPI GetTickCount(void) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    const unsigned long long ms = static_cast<unsigned long long>(now.tv_sec) * 1000u +
                                  static_cast<unsigned long long>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(ms) + g_tickOffset.load(std::memory_order_relaxed);
}

extern "C" void WINAPI PlatSetTickCountOffset(DWORD dwOffset) {
    g_tickOffset.store(dwOffset, std::memory_order_relaxed);
}

extern "C" void WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == INFINITE) {
        for (;;) {
            timespec forever{3600, 0};
            nanosleep(&forever, nullptr);
        }
    }
    timespec left{static_cast<time_t>(dwMilliseconds / 1000),
                  static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    // Signals interrupt nanosleep; the remaining time is slept on.
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}
