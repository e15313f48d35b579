#include "kernel/handle_table.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/handles.h>

#include <mutex>
#include <unordered_map>

namespace korutil::detail {
namespace {

struct HandleTable {
    std::mutex lock;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects;
    // Multiples of 4 as Windows hands out, starting well above null and never reaching
    // INVALID_HANDLE_VALUE.
    std::uintptr_t next = 0x1000;
};

HandleTable& table() {
    static HandleTable* instance = new HandleTable; // outlives every static destructor
    return *instance;
}

} // namespace

HANDLE insertHandle(std::shared_ptr<KernelObject> object) {
    if (!object) {
        return nullptr;
    }
    HandleTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    std::uintptr_t value = t.next;
    t.next += 4;
    t.objects.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> lookupHandle(HANDLE handle) {
    HandleTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == t.objects.end() ? nullptr : it->second;
}

std::shared_ptr<KernelObject> removeHandle(HANDLE handle) {
    HandleTable& t = table();
    std::shared_ptr<KernelObject> object;
    {
        std::lock_guard<std::mutex> guard(t.lock);
        auto it = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == t.objects.end()) {
            return nullptr;
        }
        object = std::move(it->second);
        t.objects.erase(it);
    }
    return object;
}

} // namespace korutil::detail

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
    // The object is released outside the table lock: closing a file or a thread may block.
    if (!korutil::detail::removeHandle(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
