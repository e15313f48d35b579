#include "strings/text_cut.h"

#include <korutil/settings.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr int kNameSize = 128;
constexpr int kWorkSize = 256;

// Copies a string into exactly `length` bytes: its characters, then zeros up to `length`.
// A string of `length` characters or more leaves no terminator.
void boundedCopy(char* dest, const char* src, int length) {
    int i = 0;
    for (; i < length && src && src[i]; ++i) {
        dest[i] = src[i];
    }
    for (; i < length; ++i) {
        dest[i] = '\0';
    }
}

// Skips blanks, takes one sign and the decimal digits that follow, modulo 2^64; the callers
// keep the low bits they need, so every value written at any width reads back exactly.
unsigned long long parseDecimal(const char* text) {
    while (*text == ' ' || (*text >= '\t' && *text <= '\r')) {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    unsigned long long value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<unsigned long long>(*text - '0');
    }
    return negative ? 0 - value : value;
}

// Tells the layer that the next write is one key of a record being saved, so that the file
// is written once per save. Windows keeps its own profile cache and has no such call.
void joinRecordSave() {
#ifndef _WIN32
    PlatDeferNextProfileWrite();
#endif
}

} // namespace

CIniFile::CIniFile(HINSTANCE hInstance) {
    m_szIniFile[0] = '\0';
    const DWORD length = GetModuleFileNameA(hInstance, m_szIniFile, kNameSize);
    if (length == 0 || length >= static_cast<DWORD>(kNameSize)) {
        // A cut path would name some other file; no name is the safer failure.
        m_szIniFile[0] = '\0';
        return;
    }
    // Only a dot in the file name itself starts an extension: a dot in a directory name
    // would put the file elsewhere, and without an extension the module file itself would
    // be taken for the INI file.
    int nameStart = 0;
    int dot = -1;
    for (int i = 0; m_szIniFile[i]; ++i) {
        if (m_szIniFile[i] == '\\' || m_szIniFile[i] == '/') {
            nameStart = i + 1;
            dot = -1;
        } else if (m_szIniFile[i] == '.') {
            dot = i;
        }
    }
    int at = dot >= nameStart ? dot + 1 : static_cast<int>(length);
    if (dot < nameStart) {
        // The appended ".INI" must fit whole, or the cut name would be the module itself.
        if (at + 4 >= kNameSize) {
            m_szIniFile[0] = '\0';
            return;
        }
        m_szIniFile[at++] = '.';
    }
    for (const char* ext = "INI"; *ext && at < kNameSize - 1; ++ext) {
        m_szIniFile[at++] = *ext;
    }
    m_szIniFile[at] = '\0';
}

CIniFile::CIniFile(const char* fileName) {
    boundedCopy(m_szIniFile, fileName, kNameSize);
    m_szIniFile[kNameSize - 1] = '\0';
}

CIniFile::CIniFile(const CIniFile& other) {
    std::memcpy(m_szIniFile, other.m_szIniFile, sizeof m_szIniFile);
}

CIniFile& CIniFile::operator=(const CIniFile& other) {
    std::memmove(m_szIniFile, other.m_szIniFile, sizeof m_szIniFile);
    return *this;
}

const char* CIniFile::GetIniFileName() const {
    return m_szIniFile;
}

int CIniFile::UpdateData(int) {
    return 1;
}

int CIniFile::Xfer(int save, const char* section, const char* key, int* value, int def) {
    return Xfer(save, section, key, typeInt, value, &def);
}

int CIniFile::Xfer(int save, const char* section, const char* key, unsigned int* value,
                   unsigned int def) {
    return Xfer(save, section, key, typeUInt, value, &def);
}

int CIniFile::Xfer(int save, const char* section, const char* key, long* value, long def) {
    return Xfer(save, section, key, typeLong, value, &def);
}

int CIniFile::Xfer(int save, const char* section, const char* key, unsigned long* value,
                   unsigned long def) {
    return Xfer(save, section, key, typeULong, value, &def);
}

int CIniFile::Xfer(int save, const char* section, const char* key, char* buffer, int length,
                   char* def) {
    return Xfer(save, section, key, length, buffer, def);
}

int CIniFile::Xfer(int save, const char* section, const char* key, int type, void* data,
                   void* def) {
    if (type < typeULong || !data) {
        return 0;
    }
    char work[kWorkSize];
    if (save) {
        switch (type) {
        case typeInt:
            std::snprintf(work, sizeof work, "%d", *static_cast<int*>(data));
            break;
        case typeUInt:
            std::snprintf(work, sizeof work, "%u", *static_cast<unsigned int*>(data));
            break;
        case typeLong:
            std::snprintf(work, sizeof work, "%ld", *static_cast<long*>(data));
            break;
        case typeULong:
            std::snprintf(work, sizeof work, "%lu", *static_cast<unsigned long*>(data));
            break;
        default: {
            const char* text = static_cast<const char*>(data);
            const std::size_t n =
                korutil::detail::textCutPoint(text, strnlen(text, kWorkSize), kWorkSize - 1);
            std::memcpy(work, text, n);
            work[n] = '\0';
            break;
        }
        }
        joinRecordSave();
        WritePrivateProfileStringA(section, key, work, m_szIniFile);
        return 1;
    }

    GetPrivateProfileStringA(section, key, "", work, kWorkSize, m_szIniFile);
    const bool useDefault = work[0] == '\0';
    if (type >= 0) {
        boundedCopy(static_cast<char*>(data), useDefault ? static_cast<const char*>(def) : work,
                    type);
        return 1;
    }
    if (useDefault && !def) {
        return 1; // no default to copy: the variable keeps its value
    }
    const unsigned long long parsed = useDefault ? 0 : parseDecimal(work);
    switch (type) {
    case typeInt:
        *static_cast<int*>(data) =
            useDefault ? *static_cast<int*>(def) : static_cast<int>(static_cast<unsigned>(parsed));
        break;
    case typeUInt:
        *static_cast<unsigned int*>(data) =
            useDefault ? *static_cast<unsigned int*>(def) : static_cast<unsigned int>(parsed);
        break;
    case typeLong:
        *static_cast<long*>(data) = useDefault
                                        ? *static_cast<long*>(def)
                                        : static_cast<long>(static_cast<unsigned long>(parsed));
        break;
    default:
        *static_cast<unsigned long*>(data) =
            useDefault ? *static_cast<unsigned long*>(def) : static_cast<unsigned long>(parsed);
        break;
    }
    return 1;
}
