#include <korutil/strings.h>

#include "frame/heap.h"
#include "strings/string_cache.h"

#include <cstring>

using korutil::detail::heapAllocate;
using korutil::detail::heapDelete;
using korutil::detail::heapNew;
using korutil::detail::heapRelease;

namespace {

const char g_empty[1] = "";

// Resource texts arrive through a buffer of this size: at most 255 characters.
constexpr int kResourceBuffer = 256;

CStringTable* tableFor(HINSTANCE instance) {
    CStringCache& cache = korutil::detail::stringCache();
    CStringTable* table = nullptr;
    if (cache.Lookup(instance, &table)) {
        return table;
    }
    table = heapNew<CStringTable>();
    if (table && !cache.Add(instance, table)) {
        heapDelete(table);
        table = nullptr;
    }
    return table;
}

} // namespace

const char* LoadStringPtr(HINSTANCE hInstance, int id) {
    CStringTable* table = tableFor(hInstance);
    if (!table) {
        return g_empty;
    }
    char* text = nullptr;
    if (table->Lookup(id, &text)) {
        return text;
    }
    char buffer[kResourceBuffer];
    const int length = LoadStringA(hInstance, static_cast<UINT>(id), buffer, kResourceBuffer);
    if (length <= 0) {
        return g_empty; // not remembered: the next call tries again
    }
    text = static_cast<char*>(heapAllocate(static_cast<std::size_t>(length) + 1));
    if (!text) {
        return g_empty;
    }
    std::memcpy(text, buffer, static_cast<std::size_t>(length) + 1);
    if (!table->Add(id, text)) {
        heapRelease(text);
        return g_empty;
    }
    return text;
}

int LoadStringList(HINSTANCE hInstance, int id, char* buffer, int bufferSize) {
    const int n = LoadStringA(hInstance, static_cast<UINT>(id), buffer, bufferSize);
    if (n <= 0 || n > bufferSize) {
        return 0;
    }
    int items = 0;
    for (int i = 0; i < n; ++i) {
        if (buffer[i] == '^' || buffer[i] == '\0') {
            buffer[i] = '\0';
            ++items;
        }
    }
    if (buffer[n - 1] != '\0') {
        // The final item still needs the second zero that ends the list.
        if (n >= bufferSize - 1) {
            return 0;
        }
        buffer[n + 1] = '\0';
        ++items;
    }
    return items % 2 == 0 ? 1 : 0;
}
