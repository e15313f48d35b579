// The resource registry is process-wide: readers on several threads while other modules come
// and go must always see either a module's whole resources or none.
#include <korutil/platform.h>

#include "support/res_image.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

const HMODULE kStable = reinterpret_cast<HMODULE>(0x60000000);
const HMODULE kTransient = reinterpret_cast<HMODULE>(0x60001000);

TEST(ResourcesThreads, ReadersWhileModulesComeAndGo) {
    using korutil::test::ResImage;
    const std::vector<unsigned char> stable = ResImage().strings(1, {"", "stable"}).bytes();
    const std::vector<unsigned char> transient = ResImage().strings(1, {"", "transient"}).bytes();
    ASSERT_TRUE(PlatRegisterResources(kStable, stable.data(), static_cast<DWORD>(stable.size())));

    std::atomic<bool> done{false};
    std::atomic<int> wrong{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 2; ++t) {
        readers.emplace_back([&] {
            char buffer[32];
            while (!done.load()) {
                if (LoadStringA(kStable, 1, buffer, sizeof buffer) != 6 ||
                    std::string(buffer) != "stable") {
                    ++wrong;
                }
                // A coming and going module: its string is either there whole or missing.
                const int n = LoadStringA(kTransient, 1, buffer, sizeof buffer);
                if (n != 0 && std::string(buffer) != "transient") {
                    ++wrong;
                }
            }
        });
    }
    for (int round = 0; round < 300; ++round) {
        EXPECT_TRUE(PlatRegisterResources(kTransient, transient.data(),
                                          static_cast<DWORD>(transient.size())));
        EXPECT_TRUE(PlatUnregisterResources(kTransient));
    }
    done = true;
    for (auto& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(0, wrong.load());
    EXPECT_TRUE(PlatUnregisterResources(kStable));
}

} // namespace
