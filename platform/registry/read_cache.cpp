#include "registry/read_cache.h"

namespace korutil::detail {
namespace {

constexpr std::size_t kMaxValues = 1024;
constexpr std::size_t kMaxCachedBytes = 256 * 1024;
constexpr std::size_t kMaxRuns = 64;

std::uintptr_t runKey(HKEY handle, bool values) {
    return reinterpret_cast<std::uintptr_t>(handle) * 2 + (values ? 1 : 0);
}

} // namespace

// Names compare as the store's NOCASE collation does: ASCII letters without case.
std::string ReadCache::valueKey(std::int64_t key, const char* name) {
    std::string out(reinterpret_cast<const char*>(&key), sizeof key);
    for (const char* p = name ? name : ""; *p; ++p) {
        out += *p >= 'A' && *p <= 'Z' ? static_cast<char>(*p - 'A' + 'a') : *p;
    }
    return out;
}

const CachedValue* ReadCache::findValue(std::int64_t key, const char* name) const {
    const auto it = m_values.find(valueKey(key, name));
    return it == m_values.end() ? nullptr : &it->second;
}

void ReadCache::keepValue(std::int64_t key, const char* name, CachedValue value) {
    if (value.data.size() > kMaxValueBytes) {
        return;
    }
    if (m_values.size() >= kMaxValues || m_valueBytes + value.data.size() > kMaxCachedBytes) {
        m_values.clear();
        m_valueBytes = 0;
    }
    m_valueBytes += value.data.size();
    m_values[valueKey(key, name)] = std::move(value);
}

EnumRun* ReadCache::findRun(HKEY handle, bool values) {
    const auto it = m_runs.find(runKey(handle, values));
    return it == m_runs.end() ? nullptr : &it->second;
}

EnumRun& ReadCache::newRun(HKEY handle, bool values) {
    if (m_runs.size() >= kMaxRuns) {
        m_runs.clear();
    }
    EnumRun& run = m_runs[runKey(handle, values)];
    run = EnumRun();
    return run;
}

void ReadCache::forget(HKEY handle) {
    m_runs.erase(runKey(handle, true));
    m_runs.erase(runKey(handle, false));
}

void ReadCache::clear() {
    m_values.clear();
    m_valueBytes = 0;
    m_runs.clear();
}

} // namespace korutil::detail
