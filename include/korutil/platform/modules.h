// Modules: an HINSTANCE is the base address of a loaded module; null is the main program.
// Any thread may call these.
#pragma once

#include <korutil/platform/types.h>

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x00000001
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x00000002
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x00000004

extern "C" {
// Thread notifications are never sent on this platform; the call only validates the handle.
KORPLATFORM_API BOOL WINAPI DisableThreadLibraryCalls(HMODULE hLibModule);
}

extern "C" {
// The module whose file name or path is given (on the file name when the argument has no
// directory), or the main program for null. Names compare without case as file names do
// (files.h): a module named exactly wins over one whose name differs only in case, and a
// path's directories are found without case. Null with ERROR_MOD_NOT_FOUND when no loaded
// module matches.
KORPLATFORM_API HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);

// The absolute path of a loaded module (null: the main program). When the buffer is too
// small the path is cut to at most nSize - 1 bytes, never inside a UTF-8 sequence, and
// terminated; the result is then nSize and the last error ERROR_INSUFFICIENT_BUFFER.
// Otherwise the result is the length copied. 0 with ERROR_MOD_NOT_FOUND for a handle that
// names no loaded module.
KORPLATFORM_API DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);

// The module named as GetModuleHandleA names it, or with GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS
// the module whose image holds the address lpModuleName (null: the main program). Without
// GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT the module gains a reference, which keeps it
// loaded from then on (this layer has no FreeLibrary to give it back); with
// GET_MODULE_HANDLE_EX_FLAG_PIN it is never unloaded. FALSE with *phModule null and
// ERROR_INVALID_PARAMETER for a null phModule, an unknown flag or PIN with UNCHANGED_REFCOUNT;
// ERROR_MOD_NOT_FOUND when no loaded module matches.
KORPLATFORM_API BOOL WINAPI GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName,
                                               HMODULE* phModule);
}
