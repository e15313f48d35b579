// The platform version, and the kernel's string length.
#pragma once

#include <korutil/platform/types.h>

#define VER_PLATFORM_WIN32s 0
#define VER_PLATFORM_WIN32_WINDOWS 1
#define VER_PLATFORM_WIN32_NT 2

typedef struct _OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
} OSVERSIONINFOA, *POSVERSIONINFOA, *LPOSVERSIONINFOA;

typedef struct _OSVERSIONINFOEXA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
    WORD wServicePackMajor;
    WORD wServicePackMinor;
    WORD wSuiteMask;
    BYTE wProductType;
    BYTE wReserved;
} OSVERSIONINFOEXA, *POSVERSIONINFOEXA, *LPOSVERSIONINFOEXA;

#define VER_NT_WORKSTATION 1

extern "C" {
// Reports the NT platform (its registry refuses to delete keys that have subkeys). The size
// field must hold the size of OSVERSIONINFOA or OSVERSIONINFOEXA; otherwise FALSE with
// ERROR_INSUFFICIENT_BUFFER.
KORPLATFORM_API BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);

// Length of a zero-terminated string in bytes; 0 for null.
KORPLATFORM_API int WINAPI lstrlenA(LPCSTR lpString);
}
