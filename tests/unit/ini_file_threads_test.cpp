#include "support/temp_dir.h"

#include <korutil/settings.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kKeys = 8;

// One thread's record: its own section of the shared file.
struct Record : CIniFile {
    Record(const std::string& file, int thread)
        : CIniFile(file.c_str()), section("T" + std::to_string(thread)) {}
    std::string section;
    int values[kKeys] = {};
    int UpdateData(int save) override {
        for (int k = 0; k < kKeys; ++k) {
            Xfer(save, section.c_str(), ("k" + std::to_string(k)).c_str(), &values[k], -1);
        }
        return 1;
    }
};

// Threads save records into one file while the layer writes earlier saves out; each load
// sees the thread's own last save, and in the end the file holds every thread's last one.
TEST(CIniFileThreads, SavesOfSeveralThreadsMeetInOneFile) {
    korutil::test::TempDir dir;
    const std::string file = dir.file("shared.ini");
    constexpr int kThreads = 4;
    constexpr int kRounds = 40;
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            Record out(file, t);
            for (int round = 0; round < kRounds; ++round) {
                for (int k = 0; k < kKeys; ++k) {
                    out.values[k] = round * 100 + k;
                }
                out.UpdateData(1);
                if (round % 10 == t) { // now and then a write of the host's own
                    failures[t] +=
                        !WritePrivateProfileStringA("Host", out.section.c_str(), "x", file.c_str());
                }
                Record in(file, t);
                in.UpdateData(0);
                for (int k = 0; k < kKeys; ++k) {
                    failures[t] += in.values[k] != out.values[k];
                }
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, file.c_str());
    // A copy under another name is parsed afresh, from what reached the disk.
    const std::string copy = dir.file("copy.ini");
    std::ofstream(copy, std::ios::binary) << std::ifstream(file, std::ios::binary).rdbuf();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(0, failures[t]) << "thread " << t;
        Record last(copy, t);
        last.UpdateData(0);
        for (int k = 0; k < kKeys; ++k) {
            EXPECT_EQ((kRounds - 1) * 100 + k, last.values[k]) << t << " " << k;
        }
    }
}

} // namespace
