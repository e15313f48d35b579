// A fuzz entry point over its fixed corpus, and over every prefix and every one-byte change
// of each corpus file, so that the ordinary suite keeps the code behind it honest.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void run(const std::vector<std::uint8_t>& input) {
    // An exact-size copy, so that a read past the end shows under AddressSanitizer.
    const std::vector<std::uint8_t> copy(input);
    EXPECT_EQ(0, LLVMFuzzerTestOneInput(copy.data(), copy.size()));
}

TEST(FuzzCorpus, EveryFilePrefixAndByteChange) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KORUTIL_FUZZ_CORPUS)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        ++files;
        run(bytes);
        for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
            run(std::vector<std::uint8_t>(bytes.begin(), bytes.begin() + cut));
        }
        for (std::size_t at = 0; at < bytes.size(); ++at) {
            for (std::uint8_t change : {0x01, 0x80, 0xFF}) {
                std::vector<std::uint8_t> changed = bytes;
                changed[at] ^= change;
                run(changed);
            }
        }
    }
    EXPECT_GE(files, 4);
}

} // namespace
