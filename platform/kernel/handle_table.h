// The process-wide table of kernel handles. Every kind of kernel object (file, thread,
// event, find search, ...) derives from KernelObject; CloseHandle removes the entry, and the
// object itself lives on while a call that looked it up still holds it.
#pragma once

#include <korutil/platform/types.h>

#include <memory>

namespace korutil::detail {

class KernelObject {
public:
    virtual ~KernelObject() = default;
};

// Registers the object and returns its new handle, or null with ERROR_NOT_ENOUGH_MEMORY when
// the table cannot take it (the object is then released). Never throws.
HANDLE insertHandle(std::shared_ptr<KernelObject> object) noexcept;

// The object behind a handle, or null for an unknown or closed handle. Like removeHandle, it
// may throw std::system_error when the system refuses the table's lock.
std::shared_ptr<KernelObject> lookupHandle(HANDLE handle);

// Removes the handle; returns the object it named, or null for an unknown handle.
std::shared_ptr<KernelObject> removeHandle(HANDLE handle);

template <class T> std::shared_ptr<T> lookupHandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(lookupHandle(handle));
}

} // namespace korutil::detail
