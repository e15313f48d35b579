// Resources: modules carry their resources in the standard compiled format (.res). A module
// registers them for its own HINSTANCE when it loads (the CMake helper korutil_add_resources
// generates that call); the Windows calls then find them by type and name.
#pragma once

#include <korutil/platform/types.h>

#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define MAKEINTRESOURCEA(i) ((LPSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEA

#define RT_CURSOR MAKEINTRESOURCE(1)
#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_MENU MAKEINTRESOURCE(4)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_STRING MAKEINTRESOURCE(6)
#define RT_FONTDIR MAKEINTRESOURCE(7)
#define RT_FONT MAKEINTRESOURCE(8)
#define RT_ACCELERATOR MAKEINTRESOURCE(9)
#define RT_RCDATA MAKEINTRESOURCE(10)
#define RT_MESSAGETABLE MAKEINTRESOURCE(11)
#define RT_GROUP_CURSOR MAKEINTRESOURCE(12)
#define RT_GROUP_ICON MAKEINTRESOURCE(14)
#define RT_VERSION MAKEINTRESOURCE(16)

// 8-bit names, as the Windows headers map them.
#define FindResource FindResourceA
#define LoadString LoadStringA

extern "C" {
// The resource of the given type and name in a module (null: the main program). Integer
// identifiers come through MAKEINTRESOURCE or as "#123"; names compare without case. Null
// with ERROR_RESOURCE_DATA_NOT_FOUND (module without resources), ..._TYPE_NOT_FOUND or
// ..._NAME_NOT_FOUND.
KORPLATFORM_API HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType);
// The resource's data; it stays valid while the module's resources are registered.
KORPLATFORM_API HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
KORPLATFORM_API LPVOID WINAPI LockResource(HGLOBAL hResData);
KORPLATFORM_API DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);
// Resources are released with their module; as on 32-bit Windows this does nothing and
// returns FALSE.
KORPLATFORM_API BOOL WINAPI FreeResource(HGLOBAL hResData);

// Copies string `uID` of the module's string tables into the buffer as UTF-8, cut to
// cchBufferMax - 1 bytes without splitting a character, and terminates it. Returns the
// number of bytes copied; 0 (and an empty buffer) for a missing or empty string.
KORPLATFORM_API int WINAPI LoadStringA(HINSTANCE hInstance, UINT uID, LPSTR lpBuffer,
                                       int cchBufferMax);

// Registers a copy of a .res image as the resources of a module (null: the main program),
// after those it already has. A damaged image is refused whole: FALSE with
// ERROR_INVALID_DATA, and nothing is registered.
KORPLATFORM_API BOOL WINAPI PlatRegisterResources(HMODULE hModule, LPCVOID lpData, DWORD cbData);
// Forgets every resource of a module; FALSE with ERROR_RESOURCE_DATA_NOT_FOUND if it had none.
// Pointers obtained from LockResource for the module are invalid afterwards.
KORPLATFORM_API BOOL WINAPI PlatUnregisterResources(HMODULE hModule);
}
