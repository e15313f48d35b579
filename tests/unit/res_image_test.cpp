// Resource images built by hand, sound and damaged, through the registration call.
#include <korutil/platform.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace {

const HMODULE kModule = reinterpret_cast<HMODULE>(0x2000);

class ImageBuilder {
public:
    ImageBuilder() {
        // The empty record that opens every 32-bit image.
        u32(0), u32(32), u16(0xFFFF), u16(0), u16(0xFFFF), u16(0);
        for (int i = 0; i < 4; ++i) {
            u32(0);
        }
        m_boundaries.insert(m_bytes.size());
    }

    // A record whose type and name are identifiers or names (a name is given as text).
    void record(const std::string& type, const std::string& name,
                const std::vector<unsigned char>& data) {
        const std::size_t start = m_bytes.size();
        u32(static_cast<std::uint32_t>(data.size()));
        u32(0); // header size, patched below
        nameOrId(type);
        nameOrId(name);
        align();
        u32(0), u16(0x1030), u16(0x0409), u32(0), u32(0);
        const auto headerSize = static_cast<std::uint32_t>(m_bytes.size() - start);
        for (int i = 0; i < 4; ++i) {
            m_bytes[start + 4 + i] = static_cast<unsigned char>(headerSize >> (8 * i));
        }
        m_bytes.insert(m_bytes.end(), data.begin(), data.end());
        m_boundaries.insert(m_bytes.size());
        align();
        m_boundaries.insert(m_bytes.size());
    }

    std::vector<unsigned char>& bytes() { return m_bytes; }
    const std::set<std::size_t>& boundaries() const { return m_boundaries; }

private:
    void u16(std::uint16_t v) {
        m_bytes.push_back(static_cast<unsigned char>(v));
        m_bytes.push_back(static_cast<unsigned char>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v)), u16(static_cast<std::uint16_t>(v >> 16));
    }
    void align() {
        while (m_bytes.size() % 4 != 0) {
            m_bytes.push_back(0);
        }
    }
    void nameOrId(const std::string& s) {
        if (!s.empty() && s[0] == '#') {
            u16(0xFFFF), u16(static_cast<std::uint16_t>(std::stoi(s.substr(1))));
            return;
        }
        for (char c : s) {
            u16(static_cast<unsigned char>(c));
        }
        u16(0);
    }

    std::vector<unsigned char> m_bytes;
    std::set<std::size_t> m_boundaries;
};

// A string-table block: the given strings first, the rest of the 16 empty.
std::vector<unsigned char> stringBlock(const std::vector<std::string>& strings) {
    std::vector<unsigned char> out;
    for (std::size_t i = 0; i < 16; ++i) {
        const std::string s = i < strings.size() ? strings[i] : std::string();
        out.push_back(static_cast<unsigned char>(s.size()));
        out.push_back(static_cast<unsigned char>(s.size() >> 8));
        for (char c : s) {
            out.push_back(static_cast<unsigned char>(c));
            out.push_back(0);
        }
    }
    return out;
}

ImageBuilder soundImage() {
    ImageBuilder image;
    image.record("#6", "#1", stringBlock({"zero", "one", "two"}));
    image.record("#10", "DATA", {'x', 'y', 'z'});
    image.record("CUSTOM", "#7", {1, 2, 3, 4, 5, 6, 7, 8});
    return image;
}

bool registers(const std::vector<unsigned char>& bytes) {
    const BOOL ok = PlatRegisterResources(kModule, bytes.data(), static_cast<DWORD>(bytes.size()));
    if (ok) {
        PlatUnregisterResources(kModule);
    } else {
        // An empty vector may hand over a null pointer, which is refused as a parameter.
        const DWORD error = GetLastError();
        EXPECT_TRUE(error == ERROR_INVALID_DATA ||
                    (bytes.empty() && error == ERROR_INVALID_PARAMETER));
    }
    return ok != FALSE;
}

void patch32(std::vector<unsigned char>& bytes, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<unsigned char>(v >> (8 * i));
    }
}

TEST(ResourceImage, SoundImageServesEveryCall) {
    ImageBuilder image = soundImage();
    auto& bytes = image.bytes();
    ASSERT_TRUE(PlatRegisterResources(kModule, bytes.data(), static_cast<DWORD>(bytes.size())));
    bytes.assign(bytes.size(), 0); // the layer keeps its own copy
    char buffer[16];
    EXPECT_EQ(3, LoadStringA(kModule, 1, buffer, sizeof buffer));
    EXPECT_STREQ("one", buffer);
    EXPECT_EQ(0, LoadStringA(kModule, 5, buffer, sizeof buffer));
    HRSRC custom = FindResourceA(kModule, "#7", "custom");
    ASSERT_NE(nullptr, custom);
    EXPECT_EQ(8u, SizeofResource(kModule, custom));
    EXPECT_EQ(8, static_cast<const char*>(LockResource(LoadResource(kModule, custom)))[7]);
    EXPECT_NE(nullptr, FindResourceA(kModule, "data", RT_RCDATA));
    EXPECT_TRUE(PlatUnregisterResources(kModule));
    EXPECT_FALSE(PlatUnregisterResources(kModule));
    EXPECT_EQ(0, LoadStringA(kModule, 1, buffer, sizeof buffer));
}

TEST(ResourceImage, TruncationIsRefusedExceptAtARecordBoundary) {
    ImageBuilder image = soundImage();
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
    };
    for (const Damage& d : damages) {
        std::vector<unsigned char> bytes = sound;
        patch32(bytes, d.at, d.value);
        EXPECT_FALSE(registers(bytes)) << d.what;
    }
    std::vector<unsigned char> trailing = sound;
    trailing.push_back(0);
    EXPECT_FALSE(registers(trailing)) << "a stray byte behind the last record";
    EXPECT_FALSE(registers({}));
    EXPECT_FALSE(PlatRegisterResources(kModule, nullptr, 0));
}

TEST(ResourceImage, ADamagedImageIsRefusedWhole) {
    std::vector<unsigned char> bytes = soundImage().bytes();
    patch32(bytes, bytes.size() - 8 - 16 - 8 - 4, 0xFFFF); // the last record's data size
    EXPECT_FALSE(PlatRegisterResources(kModule, bytes.data(), static_cast<DWORD>(bytes.size())));
    EXPECT_EQ(nullptr, FindResourceA(kModule, MAKEINTRESOURCE(1), RT_STRING));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND), GetLastError());
}

} // namespace
