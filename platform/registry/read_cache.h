// Reads of the registry that stay true while nothing commits: values by key and name, and
// runs of enumeration rows by handle, so that a loop over indexes 0..n-1 costs one step
// each. The store empties the cache whenever another process commits or this one writes.
#pragma once

#include <korutil/platform/errors.h>
#include <korutil/platform/registry.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace korutil::detail {

// What tells one state of the store from the next: the two copies of the write-ahead log's
// index header, which every commit of every process rewrites.
struct ChangeToken {
    static constexpr std::size_t kSize = 96;
    unsigned char bytes[kSize] = {};
    bool valid = false;
    bool operator==(const ChangeToken& other) const {
        return valid && other.valid && std::memcmp(bytes, other.bytes, kSize) == 0;
    }
};

// A value as RegQueryValueExA found it: its data, or the status of a miss.
struct CachedValue {
    DWORD status = ERROR_SUCCESS;
    DWORD type = 0;
    std::string data;
};

// One entry of an enumeration: a value (name, type, data) or a subkey (name, class in data,
// last-write time).
struct EnumRow {
    std::string name;
    std::string data;
    DWORD type = 0;
    std::int64_t written = 0;
};

// Consecutive entries of one handle's enumeration: rows[i] is the entry at index first + i.
struct EnumRun {
    std::int64_t key = 0;
    DWORD first = 0;
    std::vector<EnumRow> rows;
    bool atEnd = false;
    // How many rows the next continuation reads: small after a jump, growing while the
    // caller walks on.
    std::size_t nextCount = 0;
};

class ReadCache {
public:
    const CachedValue* findValue(std::int64_t key, const char* name) const;
    void keepValue(std::int64_t key, const char* name, CachedValue value);
    // The run of a handle's value (or subkey) enumeration, null when there is none.
    EnumRun* findRun(HKEY handle, bool values);
    EnumRun& newRun(HKEY handle, bool values);
    void forget(HKEY handle);
    void clear();

    // Values larger than this are read each time.
    static constexpr std::size_t kMaxValueBytes = 4096;

private:
    static std::string valueKey(std::int64_t key, const char* name);

    std::unordered_map<std::string, CachedValue> m_values;
    std::size_t m_valueBytes = 0;
    std::unordered_map<std::uintptr_t, EnumRun> m_runs;
};

} // namespace korutil::detail
