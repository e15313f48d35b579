#include <korutil/settings.h>

#include "frame/heap.h"

#include <cstring>

using korutil::detail::heapAllocate;
using korutil::detail::heapRelease;

int CRegKeyBase::m_bDisableAll = 0;

namespace {

HKEY rootFor(CRegKeyBase::Context context) {
    switch (context) {
    case CRegKeyBase::ctxLocalMachine:
        return HKEY_LOCAL_MACHINE;
    case CRegKeyBase::ctxCurrentUser:
        return HKEY_CURRENT_USER;
    case CRegKeyBase::ctxClassesRoot:
        return HKEY_CLASSES_ROOT;
    }
    return nullptr;
}

HKEY openOrCreate(HKEY root, const char* path, CRegKeyBase::Mode mode) {
    HKEY key = nullptr;
    if (RegOpenKeyA(root, path, &key) == ERROR_SUCCESS) {
        if (key != root) {
            return key;
        }
        // An empty path gives back the parent itself, which stays the caller's: the object
        // takes a handle of its own (a predefined root comes back as itself).
        key = nullptr;
        if (RegOpenKeyExA(root, nullptr, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
            return key;
        }
    }
    key = nullptr;
    if (mode == CRegKeyBase::modeCreate && RegCreateKeyA(root, path, &key) != ERROR_SUCCESS) {
        key = nullptr;
    }
    return key;
}

// Copies a default into a buffer of `size` bytes, cut and terminated; its length there.
int copyDefault(const char* text, char* buffer, int size) {
    if (size <= 0) {
        return 0;
    }
    const int length = lstrlenA(text);
    const int n = length < size ? length : size - 1;
    std::memcpy(buffer, text ? text : "", static_cast<std::size_t>(n));
    buffer[n] = '\0';
    return n;
}

DWORD clampSize(unsigned long size) {
    return size > 0xFFFFFFFFul ? 0xFFFFFFFFu : static_cast<DWORD>(size);
}

} // namespace

CRegKeyBase::CRegKeyBase(const char* keyPath, const char* subPath, Mode mode, Context context,
                         int overrideDisable)
    : m_hKey(nullptr), m_mode(mode) {
    if (m_bDisableAll && !overrideDisable) {
        return;
    }
    const HKEY root = rootFor(context);
    if (!root) {
        return;
    }
    CString path(keyPath);
    int expected = lstrlenA(keyPath);
    if (subPath && *subPath) {
        path += '\\';
        path += subPath;
        expected += 1 + lstrlenA(subPath);
    }
    // A path the heap cut short would name another key, perhaps the root itself.
    if (path.GetLength() != expected) {
        return;
    }
    m_hKey = openOrCreate(root, path, mode);
}

CRegKeyBase::CRegKeyBase(const char* path, Mode mode, HKEY parent, int overrideDisable)
    : m_hKey(nullptr), m_mode(mode) {
    if (m_bDisableAll && !overrideDisable) {
        return;
    }
    m_hKey = openOrCreate(parent, path, mode);
}

CRegKeyBase::~CRegKeyBase() {
    if (m_hKey) {
        RegCloseKey(m_hKey);
    }
}

int CRegKeyBase::IsOpen() const {
    return m_hKey ? 1 : 0;
}

CRegKeyBase::operator HKEY() const {
    return m_hKey;
}

void CRegKeyBase::DisableAll() {
    m_bDisableAll = 1;
}

void CRegKeyBase::EnableAll() {
    m_bDisableAll = 0;
}

void CRegKeyBase::SetString(const char* name, const char* value) {
    if (m_hKey && value) {
        RegSetValueExA(m_hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>(lstrlenA(value) + 1));
    }
}

int CRegKeyBase::GetString(const char* name, const char* defaultValue, char* buffer,
                           int bufferSize) {
    if (!buffer || bufferSize <= 0) {
        return 0;
    }
    if (m_hKey) {
        DWORD type = 0;
        DWORD size = static_cast<DWORD>(bufferSize);
        if (RegQueryValueExA(m_hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                             &size) == ERROR_SUCCESS &&
            type == REG_SZ) {
            // A value stored without its terminator gets one when there is room for it.
            if (size > 0 && buffer[size - 1] == '\0') {
                return static_cast<int>(size) - 1;
            }
            if (size < static_cast<DWORD>(bufferSize)) {
                buffer[size] = '\0';
                return static_cast<int>(size);
            }
        }
    }
    return copyDefault(defaultValue, buffer, bufferSize);
}

void CRegKeyBase::GetString(const char* name, const char* defaultValue, CString* out) {
    if (!out) {
        return;
    }
    DWORD type = 0;
    DWORD size = 0;
    if (m_hKey && RegQueryValueExA(m_hKey, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        // One byte more than stored, so that a value without a terminator still ends.
        auto* block = static_cast<char*>(heapAllocate(size + 1));
        if (block) {
            DWORD read = size;
            const bool ok =
                RegQueryValueExA(m_hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(block),
                                 &read) == ERROR_SUCCESS &&
                type == REG_SZ;
            if (ok) {
                block[read] = '\0';
                *out = block;
            }
            heapRelease(block);
            if (ok) {
                return;
            }
        }
    }
    *out = defaultValue;
}

void CRegKeyBase::SetDword(const char* name, unsigned long value) {
    if (m_hKey) {
        const DWORD stored = static_cast<DWORD>(value);
        RegSetValueExA(m_hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&stored),
                       sizeof stored);
    }
}

unsigned long CRegKeyBase::GetDword(const char* name, unsigned long defaultValue) {
    if (!m_hKey) {
        return defaultValue;
    }
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(m_hKey, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD) {
        return value;
    }
    return defaultValue;
}

void CRegKeyBase::SetData(const char* name, void* data, int length) {
    if (m_hKey && length >= 0) {
        RegSetValueExA(m_hKey, name, 0, REG_BINARY, static_cast<const BYTE*>(data),
                       static_cast<DWORD>(length));
    }
}

int CRegKeyBase::GetDataLength(const char* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (m_hKey && RegQueryValueExA(m_hKey, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_BINARY) {
        return static_cast<int>(size);
    }
    return 0;
}

int CRegKeyBase::GetData(const char* name, void* buffer, int length) {
    if (!m_hKey || length < 0) {
        return 0;
    }
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(length);
    if (RegQueryValueExA(m_hKey, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return 0;
    }
    if (type == REG_BINARY && size == static_cast<DWORD>(length)) {
        if (!buffer && length > 0) {
            return 0;
        }
        return RegQueryValueExA(m_hKey, name, nullptr, &type, static_cast<BYTE*>(buffer), &size) ==
                       ERROR_SUCCESS
                   ? length
                   : 0;
    }
    return static_cast<int>(size);
}

long CRegKeyBase::EnumKey(unsigned long index, char* name, unsigned long nameSize) {
    if (!m_hKey) {
        return ERROR_NO_MORE_ITEMS;
    }
    return RegEnumKeyA(m_hKey, clampSize(index), name, clampSize(nameSize));
}

long CRegKeyBase::EnumValue(unsigned long index, char* name, unsigned long* nameSize,
                            unsigned long* type, unsigned char* data, unsigned long* dataSize) {
    if (!m_hKey) {
        return ERROR_NO_MORE_ITEMS;
    }
    // The platform counts in 32-bit DWORDs; unsigned long may be wider.
    DWORD nameCount = nameSize ? clampSize(*nameSize) : 0;
    DWORD valueType = 0;
    DWORD dataCount = dataSize ? clampSize(*dataSize) : 0;
    const long status =
        RegEnumValueA(m_hKey, clampSize(index), name, nameSize ? &nameCount : nullptr, nullptr,
                      type ? &valueType : nullptr, data, dataSize ? &dataCount : nullptr);
    if (nameSize) {
        *nameSize = nameCount;
    }
    if (type) {
        *type = valueType;
    }
    if (dataSize) {
        *dataSize = dataCount;
    }
    return status;
}

void CRegKeyBase::DeleteSubKey(const char* name) {
    RegDeleteKeyAll(m_hKey, name);
}
