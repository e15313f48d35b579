// The registry: a persistent tree of keys with typed values that several processes share.
// Key and value names compare without case and keep their case; subkeys and values
// enumerate in name order. The calls return Windows status codes (0 on success); any thread
// may call them, and a process's calls run one at a time.
//
// The store is one SQLite database, $KORUTIL_REGISTRY (default
// $XDG_CONFIG_HOME/korutil/registry.sqlite). While processes use it, their recent changes
// live in the write-ahead log beside it (registry.sqlite-wal, with its index
// registry.sqlite-shm); a process folds the log into the database when it closes the store
// (PlatRegCloseStore, or at exit), and the last one removes both files. To back it up, use
// `korutil-reg export`, or copy registry.sqlite once no process has the store open (or
// copy all three files together). A store whose file and directory this process may not
// write is read as it is; changes to it then fail with ERROR_ACCESS_DENIED.
//
// Limits, as Windows documents them: key names of at most 255 characters and no control
// characters, keys at most 512 levels below their root, value names of at most 16,383
// characters, classes of at most 32,766 (lengths in bytes of the UTF-8 text). Breaking one
// fails with ERROR_INVALID_PARAMETER (a control character: ERROR_BAD_PATHNAME).
//
// When the store's file is deleted or replaced while a process has it open, that process
// notices at its next call: its handles then fail with ERROR_KEY_DELETED, and the roots
// open the file now at the path.
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
// Open an existing key below hKey (a predefined root or an open key). Missing: 2. With a null
// or empty path, RegOpenKeyA returns hKey itself (also when its key has been deleted), and
// RegOpenKeyExA a new handle to the same key (a predefined root stays itself).
KORPLATFORM_API LSTATUS WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult);
KORPLATFORM_API LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions,
                                             REGSAM samDesired, PHKEY phkResult);

// Open or create a key, creating every missing key on the path. The class string is given
// to the last key when it is created; the disposition tells REG_CREATED_NEW_KEY from
// REG_OPENED_EXISTING_KEY. Volatile keys are kept like the others. A null or empty path gives
// a new handle to hKey's key.
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

// Not in Windows: closes this process's connection to the store, folding its log into the
// database file. The next call opens it again from $KORUTIL_REGISTRY, which the layer also
// re-reads on every call; handles stay valid while the store file stays the same. Does
// nothing while a group is open.
KORPLATFORM_API void WINAPI PlatRegCloseStore(void);

// Not in Windows: the registry calls a thread makes between PlatRegBeginGroup and
// PlatRegEndGroup form one transaction of the store. Other processes see all of its changes
// or none, and a process that dies in between leaves the store as it was. PlatRegEndGroup
// commits when `commit` is non-zero and otherwise undoes every change of the group; it
// returns the commit's status (a group that a failure of the store broke gives that
// failure, and changes nothing). Groups nest: an inner group's end keeps or undoes its own
// changes, and the outermost end decides for all. Only a begin that returned 0 is paired
// with an end, on the same thread. While a group is open, the process's other threads wait
// for their registry calls and other processes for their changes, and the group stays on
// the store file it began on.
KORPLATFORM_API LSTATUS WINAPI PlatRegBeginGroup(void);
KORPLATFORM_API LSTATUS WINAPI PlatRegEndGroup(BOOL commit);
}
