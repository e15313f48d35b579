// The reader of the compiled resource format (.res): a sequence of records, each a header
// (data size, header size, type, name, version fields, language) followed by the data, every
// header on a four-byte boundary, the first record the empty marker of the 32-bit format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace korutil::detail {

struct ResName {
    bool isId = true;
    std::uint16_t id = 0;
    std::string text; // UTF-8, when not an identifier
};

struct ResRecord {
    ResName type;
    ResName name;
    std::uint16_t language = 0;
    std::size_t offset = 0; // of the data, from the start of the image
    std::uint32_t size = 0;
};

// Reads every record of an image. A damaged image (truncated, sizes running past the end,
// bad alignment, names without terminator, string tables whose strings overrun their block)
// gives false and no records; nothing outside [data, data + size) is ever read.
bool readResources(const unsigned char* data, std::size_t size, std::vector<ResRecord>& records);

// The string tables' type and the number of strings in each block.
constexpr std::uint16_t kStringTableType = 6;
constexpr unsigned kStringsPerBlock = 16;

} // namespace korutil::detail
