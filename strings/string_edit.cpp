#include <korutil/strings.h>

#include "frame/heap.h"

#include <cstring>

using korutil::detail::heapAllocate;
using korutil::detail::heapRelease;
using korutil::detail::heapResize;

int CString::InsertAt(int position, char c, int count) {
    const std::size_t length = m_pText ? std::strlen(m_pText) : 0;
    if (position < 0 || static_cast<std::size_t>(position) > length || count < 0) {
        return 0;
    }
    const auto at = static_cast<std::size_t>(position);
    // A zero character ends the text where it goes, and the old tail is joined behind the
    // head again: the visible text stays as it is.
    const std::size_t n = c == '\0' ? 0 : static_cast<std::size_t>(count);
    // Resizing grows the block in place where the allocator can, and on failure keeps it.
    char* block = static_cast<char*>(heapResize(m_pText, length + n + 1));
    if (!block) {
        return 0;
    }
    block[length] = '\0'; // a string without storage had no terminator yet
    std::memmove(block + at + n, block + at, length - at + 1);
    std::memset(block + at, static_cast<unsigned char>(c), n);
    m_pText = block;
    return 1;
}

int CString::RemoveAt(int position, int count) {
    const std::size_t length = m_pText ? std::strlen(m_pText) : 0;
    if (position < 0 || count < 0 ||
        static_cast<std::size_t>(position) + static_cast<std::size_t>(count) > length) {
        return 0;
    }
    const auto at = static_cast<std::size_t>(position);
    const auto n = static_cast<std::size_t>(count);
    char* block = static_cast<char*>(heapAllocate(length - n + 1));
    if (!block) {
        return 0;
    }
    if (m_pText) { // a string without storage has nothing to copy, only a count of 0
        std::memcpy(block, m_pText, at);
        std::memcpy(block + at, m_pText + at + n, length - at - n);
    }
    block[length - n] = '\0';
    heapRelease(m_pText);
    m_pText = block;
    return 1;
}
