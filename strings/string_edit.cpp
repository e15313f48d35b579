#include <korutil/strings.h>

#include "frame/heap.h"

#include <cstring>

using korutil::detail::heapAllocate;
using korutil::detail::heapRelease;

int CString::InsertAt(int position, char c, int count) {
    const std::size_t length = m_pText ? std::strlen(m_pText) : 0;
    if (position < 0 || static_cast<std::size_t>(position) > length || count < 0) {
        return 0;
    }
    const auto at = static_cast<std::size_t>(position);
    const auto n = static_cast<std::size_t>(count);
    char* block = static_cast<char*>(heapAllocate(length + n + 1));
    if (!block) {
        return 0;
    }
    if (at > 0) {
        std::memcpy(block, m_pText, at);
    }
    std::memset(block + at, static_cast<unsigned char>(c), n);
    block[at + n] = '\0';
    if (length > at) {
        // The tail goes behind the visible text, so inserting zero characters leaves the
        // head and the tail joined.
        const std::size_t end = std::strlen(block);
        std::memcpy(block + end, m_pText + at, length - at + 1);
    }
    heapRelease(m_pText);
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
    if (at > 0) {
        std::memcpy(block, m_pText, at);
    }
    std::memcpy(block + at, m_pText + at + n, length - at - n + 1);
    heapRelease(m_pText);
    m_pText = block;
    return 1;
}
