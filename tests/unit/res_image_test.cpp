// Resource images built by hand, sound and damaged, through the registration call.
#include <korutil/platform.h>

#include "support/res_image.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using korutil::test::ResImage;

const HMODULE kModule = reinterpret_cast<HMODULE>(0x2000);

ResImage soundImage() {
    ResImage image;
    image.strings(1, {"zero", "one", "two"});
    image.record("#10", "DATA", {'x', 'y', 'z'});
    image.record("CUSTOM", "#7", {1, 2, 3, 4, 5, 6, 7, 8});
    return image;
}

// Whether the image registers; a refused one must leave nothing of itself behind.
bool registers(const std::vector<unsigned char>& bytes) {
    const BOOL ok = PlatRegisterResources(kModule, bytes.data(), static_cast<DWORD>(bytes.size()));
    if (ok) {
        PlatUnregisterResources(kModule);
        return true;
    }
    // An empty vector may hand over a null pointer, which is refused as a parameter.
    const DWORD error = GetLastError();
    EXPECT_TRUE(error == ERROR_INVALID_DATA || (bytes.empty() && error == ERROR_INVALID_PARAMETER));
    EXPECT_EQ(nullptr, FindResourceA(kModule, MAKEINTRESOURCE(1), RT_STRING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND), GetLastError());
    return false;
}

TEST(ResourceImage, SoundImageServesEveryCall) {
    std::vector<unsigned char> bytes = soundImage().bytes();
    ASSERT_TRUE(PlatRegisterResources(kModule, bytes.data(), static_cast<DWORD>(bytes.size())));
    bytes.assign(bytes.size(), 0); // the layer keeps its own copy
    char buffer[16];
    EXPECT_EQ(3, LoadStringA(kModule, 1, buffer, sizeof buffer));
    EXPECT_STREQ("one", buffer);
    HRSRC custom = FindResourceA(kModule, "#7", "custom");
    ASSERT_NE(nullptr, custom);
    EXPECT_EQ(8u, SizeofResource(kModule, custom));
    EXPECT_EQ(8, static_cast<const char*>(LockResource(LoadResource(kModule, custom)))[7]);
    EXPECT_TRUE(PlatUnregisterResources(kModule));
    EXPECT_FALSE(PlatUnregisterResources(kModule));
    EXPECT_EQ(0, LoadStringA(kModule, 1, buffer, sizeof buffer));
}

TEST(ResourceImage, TruncationIsRefusedExceptAtARecordBoundary) {
    const ResImage image = soundImage();
    const auto& full = image.bytes();
    for (std::size_t cut = 0; cut <= full.size(); ++cut) {
        // An exact-size copy, so that a read past the end shows under AddressSanitizer.
        const std::vector<unsigned char> prefix(full.begin(), full.begin() + cut);
        const bool atBoundary = image.boundaries().count(cut) != 0;
        EXPECT_EQ(atBoundary, registers(prefix)) << "cut at " << cut;
    }
}

TEST(ResourceImage, DamagedHeadersAndSizesAreRefused) {
    const std::vector<unsigned char> sound = soundImage().bytes();
    const std::size_t first = 32; // the first real record
    struct Damage {
        const char* what;
        std::size_t at;
        std::uint32_t value;
    } damages[] = {
        {"no opening marker", 4, 33},
        {"header size not a multiple of four", first + 4, 46},
        {"header size too small for its fields", first + 4, 24},
        {"header size past the end", first + 4, 0xFFFFFFFC},
        {"data size past the end", first, 0xFFFFFFFF},
        {"data size one past the end", first, static_cast<std::uint32_t>(sound.size())},
        {"string counts overrun the block", first + 32, 0x00007FFF},
        {"a name instead of the identifier runs into the fixed fields", first + 8, 0x00410041},
        {"the last record's data size", sound.size() - 8 - 16 - 8 - 4, 0xFFFF},
    };
    for (const Damage& d : damages) {
        ResImage image = soundImage();
        image.patch32(d.at, d.value);
        EXPECT_FALSE(registers(image.bytes())) << d.what;
    }
    std::vector<unsigned char> trailing = sound;
    trailing.push_back(0);
    EXPECT_FALSE(registers(trailing)) << "a stray byte behind the last record";
    EXPECT_FALSE(registers({}));
    EXPECT_FALSE(PlatRegisterResources(kModule, nullptr, 0));
}

} // namespace
