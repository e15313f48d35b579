// Strings: the string class and cached resource strings. Any thread may use a CString that
// no other thread uses at the same time; calls of LoadStringPtr must not overlap in time.
#pragma once

#include <korutil/frame.h>
#include <korutil/platform.h>

#include <cstddef>

// The platform headers map LoadString to LoadStringA for 8-bit text, so CString::LoadString
// is exported as CString::LoadStringA, the name hosts built against the Windows headers use.

// An owned, zero-terminated 8-bit text in a block of exactly the size it needs. Every copy
// and assignment copies the text; every change gives the block the size of the new text
// (appends and insertions resize it, so that the heap can grow it where it lies). The object
// is one pointer and the length is counted on each request. A string may have no block at
// all; it then reads as the empty text.
class KORUTIL_API CString {
public:
    CString(const char* text = nullptr);
    CString(const CString& other);
    // The string resource `id` of the module; the empty text if it cannot be loaded.
    CString(HINSTANCE instance, int id);
    ~CString();

    // Objects and arrays of them live on the library heap; new gives null when it refuses.
    static void* operator new(std::size_t size) noexcept;
    static void operator delete(void* block);
    static void* operator new[](std::size_t size) noexcept;
    static void operator delete[](void* block);

    int GetLength() const;
    int IsEmpty() const;
    // Never null: a string without storage yields a shared empty text.
    operator const char*() const;
    // The character at `index`, 0 to GetLength() - 1. Outside that range the const form
    // gives 0 and the other a scratch character, so the block is never touched outside.
    char operator[](int index) const;
    char& operator[](int index);

    CString& operator=(const CString& other);
    CString& operator=(const char* text);
    CString& operator=(char c);

    // Appends; on heap failure the string stays as it was.
    void operator+=(const CString& other);
    void operator+=(const char* text);
    void operator+=(char c);

    // Replaces the text by the formatted output (the wsprintfA conversions, no floating
    // point), cut to 511 characters. Returns the number of characters stored. The format and
    // the arguments may point into this string's own text.
    int printf(const char* format, ...);

    // Replaces the text by the string resource `id` of the module (at most 255 characters).
    // 0 and the text unchanged if there is no such string; 0 and the string empty if the
    // heap refuses the copy.
#if defined(_WIN32) && defined(UNICODE)
    // A host built for wide characters sees LoadString as LoadStringW; the library's is the
    // 8-bit LoadStringA, and the wide name forwards to it.
    int LoadStringA(HINSTANCE instance, int id);
    int LoadStringW(HINSTANCE instance, int id) {
        return LoadStringA(instance, id);
    }
#else
    int LoadString(HINSTANCE instance, int id);
#endif

    // Inserts `count` copies of `c` before `position` (0 to GetLength()). 0 and the text
    // unchanged when the position or count is out of range or the heap refuses.
    int InsertAt(int position, char c, int count);
    // Removes `count` characters from `position`; both at least 0, their sum within
    // GetLength(). 0 and the text unchanged when out of range or the heap refuses.
    int RemoveAt(int position, int count);

private:
    void freeData();
    void copyData(const char* text);

    char* m_pText;
};

// The text of string resource `id` of a module, loaded once and kept until the library
// unloads: repeated calls return the same pointer. Never null: a missing string, or a heap
// that refuses, gives an empty text (and a missing string is looked up again next time).
// Calls must not overlap in time.
KORUTIL_API const char* LoadStringPtr(HINSTANCE hInstance, int id);

// Loads string resource `id` into `buffer` and turns its '^'-separated items into a list of
// zero-terminated items ending with a second zero. 1 when the list was built and holds an
// even number of items (pairs); 0 otherwise, also when there is no room for the final zero.
KORUTIL_API int LoadStringList(HINSTANCE hInstance, int id, char* buffer, int bufferSize);
