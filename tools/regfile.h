// The text .reg format (REGEDIT4) over the registry: key paths with their root names,
// export of a key with everything below it, and import.
//
// Values are written as regedit writes them: "text" for a REG_SZ that is plain text,
// dword:xxxxxxxx for a 4-byte REG_DWORD, hex: for REG_BINARY and hex(n): for everything
// else, so that every value comes back byte for byte. A key's class, which the format
// has no place for, follows its header as a comment line that regedit ignores:
//     ;@class="text"
#pragma once

#include <korutil/platform.h>

#include <string>

namespace korutil::regfile {

// Splits "HKEY_CURRENT_USER\Software\App" (or "HKCU\Software\App") into its root and the
// path below it; false for an unknown root.
bool splitRoot(const std::string& path, HKEY& root, std::string& subPath);

// The REGEDIT4 text of the key and everything below it, after the header line.
LONG exportKey(const std::string& path, std::string& text);

// Applies a .reg text: creates keys (with their classes), sets values, and deletes the keys
// ("[-path]") and values ("name"=-) it names. Stops at the first error, whose line and
// reason go to `error`.
LONG importText(const std::string& text, std::string& error);

// One value as its .reg line ("name"=data).
std::string valueLine(const std::string& name, DWORD type, const BYTE* data, DWORD size);

} // namespace korutil::regfile
