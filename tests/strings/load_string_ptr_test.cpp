#include "ids.h"

#include <korutil/schedule.h>
#include <korutil/strings.h>

#include "frame/heap.h"
#include "support/child_process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" HINSTANCE stringsTestModule();

namespace {

using korutil::detail::heapFailureFired;
using korutil::detail::HeapFailureScope;
using korutil::detail::heapRequestCount;

// A handle no module has; each call gives a new one, so that each starts without a table.
HINSTANCE freshHandle() {
    static std::uintptr_t next = 0x40000000;
    next += 0x1000;
    return reinterpret_cast<HINSTANCE>(next);
}

std::vector<unsigned char> moduleImage() {
    std::ifstream in(STRINGS_MODULE_RES, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(LoadStringPtr, OnePointerPerModuleAndIdentifier) {
    const char* first = LoadStringPtr(nullptr, IDS_SAME_ID);
    EXPECT_STREQ("from the program", first);
    const char* other = LoadStringPtr(stringsTestModule(), IDS_SAME_ID);
    EXPECT_STREQ("from the module", other);
    const long before = heapRequestCount();
    EXPECT_EQ(first, LoadStringPtr(nullptr, IDS_SAME_ID));
    EXPECT_EQ(other, LoadStringPtr(stringsTestModule(), IDS_SAME_ID));
    EXPECT_EQ(before, heapRequestCount()); // a cached text costs no allocation
    EXPECT_EQ(255u, std::strlen(LoadStringPtr(nullptr, IDS_LONG)));
}

TEST(LoadStringPtr, MissingStringsAreEmptyAndTriedAgain) {
    for (int id : {IDS_MISSING, IDS_EMPTY, IDS_MISSING_BLOCK}) {
        const char* text = LoadStringPtr(nullptr, id);
        ASSERT_NE(nullptr, text);
        EXPECT_STREQ("", text);
    }
    // A module whose resources arrive after a first, failed request.
    const HINSTANCE late = freshHandle();
    EXPECT_STREQ("", LoadStringPtr(late, IDS_SAME_ID));
    const std::vector<unsigned char> image = moduleImage();
    ASSERT_TRUE(PlatRegisterResources(late, image.data(), static_cast<DWORD>(image.size())));
    const char* text = LoadStringPtr(late, IDS_SAME_ID);
    EXPECT_STREQ("from the module", text);
    PlatUnregisterResources(late);
    EXPECT_EQ(text, LoadStringPtr(late, IDS_SAME_ID)); // cached texts outlive the module
}

// Brings the cache to where its next new module needs (or does not need) a larger block:
// a first request for a module without strings costs one request, or two when it grows.
void positionCache(bool grow) {
    long cost;
    do {
        const long before = heapRequestCount();
        LoadStringPtr(freshHandle(), IDS_SAME_ID);
        cost = heapRequestCount() - before;
    } while (cost == 1);
    for (int i = grow ? 0 : 15; i < 15; ++i) { // 16 modules fit in each step
        LoadStringPtr(freshHandle(), IDS_SAME_ID);
    }
}

// Every step of a first request fails in turn: the table, the cache's growth (when due), the
// text, the table's growth. A half-made entry would show on the retry: a wrong text, a freed
// one, or a leak.
TEST(LoadStringPtr, HeapFailureAtEveryStepLeavesNoEntry) {
    const std::vector<unsigned char> image = moduleImage();
    int failures = 0;
    for (bool grow : {false, true}) {
        for (long n = 1;; ++n) {
            positionCache(grow);
            const HINSTANCE module = freshHandle();
            ASSERT_TRUE(
                PlatRegisterResources(module, image.data(), static_cast<DWORD>(image.size())));
            bool fired;
            {
                HeapFailureScope fail(n);
                const char* refused = LoadStringPtr(module, IDS_SAME_ID);
                fired = heapFailureFired();
                EXPECT_STREQ(fired ? "" : "from the module", refused);
            }
            const char* text = LoadStringPtr(module, IDS_SAME_ID);
            EXPECT_STREQ("from the module", text) << "step " << n << " growing " << grow;
            const long before = heapRequestCount();
            EXPECT_EQ(text, LoadStringPtr(module, IDS_SAME_ID));
            EXPECT_EQ(before, heapRequestCount());
            PlatUnregisterResources(module);
            if (!fired) {
                break;
            }
            ++failures;
        }
    }
    EXPECT_EQ(3 + 4, failures);
}

// The cache is built before the library's schedule thread object and destroyed after it, so
// that a callback still running when the process exits may use it until the worker is
// stopped. A plain object of this program is destroyed before either: it lets the callback go.
std::atomic<bool> g_exitBegun{false};
struct ExitProbe {
    ~ExitProbe() { g_exitBegun = true; }
} g_exitProbe;

// The client lives on in a global pointer: no destructor of its own may run before the
// worker is stopped.
class CacheUser final : public IScheduleClient {
public:
    std::atomic<bool> inside{true}; // the call on the scheduling thread passes
    const char* cached = nullptr;
    int OnSchedule() override {
        if (inside.exchange(true)) {
            return 0;
        }
        while (!g_exitBegun) {
            Sleep(1);
        }
        // Long enough for an exit that destroyed the cache first to get there.
        for (const DWORD start = GetTickCount(); GetTickCount() - start < 300;) {
            if (std::strcmp(cached, "from the program") != 0 ||
                LoadStringPtr(nullptr, IDS_SAME_ID) != cached) {
                _exit(3);
            }
        }
        return 0;
    }
} * g_user;

TEST(LoadStringPtr, CacheOutlivesTheScheduleWorkerAtExit) {
    const int status = korutil::test::runInChild([] {
        g_user = new CacheUser;
        g_user->cached = LoadStringPtr(nullptr, IDS_SAME_ID);
        CScheduleThread* thread = CScheduleThread::GetThread();
        int id = 0;
        if (!thread->Create(THREAD_PRIORITY_NORMAL) || !thread->Schedule(&id, g_user, 1)) {
            return 1;
        }
        g_user->inside = false;
        while (!g_user->inside) {
            Sleep(1);
        }
        std::exit(0); // the static objects go in their order while the callback runs
    });
    EXPECT_EQ(0, status);
}

// The buffer is compared byte for byte, the list's final two zeros included.
TEST(LoadStringList, ItemsPairsAndTheFinalZero) {
    struct Case {
        int id;
        int size;
        int result;
        std::string buffer;
    } cases[] = {
        {IDS_LIST_EVEN, 64, 1, std::string("A\0B\0\0", 5)},
        {IDS_LIST_FOUR, 64, 1, std::string("A\0B\0C\0D\0\0", 9)},
        {IDS_LIST_TRAILING, 64, 1, std::string("A\0B\0C\0D\0\0", 9)},
        {IDS_LIST_ODD, 64, 0, std::string("A\0B\0C\0\0", 7)}, // still converted
        {IDS_LIST_EMPTY_ITEM, 64, 0, std::string("A\0\0B\0\0", 6)},
        {IDS_LIST_EVEN, 5, 1, std::string("A\0B\0\0#", 6)}, // just room for the final zero
        {IDS_LIST_EVEN, 4, 0, std::string("A\0B\0", 4)},    // none
    };
    for (const Case& c : cases) {
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(c.result, LoadStringList(nullptr, c.id, buffer, c.size)) << c.id << " " << c.size;
        EXPECT_EQ(c.buffer, std::string(buffer, c.buffer.size())) << c.id << " " << c.size;
    }
    char buffer[8];
    EXPECT_EQ(0, LoadStringList(nullptr, IDS_MISSING, buffer, sizeof buffer));
    EXPECT_EQ(0, LoadStringList(nullptr, IDS_LIST_EVEN, buffer, 0));
}

} // namespace
