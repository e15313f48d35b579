// The registry: a persistent tree of keys with typed values, kept in one SQLite database
// ($KORUTIL_REGISTRY, default $XDG_CONFIG_HOME/korutil/registry.sqlite) that several
// processes share. Key and value names compare without case and keep their case; subkeys
// and values enumerate in name order. The calls return Windows status codes (0 on success).
#pragma once

#include <korutil/platform/types.h>

typedef DWORD ACCESS_MASK;
typedef ACCESS_MASK REGSAM;
typedef LONG LSTATUS;

// The predefined roots, sign-extended as Windows defines them.
#define HKEY_CLASSES_ROOT ((HKEY)(ULONG_PTR)((LONG)0x80000000))
#define HKEY_CURRENT_USER ((HKEY)(ULONG_PTR)((LONG)0x80000001))
#define HKEY_LOCAL_MACHINE ((HKEY)(ULONG_PTR)((LONG)0x80000002))
#define HKEY_USERS ((HKEY)(ULONG_PTR)((LONG)0x80000003))
#define HKEY_CURRENT_CONFIG ((HKEY)(ULONG_PTR)((LONG)0x80000005))

#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_DWORD_LITTLE_ENDIAN 4
#define REG_DWORD_BIG_ENDIAN 5
#define REG_LINK 6
#define REG_MULTI_SZ 7
#define REG_RESOURCE_LIST 8
#define REG_FULL_RESOURCE_DESCRIPTOR 9
#define REG_RESOURCE_REQUIREMENTS_LIST 10
#define REG_QWORD 11

#define DELETE 0x00010000L
#define READ_CONTROL 0x00020000L
#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_CREATE_SUB_KEY 0x0004
#define KEY_ENUMERATE_SUB_KEYS 0x0008
#define KEY_NOTIFY 0x0010
#define KEY_CREATE_LINK 0x0020
#define KEY_READ 0x20019
#define KEY_WRITE 0x20006
#define KEY_EXECUTE 0x20019
#define KEY_ALL_ACCESS 0xF003F

#define REG_OPTION_RESERVED 0x00000000L
#define REG_OPTION_NON_VOLATILE 0x00000000L
#define REG_OPTION_VOLATILE 0x00000001L

#define REG_CREATED_NEW_KEY 0x00000001L
#define REG_OPENED_EXISTING_KEY 0x00000002L

extern "C" {
// Open an existing key below hKey (a predefined root or an open key). Missing: 2. A null or
// empty path opens hKey itself again (RegOpenKeyA returns a predefined root unchanged).
KORPLATFORM_API LSTATUS WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
KORPLATFORM_API LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions,
                                             REGSAM samDesired, PHKEY phkResult);

// Open or create a key, creating every missing key on the path. The class string is given
// to the last key when it is created; the disposition tells REG_CREATED_NEW_KEY from
// REG_OPENED_EXISTING_KEY. Volatile keys are kept like the others.
KORPLATFORM_API LSTATUS WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
KORPLATFORM_API LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD Reserved,
                                               LPSTR lpClass, DWORD dwOptions, REGSAM samDesired,
                                               const LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                               PHKEY phkResult, LPDWORD lpdwDisposition);

KORPLATFORM_API LSTATUS WINAPI RegCloseKey(HKEY hKey);

// Type and data of a value (null or empty name: the key's default value). A null lpData
// asks for type and size only; a buffer smaller than the value gives 234 with the size
// needed in *lpcbData and the buffer untouched.
KORPLATFORM_API LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved,
                                                LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
KORPLATFORM_API LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD Reserved,
                                              DWORD dwType, const BYTE* lpData, DWORD cbData);
KORPLATFORM_API LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName);

// Subkeys and values by index in name order; 259 past the end, 234 when the name (or the
// class, or the data) does not fit. Capacities count the terminator; the lengths given back
// do not.
KORPLATFORM_API LSTATUS WINAPI RegEnumKeyA(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName);
KORPLATFORM_API LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName,
                                             LPDWORD lpcchName, LPDWORD lpReserved, LPSTR lpClass,
                                             LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
KORPLATFORM_API LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName,
                                             LPDWORD lpcchValueName, LPDWORD lpReserved,
                                             LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);

// Deletes a key without subkeys (5 when it has some, as on the NT family) with its values.
// An empty path deletes hKey itself. Open handles to a deleted key fail with 1018.
KORPLATFORM_API LSTATUS WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey);

KORPLATFORM_API LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass,
                                                LPDWORD lpReserved, LPDWORD lpcSubKeys,
                                                LPDWORD lpcbMaxSubKeyLen, LPDWORD lpcbMaxClassLen,
                                                LPDWORD lpcValues, LPDWORD lpcbMaxValueNameLen,
                                                LPDWORD lpcbMaxValueLen,
                                                LPDWORD lpcbSecurityDescriptor,
                                                PFILETIME lpftLastWriteTime);

// Every change is committed when its call returns; this only folds the store's log.
KORPLATFORM_API LSTATUS WINAPI RegFlushKey(HKEY hKey);

// Not in Windows: closes this process's connection to the store. The next call opens it
// again from $KORUTIL_REGISTRY, which the layer also re-reads on every call; handles stay
// valid while the store file stays the same.
KORPLATFORM_API void WINAPI PlatRegCloseStore(void);
}
