#include "kernel/res_reader.h"

#include "kernel/text_encoding.h"

#include <cstring>

namespace korutil::detail {
namespace {

constexpr std::size_t kFixedTail = 16; // data version, flags, language, version, characteristics
constexpr std::size_t kMarkerSize = 32;
// Far more records than any module carries; an image claiming more is not a resource file.
constexpr std::size_t kMaxRecords = 1u << 20;

std::uint16_t word(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t dword(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::size_t align4(std::size_t n) {
    return (n + 3) & ~static_cast<std::size_t>(3);
}

// A type or name at `p`: 0xFFFF and an identifier, or zero-terminated UTF-16. Returns the
// position behind it, or null if it does not end before `end`.
const unsigned char* readName(const unsigned char* p, const unsigned char* end, ResName& name) {
    if (end - p < 2) {
        return nullptr;
    }
    if (word(p) == 0xFFFF) {
        if (end - p < 4) {
            return nullptr;
        }
        name.isId = true;
        name.id = word(p + 2);
        return p + 4;
    }
    const unsigned char* q = p;
    while (end - q >= 2 && word(q) != 0) {
        q += 2;
    }
    if (end - q < 2) {
        return nullptr;
    }
    std::vector<std::uint16_t> units;
    for (const unsigned char* u = p; u < q; u += 2) {
        units.push_back(word(u));
    }
    name.isId = false;
    name.text.clear();
    const std::uint16_t* unit = units.data();
    const std::uint16_t* unitsEnd = unit + units.size();
    char utf8[4];
    while (unit < unitsEnd) {
        name.text.append(utf8,
                         static_cast<std::size_t>(encodeUtf8(nextUtf16(unit, unitsEnd), utf8)));
    }
    return q + 2;
}

// A block of a string table holds 16 counted UTF-16 strings and nothing beyond them but
// padding.
bool stringBlockIsSound(const unsigned char* p, std::uint32_t size) {
    std::size_t at = 0;
    for (unsigned i = 0; i < kStringsPerBlock; ++i) {
        if (size - at < 2) {
            return false;
        }
        at += 2 + 2 * static_cast<std::size_t>(word(p + at));
        if (at > size) {
            return false;
        }
    }
    return true;
}

} // namespace

bool readResources(const unsigned char* data, std::size_t size, std::vector<ResRecord>& records) {
    records.clear();
    // The 32-bit format opens with an empty record whose type and name are identifier 0.
    static const unsigned char marker[16] = {0,    0,    0, 0, 32,   0,    0, 0,
                                             0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0};
    if (!data || size < kMarkerSize || std::memcmp(data, marker, sizeof marker) != 0) {
        return false;
    }
    std::vector<ResRecord> found;
    std::size_t pos = kMarkerSize;
    while (pos < size) {
        if (size - pos < 8 || found.size() >= kMaxRecords) {
            return false;
        }
        const std::uint32_t dataSize = dword(data + pos);
        const std::uint32_t headerSize = dword(data + pos + 4);
        if (headerSize % 4 != 0 || headerSize < 8 + 4 + 4 + kFixedTail || headerSize > size - pos) {
            return false;
        }
        const unsigned char* header = data + pos;
        const unsigned char* headerEnd = header + headerSize;
        ResRecord record;
        const unsigned char* p = readName(header + 8, headerEnd - kFixedTail, record.type);
        if (p) {
            p = readName(p, headerEnd - kFixedTail, record.name);
        }
        if (!p || align4(static_cast<std::size_t>(p - header)) + kFixedTail != headerSize) {
            return false;
        }
        record.language = word(headerEnd - kFixedTail + 6);
        record.offset = pos + headerSize;
        record.size = dataSize;
        if (dataSize > size - record.offset) {
            return false;
        }
        if (record.type.isId && record.type.id == kStringTableType &&
            !stringBlockIsSound(data + record.offset, dataSize)) {
            return false;
        }
        found.push_back(std::move(record));
        const std::size_t dataEnd = pos + headerSize + dataSize;
        // The last record may end without its padding.
        pos = dataEnd == size ? size : align4(dataEnd);
        if (pos > size) {
            return false;
        }
    }
    records = std::move(found);
    return true;
}

} // namespace korutil::detail
