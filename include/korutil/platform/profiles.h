// Private profiles: INI files read and written with the Windows rules. Names compare without
// case; blanks around names and values are dropped and one pair of surrounding quotes is
// dropped from a value on reading; comments, blank lines and order survive writes. A file
// name without a directory lives in $XDG_CONFIG_HOME (default ~/.config). Writes replace the
// file atomically under an exclusive lock, so concurrent writers in several processes lose
// no update and readers never see half a file.
#pragma once

#include <korutil/platform/types.h>

extern "C" {
// The value of lpKeyName in section lpAppName, or lpDefault (trailing blanks dropped; null
// reads as "") when the file, section or key is missing. A null lpKeyName lists the keys of
// the section and a null lpAppName the sections, each name terminated, the list ended by a
// second zero. A value that does not fit is cut to nSize - 1 bytes and the result is
// nSize - 1; a list that does not fit is cut to nSize - 2 and ends with two zeros. The result
// is the number of bytes copied, without the final terminator.
KORPLATFORM_API DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName,
                                                      LPCSTR lpDefault, LPSTR lpReturnedString,
                                                      DWORD nSize, LPCSTR lpFileName);

// Sets lpKeyName to lpString in section lpAppName, creating the section, the key or the file
// as needed. A null lpString deletes the key, a null lpKeyName the whole section. All three
// null only flushes (nothing is ever held back). Names and values that would break the line
// structure (line breaks, '=' in a key, ']' in a section) fail with ERROR_INVALID_PARAMETER.
KORPLATFORM_API BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName,
                                                       LPCSTR lpString, LPCSTR lpFileName);
}
