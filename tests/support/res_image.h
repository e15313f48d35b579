// Builds compiled resource images (.res) in memory, for tests and benchmarks that register
// resources of their own or damage them on purpose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace korutil::test {

class ResImage {
public:
    ResImage() {
        // The empty record that opens every 32-bit image.
        u32(0), u32(32), u16(0xFFFF), u16(0), u16(0xFFFF), u16(0);
        for (int i = 0; i < 4; ++i) {
            u32(0);
        }
        m_boundaries.insert(m_bytes.size());
    }

    // A record; type and name are "#<number>" for identifiers, otherwise names.
    ResImage& record(const std::string& type, const std::string& name,
                     const std::vector<unsigned char>& data) {
        const std::size_t start = m_bytes.size();
        u32(static_cast<std::uint32_t>(data.size()));
        u32(0); // the header size, patched below
        nameOrId(type);
        nameOrId(name);
        align();
        u32(0), u16(0x1030), u16(0x0409), u32(0), u32(0);
        patch32(start + 4, static_cast<std::uint32_t>(m_bytes.size() - start));
        m_bytes.insert(m_bytes.end(), data.begin(), data.end());
        m_boundaries.insert(m_bytes.size());
        align();
        m_boundaries.insert(m_bytes.size());
        return *this;
    }

    // String-table block `block` (strings 16 * (block - 1) on), ASCII texts.
    ResImage& strings(int block, const std::vector<std::string>& texts) {
        std::vector<unsigned char> data;
        for (std::size_t i = 0; i < 16; ++i) {
            const std::string s = i < texts.size() ? texts[i] : std::string();
            data.push_back(static_cast<unsigned char>(s.size()));
            data.push_back(static_cast<unsigned char>(s.size() >> 8));
            for (char c : s) {
                data.push_back(static_cast<unsigned char>(c));
                data.push_back(0);
            }
        }
        return record("#6", "#" + std::to_string(block), data);
    }

    void patch32(std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            m_bytes[at + i] = static_cast<unsigned char>(v >> (8 * i));
        }
    }

    const std::vector<unsigned char>& bytes() const { return m_bytes; }
    // Lengths at which a prefix of the image is itself a sound image.
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

} // namespace korutil::test
