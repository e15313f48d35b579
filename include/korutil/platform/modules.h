// Modules: an HINSTANCE is the base address of a loaded module; null is the main program.
#pragma once

#include <korutil/platform/types.h>

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

extern "C" {
// Thread notifications are never sent on this platform; the call only validates the handle.
KORPLATFORM_API BOOL WINAPI DisableThreadLibraryCalls(HMODULE hLibModule);
}
