// Files on the layer: opening with the Windows access, sharing and creation rules, one system
// call per read or write, 32-bit file pointers, attributes, deletion, directory search and
// copying. Any thread may call them. Paths may use `\` or `/`; both name the same directory
// separator.
//
// Names are found without regard to case, as on Windows: every call that looks up an existing
// file or directory uses the name as written when it exists, and otherwise, component by
// component, an entry that differs from it only in case. Of several such entries, the one that
// sorts first by bytes is taken ("REPORT.DAT" before "Report.dat" before "report.dat"); an
// exact match always wins. A name created anew keeps the caller's case, inside directories
// found without case. Case is folded for ASCII letters and for the letters of Latin-1, Latin
// Extended-A, Greek and Cyrillic (one-to-one mappings); other characters, and bytes that are
// not well-formed UTF-8, compare as they are.
#pragma once

#include <korutil/platform/types.h>

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define GENERIC_EXECUTE 0x20000000u
#define GENERIC_ALL 0x10000000u

#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define FILE_SHARE_DELETE 0x00000004u

#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u

#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)

typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;

typedef struct _WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *PWIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;

extern "C" {

// Opens or creates a file. Each open states what it does (dwDesiredAccess: GENERIC_READ,
// GENERIC_WRITE) and what it lets others do (dwShareMode); an open is refused with
// ERROR_SHARING_VIOLATION when its access is not shared by an open already there, or when it
// denies an access that one of them holds. The rule holds between processes. A file is
// truncated (CREATE_ALWAYS, TRUNCATE_EXISTING) only once the open has been admitted.
// CREATE_NEW fails with ERROR_FILE_EXISTS when a name differing only in case exists.
// Directories cannot be opened (ERROR_ACCESS_DENIED). Opening never waits: a FIFO opens at
// once for reading (a read then waits for a writer's data, or gives 0 bytes when there is
// no writer), and for writing only when someone reads it (ERROR_PIPE_NOT_CONNECTED
// otherwise, as a pipe without its other end); reads and writes of FIFOs and devices wait as
// on a synchronous Windows handle. Overlapped I/O, templates and security attributes are not
// supported; FILE_ATTRIBUTE_READONLY makes a new file read-only.
KORPLATFORM_API HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess,
                                          DWORD dwShareMode,
                                          LPSECURITY_ATTRIBUTES lpSecurityAttributes,
                                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                                          HANDLE hTemplateFile);

// One read(2) of up to nNumberOfBytesToRead bytes at the file pointer; TRUE with 0 bytes at
// the end of the file. lpOverlapped must be null.
KORPLATFORM_API BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);

// One write(2); a partial transfer (disk full, file-size limit) succeeds with the count
// written, a transfer of nothing fails with ERROR_DISK_FULL.
KORPLATFORM_API BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);

// Moves the file pointer. Without lpDistanceToMoveHigh the distance is a signed 32-bit value
// and the new position must fit in 32 bits. A target before the start fails with
// ERROR_NEGATIVE_SEEK and leaves the pointer where it was. Failure returns
// INVALID_SET_FILE_POINTER with a last error other than NO_ERROR.
KORPLATFORM_API DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove,
                                            PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod);

// The file's length: the low 32 bits, the high ones in *lpFileSizeHigh when given.
KORPLATFORM_API DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);

// Searches a directory for names matching the last part of lpFileName, with `*` (any run of
// characters) and `?` (one character); a pattern ending in ".*" also matches the names that
// the pattern before it matches ("REPORT.*" finds "REPORT"). Names and patterns compare
// without case, and `?` stands for one character, not one byte; the directory is found as
// any other. Matches come in byte order of their names. ERROR_FILE_NOT_FOUND when nothing
// matches, ERROR_PATH_NOT_FOUND when the directory does not exist.
KORPLATFORM_API HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData);
// The next match; FALSE with ERROR_NO_MORE_FILES after the last.
KORPLATFORM_API BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData);
KORPLATFORM_API BOOL WINAPI FindClose(HANDLE hFindFile);

// The attributes of a file or directory: FILE_ATTRIBUTE_DIRECTORY or FILE_ATTRIBUTE_ARCHIVE,
// with FILE_ATTRIBUTE_READONLY when nobody may write it and FILE_ATTRIBUTE_HIDDEN for a name
// that starts with a dot. INVALID_FILE_ATTRIBUTES with ERROR_FILE_NOT_FOUND or
// ERROR_PATH_NOT_FOUND when there is none.
KORPLATFORM_API DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName);

// Removes a file (a symbolic link itself, not its target). A directory or a read-only file
// is kept (ERROR_ACCESS_DENIED); so is a file that an open without FILE_SHARE_DELETE holds
// (ERROR_SHARING_VIOLATION), in this process or another.
KORPLATFORM_API BOOL WINAPI DeleteFileA(LPCSTR lpFileName);

// Copies a file with its permissions and last-write time. With bFailIfExists the target is
// created exclusively (ERROR_FILE_EXISTS if a file of that name exists, also when one appears
// during the copy, and when a name differing only in case exists). The copy is written under a
// temporary name beside the target and put in place only when complete, so a failure leaves
// no partial target. A source that is not a regular file (a directory, a FIFO, a device) is
// refused with ERROR_ACCESS_DENIED.
KORPLATFORM_API BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName,
                                      BOOL bFailIfExists);
}
