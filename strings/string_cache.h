// The resource-string cache: module handle -> that module's table, identifier -> text. Both
// levels are typed dictionaries over CPtrToPtrDict; entries are only ever added.
#pragma once

#include <korutil/collections.h>
#include <korutil/platform.h>

#include <cstdint>
#include <type_traits>

namespace korutil::detail {

template <class T> void* toPointer(T value) {
    if constexpr (std::is_integral_v<T>) {
        return reinterpret_cast<void*>(static_cast<std::intptr_t>(value));
    } else {
        return reinterpret_cast<void*>(value);
    }
}

template <class T> T fromPointer(void* p) {
    if constexpr (std::is_integral_v<T>) {
        return static_cast<T>(reinterpret_cast<std::intptr_t>(p));
    } else {
        return reinterpret_cast<T>(p);
    }
}

} // namespace korutil::detail

template <class Key, class Value> class CTypedDict : public CCollection {
public:
    CTypedDict() : m_dict(16, 0) {}

    int Lookup(Key key, Value* value) const {
        void* found = nullptr;
        if (!m_dict.Lookup(korutil::detail::toPointer(key), &found)) {
            return 0;
        }
        if (value) {
            *value = korutil::detail::fromPointer<Value>(found);
        }
        return 1;
    }

    int Add(Key key, Value value) {
        return m_dict.Add(korutil::detail::toPointer(key), korutil::detail::toPointer(value));
    }

protected:
    // For the owners' destructors, which release what the values point to.
    int count() const { return m_dict.GetCount(); }
    Value valueAt(int index) const {
        return korutil::detail::fromPointer<Value>(m_dict.GetAt(index));
    }

private:
    CPtrToPtrDict m_dict;
};

// One module's texts, each an exact-size heap copy.
class CStringTable : public CTypedDict<int, char*> {
public:
    ~CStringTable() override;
};

// The library's one cache object; it owns the tables.
class CStringCache : public CTypedDict<HINSTANCE, CStringTable*> {
public:
    ~CStringCache() override;
};

namespace korutil::detail {
CStringCache& stringCache();
} // namespace korutil::detail
