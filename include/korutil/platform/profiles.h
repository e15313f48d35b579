// Private profiles: INI files read and written with the Windows rules. Any thread may call
// these. Names compare without case (as file names do, files.h); blanks around names and
// values are dropped and one pair of surrounding quotes is dropped from a value on reading;
// comments, blank lines and order survive writes. A file name without a directory lives in
// $XDG_CONFIG_HOME (default ~/.config); a name that does not exist as written is found
// without case. Only regular files serve: a directory, a FIFO or a device fails at once with
// ERROR_ACCESS_DENIED (a read gives the default), without waiting for it.
//
// Writes replace the file atomically under an exclusive lock, so concurrent writers in
// several processes lose no update, readers never see half a file and a crash leaves the old
// file or the new one. A write through a symbolic link goes to its target (the link stays).
// A file with several names (hard links) is rewritten in place under the same lock, so that
// every name sees the write; a crash in the middle of such a rewrite can leave it incomplete.
#pragma once

#include <korutil/platform/types.h>

extern "C" {
// The value of lpKeyName in section lpAppName, or lpDefault (trailing blanks dropped; null
// reads as "") when the file, section or key is missing. A null lpKeyName lists the keys of
// the section and a null lpAppName the sections, each name terminated, the list ended by a
// second zero. A value that does not fit is cut to nSize - 1 bytes and the result is
// nSize - 1 or less, never splitting a UTF-8 sequence; a list that does not fit is cut to
// nSize - 2 and ends with two zeros. The result is the number of bytes copied, without the
// final terminator. Writes that this process holds back (PlatDeferNextProfileWrite) are seen.
KORPLATFORM_API DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName,
                                                      LPCSTR lpDefault, LPSTR lpReturnedString,
                                                      DWORD nSize, LPCSTR lpFileName);

// Sets lpKeyName to lpString in section lpAppName, creating the section, the key or the file
// as needed; a null lpString deletes the key, a null lpKeyName the whole section. A write
// that succeeds reads back: a value with blanks at its ends, or with quotes around it, is
// stored inside a pair of quotes of its own (so "\"x\"" reads back with its quotes, where
// Windows would drop them). Names and values that could not be read back fail with
// ERROR_INVALID_PARAMETER: line breaks anywhere, `]` in a section name, `=` in a key, a key
// that starts with `;` (a comment) or `[` (a section header), blank names.
//
// All three of lpAppName, lpKeyName and lpString null flush: writes held back for lpFileName
// (for every file when it is null too) reach the file now. As on Windows, a flush returns
// FALSE; the last error is NO_ERROR when it went well.
KORPLATFORM_API BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName,
                                                       LPCSTR lpString, LPCSTR lpFileName);

// Not a Windows call. The calling thread's next WritePrivateProfileStringA joins a run of
// writes to its file that reaches the file as one atomic replacement, instead of replacing
// the file on its own: CIniFile marks each key it saves, so that saving a settings record
// writes the file once, not once per key. Reads in this process see the run at once. The run
// reaches the file when no write has joined it for 10 ms (100 ms at the latest), when a write of
// a key that it already holds begins the next run (the record saved again), before any write
// to that file that is not marked, at the flush above, and when the process exits normally; a
// process killed before leaves the old file whole. A process forked from one that has used
// private profiles writes marked writes at once, as unmarked ones. Failures that do not depend on
// the contents (a read-only file, a missing directory) are reported by the first write of a run;
// failures of the file system while the run is written out are not reported. Windows has
// nothing to match: the library calls this only on the Linux layer.
KORPLATFORM_API void WINAPI PlatDeferNextProfileWrite(void);
}
