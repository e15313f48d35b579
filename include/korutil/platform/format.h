// Formatting: the window manager's small formatter. It knows the conversions c C d i u x X p
// s S with the sizes h, l, w and I64, the flags - # 0, a width and a precision, and no
// floating point. Output stops at 1024 bytes, the terminator included.
#pragma once

#include <korutil/platform/types.h>

#include <cstdarg>

#define WINAPIV

extern "C" {
// Formats into lpOutput (at least 1024 bytes are safe) and returns the number of bytes
// stored, not counting the terminator. Longer output is cut to 1023 bytes without splitting
// a UTF-8 sequence. An unknown conversion prints its character ("%%" gives "%"), a lone "%"
// at the end prints nothing and a null string prints as "(null)". Sizes are the Windows
// ones: "l" reads a 32-bit value (LONG, DWORD), "I64" a 64-bit one. Wide characters and
// strings (C, lc, S, ls, ws) are WCHAR and come out as UTF-8.
KORPLATFORM_API int WINAPI wvsprintfA(LPSTR lpOutput, LPCSTR lpFormat, va_list arglist);
KORPLATFORM_API int WINAPIV wsprintfA(LPSTR lpOutput, LPCSTR lpFormat, ...);
}
