// The resource registry is process-wide: readers on several threads while other modules come
// and go must always see either a module's whole resources or none.
#include <korutil/platform.h>

#include "support/res_image.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

std::vector<unsigned char> imageWith(const std::string& text) {
    return korutil::test::ResImage().strings(1, {"", text}).bytes();
}

HMODULE handle(std::uintptr_t n) {
    return reinterpret_cast<HMODULE>(0x60000000 + n * 0x1000);
}

TEST(ResourcesThreads, ReadersWhileModulesComeAndGo) {
    const std::vector<unsigned char> stable = imageWith("stable");
    ASSERT_TRUE(PlatRegisterResources(handle(0), stable.data(), static_cast<DWORD>(stable.size())));

    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 2; ++t) {
        readers.emplace_back([&] {
            char buffer[32];
            while (!done.load()) {
                if (LoadStringA(handle(0), 1, buffer, sizeof buffer) != 6 ||
                    std::string(buffer) != "stable") {
                    ++wrong;
                }
                // A coming and going module: its string is either there whole or missing.
                const int n = LoadStringA(handle(1), 1, buffer, sizeof buffer);
                if (n != 0 && std::string(buffer) != "transient") {
                    ++wrong;
                }
            }
        });
    }
    const std::vector<unsigned char> transient = imageWith("transient");
    for (int round = 0; round < 300; ++round) {
        EXPECT_TRUE(PlatRegisterResources(handle(1), transient.data(),
                                          static_cast<DWORD>(transient.size())));
        EXPECT_TRUE(PlatUnregisterResources(handle(1)));
    }
    done = true;
    for (auto& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(0, wrong.load());
    EXPECT_TRUE(PlatUnregisterResources(handle(0)));
}

} // namespace
