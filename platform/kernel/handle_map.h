// A map from handle values to the objects they name, shared by every handle table of the layer
// (kernel objects, drawing objects, windows, menus). All tables draw their values from one
// counter, so a handle of one kind is never mistaken for a live handle of another. The map does
// not lock: each table guards it with a lock of its own.
#pragma once

#include "kernel/no_throw.h"

#include <korutil/platform/types.h>

#include <cstdint>
#include <memory>
#include <unordered_map>

namespace korutil::detail {

// The next handle value: a multiple of 4 as Windows hands out, starting well above null and
// never reaching INVALID_HANDLE_VALUE.
std::uintptr_t nextHandleValue();

template <class Object> class HandleMap {
public:
    // The object's new handle value, or 0 with ERROR_NOT_ENOUGH_MEMORY (never throws) when the
    // map cannot take it; the object is then released.
    std::uintptr_t insert(std::shared_ptr<Object> object) noexcept {
        if (!object) {
            return 0;
        }
        return failOnBadAlloc(std::uintptr_t(0), [&] {
            const std::uintptr_t value = nextHandleValue();
            m_objects.emplace(value, std::move(object));
            return value;
        });
    }

    // Null for an unknown value.
    const std::shared_ptr<Object>* find(std::uintptr_t value) const {
        auto it = m_objects.find(value);
        return it == m_objects.end() ? nullptr : &it->second;
    }

    // The object the value named (null when unknown); it lives on while the caller holds it.
    std::shared_ptr<Object> remove(std::uintptr_t value) {
        auto it = m_objects.find(value);
        if (it == m_objects.end()) {
            return nullptr;
        }
        std::shared_ptr<Object> object = std::move(it->second);
        m_objects.erase(it);
        return object;
    }

    template <class Visit> void forEach(Visit visit) const {
        for (const auto& entry : m_objects) {
            visit(entry.first, entry.second);
        }
    }

private:
    std::unordered_map<std::uintptr_t, std::shared_ptr<Object>> m_objects;
};

} // namespace korutil::detail
