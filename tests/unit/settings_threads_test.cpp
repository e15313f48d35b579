#include "support/temp_dir.h"

#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using korutil::test::TempDir;

// Threads of one process share the registry connection and the parsed-file cache.
TEST(SettingsThreads, RegistryAndProfilesServeSeveralThreads) {
    TempDir dir;
    setenv("KORUTIL_REGISTRY", dir.file("registry.sqlite").c_str(), 1);
    const std::string ini = dir.file("threads.ini");
    constexpr int kThreads = 4;
    constexpr int kRounds = 30;
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            HKEY key = nullptr;
            const std::string path = "Software\\Threads\\T" + std::to_string(t);
            failures[t] += RegCreateKeyA(HKEY_CURRENT_USER, path.c_str(), &key) != 0;
            for (int i = 0; i < kRounds; ++i) {
                const DWORD v = static_cast<DWORD>(t * 100 + i);
                const std::string name = "v" + std::to_string(i);
                failures[t] += RegSetValueExA(key, name.c_str(), 0, REG_DWORD,
                                              reinterpret_cast<const BYTE*>(&v), 4) != 0;
                DWORD read = 0;
                DWORD size = 4;
                failures[t] += RegQueryValueExA(key, name.c_str(), nullptr, nullptr,
                                                reinterpret_cast<BYTE*>(&read), &size) != 0 ||
                               read != v;
                failures[t] += !WritePrivateProfileStringA("s", name.c_str(),
                                                           std::to_string(v).c_str(), ini.c_str());
                char text[16];
                GetPrivateProfileStringA("s", name.c_str(), "", text, sizeof text, ini.c_str());
                failures[t] += text[0] == '\0';
            }
            RegCloseKey(key);
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(0, failures[t]) << "thread " << t;
    }
    HKEY parent = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Threads", &parent));
    DWORD subkeys = 0;
    RegQueryInfoKeyA(parent, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                     nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(static_cast<DWORD>(kThreads), subkeys);
    RegCloseKey(parent);
    PlatRegCloseStore();
    unsetenv("KORUTIL_REGISTRY");
}

} // namespace
