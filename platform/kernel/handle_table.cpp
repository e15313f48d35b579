#include "kernel/handle_table.h"
#include "kernel/handle_map.h"
#include "kernel/no_throw.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/handles.h>

#include <atomic>
#include <mutex>

namespace korutil::detail {
namespace {

struct HandleTable {
    std::mutex lock;
    HandleMap<KernelObject> objects;
};

HandleTable& table() {
    static HandleTable* instance = new HandleTable; // outlives every static destructor
    return *instance;
}

} // namespace

std::uintptr_t nextHandleValue() {
    static std::atomic<std::uintptr_t> next{0x1000};
    return next.fetch_add(4, std::memory_order_relaxed);
}

HANDLE insertHandle(std::shared_ptr<KernelObject> object) noexcept {
    return failOnBadAlloc(HANDLE(nullptr), [&] {
        HandleTable& t = table();
        std::lock_guard<std::mutex> guard(t.lock);
        return reinterpret_cast<HANDLE>(t.objects.insert(std::move(object)));
    });
}

std::shared_ptr<KernelObject> lookupHandle(HANDLE handle) {
    HandleTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    const auto* found = t.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    return found ? *found : nullptr;
}

std::shared_ptr<KernelObject> removeHandle(HANDLE handle) {
    HandleTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.objects.remove(reinterpret_cast<std::uintptr_t>(handle));
}

} // namespace korutil::detail

extern "C" BOOL WINAPI CloseHandle(HANDLE hObject) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        // The object is released outside the table lock: closing a file or a thread may block.
        if (!korutil::detail::removeHandle(hObject)) {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        return TRUE;
    });
}
