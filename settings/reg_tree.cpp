// The registry key's tree operations: copying a key's whole contents, and deleting a key
// with everything below it. Both walk the tree with stacks on the heap, so that the depth
// of a tree costs memory, not the thread's stack.
#include <korutil/settings.h>

#include "frame/heap.h"
#include "settings/reg_group.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

using korutil::detail::heapAllocate;
using korutil::detail::heapRelease;
using korutil::detail::heapResize;

namespace {

// Bytes or plain records on the library heap; each append is whole or, when the heap
// refuses, nothing.
class HeapBytes {
public:
    HeapBytes() = default;
    ~HeapBytes() { heapRelease(m_data); }
    HeapBytes(const HeapBytes&) = delete;
    HeapBytes& operator=(const HeapBytes&) = delete;

    // Room for `n` more bytes at the end, or null.
    unsigned char* grow(std::size_t n) {
        if (n > SIZE_MAX / 2 - m_size) {
            return nullptr;
        }
        if (m_size + n > m_capacity) {
            const std::size_t capacity = m_size + n > 2 * m_capacity ? m_size + n : 2 * m_capacity;
            void* bigger = heapResize(m_data, capacity);
            if (!bigger) {
                return nullptr;
            }
            m_data = static_cast<unsigned char*>(bigger);
            m_capacity = capacity;
        }
        unsigned char* room = m_data + m_size;
        m_size += n;
        return room;
    }
    bool append(const void* data, std::size_t n) {
        unsigned char* room = grow(n);
        if (room && n) {
            std::memcpy(room, data, n);
        }
        return room != nullptr;
    }
    void shrink(std::size_t size) { m_size = size; }
    std::size_t size() const { return m_size; }
    const unsigned char* data() const { return m_data; }
    unsigned char* data() { return m_data; }

private:
    unsigned char* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

template <class T> class HeapStack {
    static_assert(std::is_trivially_copyable<T>::value, "plain records only");

public:
    bool push(const T& item) { return m_bytes.append(&item, sizeof item); }
    void pop() { m_bytes.shrink(m_bytes.size() - sizeof(T)); }
    bool empty() const { return m_bytes.size() == 0; }
    std::size_t size() const { return m_bytes.size() / sizeof(T); }
    T& operator[](std::size_t i) { return reinterpret_cast<T*>(m_bytes.data())[i]; }
    T& top() { return (*this)[size() - 1]; }

private:
    HeapBytes m_bytes;
};

// A snapshot of a tree: in walking order, a record per key below the top (its depth, name
// and class) followed by a record per value (name, type, data). The copy writes from it, so
// that a target inside the source does not feed the copy with its own output.
enum : unsigned char { kKeyRecord = 'K', kValueRecord = 'V' };

bool putWord(HeapBytes& out, std::uint32_t word) {
    return out.append(&word, sizeof word);
}

bool putText(HeapBytes& out, const char* text, std::size_t length) {
    return putWord(out, static_cast<std::uint32_t>(length)) && out.append(text, length);
}

std::uint32_t getWord(const unsigned char*& p) {
    std::uint32_t word;
    std::memcpy(&word, p, sizeof word);
    p += sizeof word;
    return word;
}

// The name buffer of the value phase: value names may be longer than key names, so a large
// buffer is tried first and the usual 256 bytes serve when the heap refuses it.
class ValueName {
public:
    ValueName() : m_name(static_cast<char*>(heapAllocate(kLong))) {}
    ~ValueName() { heapRelease(m_name); }
    ValueName(const ValueName&) = delete;
    ValueName& operator=(const ValueName&) = delete;
    char* buffer() { return m_name ? m_name : m_short; }
    DWORD size() const { return m_name ? kLong : sizeof m_short; }

private:
    static constexpr DWORD kLong = 16384;
    char* m_name;
    char m_short[256];
};

// Records every value of `key` whose size can be asked and whose block the heap grants.
void snapshotValues(HKEY key, ValueName& name, HeapBytes& out) {
    for (DWORD index = 0;; ++index) {
        std::memset(name.buffer(), 0, name.size());
        DWORD capacity = name.size();
        DWORD type = 0;
        if (RegEnumValueA(key, index, name.buffer(), &capacity, nullptr, &type, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            return;
        }
        DWORD size = 0;
        if (RegQueryValueExA(key, name.buffer(), nullptr, nullptr, nullptr, &size) !=
            ERROR_SUCCESS) {
            continue;
        }
        const std::size_t mark = out.size();
        const unsigned char tag = kValueRecord;
        // The data goes straight into the snapshot; an empty value still needs a block.
        unsigned char* block = nullptr;
        if (out.append(&tag, 1) && putText(out, name.buffer(), capacity) && putWord(out, 0) &&
            putWord(out, size)) {
            block = out.grow(size ? size : 1);
        }
        DWORD read = size;
        if (!block ||
            RegQueryValueExA(key, name.buffer(), nullptr, &type, block, &read) != ERROR_SUCCESS) {
            out.shrink(mark);
            continue;
        }
        // The type and size as read, which another writer may have changed meanwhile.
        std::uint32_t fields[2] = {type, read};
        std::memcpy(block - sizeof fields, fields, sizeof fields);
        out.shrink(static_cast<std::size_t>(block - out.data()) + read);
    }
}

// Walks the tree below `fromKey` into the snapshot, values first, then each subkey.
void snapshotTree(HKEY fromKey, HeapBytes& out) {
    ValueName name;
    snapshotValues(fromKey, name, out);
    struct Level {
        HKEY key;
        DWORD next;
    };
    HeapStack<Level> levels;
    if (!levels.push(Level{fromKey, 0})) {
        return;
    }
    while (!levels.empty()) {
        Level& level = levels.top();
        char sub[256] = {};
        char cls[256] = {};
        DWORD subSize = sizeof sub;
        DWORD classSize = sizeof cls;
        FILETIME written;
        const DWORD index = level.next++;
        LONG status =
            RegEnumKeyExA(level.key, index, sub, &subSize, nullptr, cls, &classSize, &written);
        if (status == ERROR_MORE_DATA) {
            // Only the class was too long: the key is still copied, without it.
            cls[0] = '\0';
            classSize = 0;
            subSize = sizeof sub;
            status =
                RegEnumKeyExA(level.key, index, sub, &subSize, nullptr, nullptr, nullptr, &written);
        }
        if (status != ERROR_SUCCESS) {
            if (level.key != fromKey) {
                RegCloseKey(level.key);
            }
            levels.pop();
            continue;
        }
        HKEY child = nullptr;
        if (RegOpenKeyExA(level.key, sub, 0, KEY_ALL_ACCESS, &child) != ERROR_SUCCESS) {
            continue;
        }
        const std::size_t mark = out.size();
        const unsigned char tag = kKeyRecord;
        const auto depth = static_cast<std::uint32_t>(levels.size());
        if (!out.append(&tag, 1) || !putWord(out, depth) || !putText(out, sub, subSize) ||
            !putText(out, cls, classSize) || !levels.push(Level{child, 0})) {
            out.shrink(mark);
            RegCloseKey(child);
            continue;
        }
        snapshotValues(child, name, out);
    }
}

// Creates the snapshot's keys below `toKey` and sets its values there.
void writeTree(const HeapBytes& snapshot, HKEY toKey) {
    HeapStack<HKEY> targets; // targets[d] is the key of depth d; 0 is toKey
    if (!targets.push(toKey)) {
        return;
    }
    std::uint32_t skipBelow = 0; // while non-zero, keys deeper than this are skipped
    bool skipping = false;
    const unsigned char* p = snapshot.data();
    const unsigned char* end = p + snapshot.size();
    HeapBytes text; // a name or class with its terminator
    while (p < end) {
        const unsigned char tag = *p++;
        if (tag == kKeyRecord) {
            const std::uint32_t depth = getWord(p);
            const std::uint32_t nameLength = getWord(p);
            const unsigned char* name = p;
            p += nameLength;
            const std::uint32_t classLength = getWord(p);
            const unsigned char* cls = p;
            p += classLength;
            if (skipping && depth > skipBelow) {
                continue;
            }
            skipping = false;
            while (targets.size() > depth) {
                if (targets.size() > 1) {
                    RegCloseKey(targets.top());
                }
                targets.pop();
            }
            text.shrink(0);
            const char zero = '\0';
            HKEY created = nullptr;
            DWORD disposition = 0;
            if (text.append(name, nameLength) && text.append(&zero, 1) &&
                text.append(cls, classLength) && text.append(&zero, 1) &&
                RegCreateKeyExA(targets.top(), reinterpret_cast<const char*>(text.data()), 0,
                                reinterpret_cast<char*>(text.data()) + nameLength + 1,
                                REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &created,
                                &disposition) == ERROR_SUCCESS) {
                if (!targets.push(created)) {
                    RegCloseKey(created);
                    skipping = true;
                    skipBelow = depth;
                }
            } else {
                skipping = true;
                skipBelow = depth;
            }
            continue;
        }
        const std::uint32_t nameLength = getWord(p);
        const unsigned char* name = p;
        p += nameLength;
        const std::uint32_t type = getWord(p);
        const std::uint32_t size = getWord(p);
        const unsigned char* data = p;
        p += size;
        const char zero = '\0';
        text.shrink(0);
        if (!skipping && text.append(name, nameLength) && text.append(&zero, 1)) {
            RegSetValueExA(targets.top(), reinterpret_cast<const char*>(text.data()), 0, type, data,
                           size);
        }
    }
    while (targets.size() > 1) {
        RegCloseKey(targets.top());
        targets.pop();
    }
}

} // namespace

void CRegKeyBase::CopyKeyTree(HKEY fromKey, HKEY toKey) {
    korutil::detail::RegGroup group;
    HeapBytes snapshot;
    snapshotTree(fromKey, snapshot);
    writeTree(snapshot, toKey);
}

unsigned long CRegKeyBase::RegDeleteKeyAll(HKEY parent, const char* name) {
    OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
#if defined(_MSC_VER)
#pragma warning(suppress : 4996) // only the platform identifier is asked for
#endif
    GetVersionExA(&version);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS) {
        // This platform's own deletion takes the subkeys with it.
        return parent ? static_cast<unsigned long>(RegDeleteKeyA(parent, name))
                      : static_cast<unsigned long>(ERROR_INVALID_HANDLE);
    }
    // An empty name would delete the parent itself.
    if (!name || !*name) {
        return ERROR_BADKEY;
    }
    korutil::detail::RegGroup group;
    HKEY top = nullptr;
    LONG status = RegOpenKeyExA(parent, name, 0, DELETE | KEY_ENUMERATE_SUB_KEYS, &top);
    if (status != ERROR_SUCCESS) {
        return static_cast<unsigned long>(status);
    }
    // Each level holds the key being emptied, its parent and its name there; the first
    // child of the deepest one is taken each time, since the one before is gone by then.
    struct Level {
        HKEY parent;
        HKEY key;
        char name[256];
    };
    HeapStack<Level> levels;
    Level first{parent, top, {}};
    if (!levels.push(first)) {
        RegCloseKey(top);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    while (status == ERROR_SUCCESS && !levels.empty()) {
        Level& level = levels.top();
        Level child{level.key, nullptr, {}};
        DWORD childSize = sizeof child.name;
        status =
            RegEnumKeyExA(level.key, 0, child.name, &childSize, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_NO_MORE_ITEMS) {
            status = RegDeleteKeyA(level.parent, levels.size() == 1 ? name : level.name);
            RegCloseKey(level.key);
            levels.pop();
        } else if (status == ERROR_SUCCESS) {
            status = RegOpenKeyExA(level.key, child.name, 0, DELETE | KEY_ENUMERATE_SUB_KEYS,
                                   &child.key);
            if (status == ERROR_SUCCESS && !levels.push(child)) {
                RegCloseKey(child.key);
                status = ERROR_NOT_ENOUGH_MEMORY;
            }
        }
    }
    while (!levels.empty()) {
        RegCloseKey(levels.top().key);
        levels.pop();
    }
    const LONG committed = group.end(true);
    return static_cast<unsigned long>(status != ERROR_SUCCESS ? status : committed);
}
