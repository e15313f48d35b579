// The resource registry is process-wide: readers on several threads while other modules come
// and go must always see either a module's whole resources or none.
#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace {

// An image with one string-table block holding `text` as string 1.
std::vector<unsigned char> imageWith(const std::string& text) {
    std::vector<unsigned char> block;
    for (int i = 0; i < 16; ++i) {
        const std::size_t length = i == 1 ? text.size() : 0;
        block.push_back(static_cast<unsigned char>(length));
        block.push_back(0);
        for (std::size_t k = 0; k < length; ++k) {
            block.push_back(static_cast<unsigned char>(text[k]));
            block.push_back(0);
        }
    }
    std::vector<unsigned char> image = {0,    0,    0, 0, 32,   0,    0, 0,
                                        0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0};
    image.resize(32, 0);
    const unsigned char header[32] = {static_cast<unsigned char>(block.size()),
                                      0,
                                      0,
                                      0,
                                      32,
                                      0,
                                      0,
                                      0,
                                      0xFF,
                                      0xFF,
                                      6,
                                      0,
                                      0xFF,
                                      0xFF,
                                      1,
                                      0};
    image.insert(image.end(), header, header + 32);
    image.insert(image.end(), block.begin(), block.end());
    return image;
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
