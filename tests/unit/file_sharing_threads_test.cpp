#include "support/file_contents.h"
#include "support/temp_dir.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Opens racing for the same file without sharing: the locks are taken before the check, so
// two racers may both be refused but are never both admitted.
TEST(FileSharingThreads, RacingExclusiveOpensNeverOverlap) {
    korutil::test::TempDir dir;
    const std::string path = dir.file("contended.dat");
    korutil::test::writeText(path, "x");
    std::atomic<int> holders{0}, overlaps{0}, admitted{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 300; ++i) {
                HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
                if (file != INVALID_HANDLE_VALUE) {
                    admitted.fetch_add(1);
                    overlaps.fetch_add(holders.fetch_add(1) != 0 ? 1 : 0);
                    std::this_thread::sleep_for(std::chrono::microseconds(50));
                    holders.fetch_sub(1);
                    CloseHandle(file);
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, overlaps.load());
    EXPECT_GT(admitted.load(), 0);
}

} // namespace
