// Kernel handles: one table for every kind of kernel object (files, threads, events, ...).
#pragma once

#include <korutil/platform/types.h>

extern "C" {
// Closes any kernel handle; FALSE with ERROR_INVALID_HANDLE for one the table does not know.
KORPLATFORM_API BOOL WINAPI CloseHandle(HANDLE hObject);
}
