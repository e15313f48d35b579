#include <korutil/strings.h>

#include "frame/heap.h"

#include <cstdint>
#include <cstring>

using korutil::detail::heapAllocate;
using korutil::detail::heapRelease;
using korutil::detail::heapResize;

namespace {

// Stands in for the text of a string without storage; never written, never released.
const char g_emptyText[1] = "";

bool inRange(const char* text, int index) {
    return text && index >= 0 && !std::memchr(text, 0, static_cast<std::size_t>(index) + 1);
}

} // namespace

CString::CString(const char* text) {
    copyData(text);
}

CString::CString(const CString& other) {
    copyData(other.m_pText);
}

CString::~CString() {
    freeData();
}

void* CString::operator new(std::size_t size) noexcept {
    return heapAllocate(size);
}

void CString::operator delete(void* block) {
    heapRelease(block);
}

void* CString::operator new[](std::size_t size) noexcept {
    return heapAllocate(size);
}

void CString::operator delete[](void* block) {
    heapRelease(block);
}

int CString::GetLength() const {
    return m_pText ? static_cast<int>(std::strlen(m_pText)) : 0;
}

int CString::IsEmpty() const {
    return GetLength() == 0 ? 1 : 0;
}

CString::operator const char*() const {
    return m_pText ? m_pText : g_emptyText;
}

char CString::operator[](int index) const {
    return inRange(m_pText, index) ? m_pText[index] : '\0';
}

char& CString::operator[](int index) {
    if (inRange(m_pText, index)) {
        return m_pText[index];
    }
    thread_local char scratch;
    scratch = '\0';
    return scratch;
}

CString& CString::operator=(const CString& other) {
    if (this != &other) {
        *this = other.m_pText;
    }
    return *this;
}

CString& CString::operator=(const char* text) {
    // Copy before releasing: the text may lie in this string's own block.
    char* old = m_pText;
    copyData(text);
    heapRelease(old);
    return *this;
}

CString& CString::operator=(char c) {
    const char text[2] = {c, '\0'};
    return *this = text;
}

void CString::operator+=(const CString& other) {
    *this += other.m_pText;
}

void CString::operator+=(const char* text) {
    const std::size_t length = m_pText ? std::strlen(m_pText) : 0;
    if (length == 0) {
        *this = text;
        return;
    }
    const std::size_t extra = text ? std::strlen(text) : 0;
    if (extra == 0) {
        return;
    }
    // Growing the block lets the allocator extend it where it lies, so building a text piece
    // by piece does not copy it all on every step. A text inside this block is found again
    // at its offset, since the resize may move the block.
    const auto base = reinterpret_cast<std::uintptr_t>(m_pText);
    const auto from = reinterpret_cast<std::uintptr_t>(text);
    const bool inside = from >= base && from - base < length;
    char* block = static_cast<char*>(heapResize(m_pText, length + extra + 1));
    if (!block) {
        return;
    }
    // Source and destination are disjoint even for a text inside the block: it ends at the
    // old terminator, where the copy begins.
    std::memcpy(block + length, inside ? block + (from - base) : text, extra);
    block[length + extra] = '\0';
    m_pText = block;
}

void CString::operator+=(char c) {
    const char text[2] = {c, '\0'};
    *this += text;
}

void CString::freeData() {
    heapRelease(m_pText);
    m_pText = nullptr;
}

void CString::copyData(const char* text) {
    m_pText = nullptr;
    if (!text) {
        return;
    }
    const std::size_t size = std::strlen(text) + 1;
    char* block = static_cast<char*>(heapAllocate(size));
    if (block) {
        std::memcpy(block, text, size);
        m_pText = block;
    }
}
