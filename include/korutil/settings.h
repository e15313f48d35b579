// Settings: INI file transfer and registry keys.
#pragma once

#include <korutil/frame.h>
#include <korutil/platform.h>
#include <korutil/strings.h>

// Moves settings between variables and an INI file. One list of Xfer calls, run by an
// UpdateData override, serves loading (save == 0) and saving (save != 0) alike. The object
// holds nothing but the file name; objects of different threads may work on one file.
//
// On Linux the keys of one save reach the file together, in one atomic replacement of the
// file (PlatDeferNextProfileWrite, korutil/platform/profiles.h): loads in the same process
// see a save at once, other processes about 10 ms after its last key, or at once after
// WritePrivateProfileStringA(NULL, NULL, NULL, file), and a process that exits normally has
// written its saves out. On Windows each key is one private-profile write, cached by the
// system as Windows caches them.
class KORUTIL_API CIniFile {
public:
    // The type argument of the worker Xfer; 0 or more is a char buffer of that many bytes.
    enum { typeInt = -1, typeUInt = -2, typeLong = -3, typeULong = -4 };

    // The module's file name with its extension replaced by "INI" (or "INI" appended when
    // the file name has none), in the module's directory; null names the main program.
    CIniFile(HINSTANCE hInstance);
    // The name as given, cut to 127 characters; a name without a directory is found by the
    // platform's private-profile rules.
    CIniFile(const char* fileName);
    CIniFile(const CIniFile& other);
    CIniFile& operator=(const CIniFile& other);
    virtual ~CIniFile() = default;

    const char* GetIniFileName() const;

    // Hosts override this with their list of Xfer calls; the base does nothing and gives 1.
    virtual int UpdateData(int save);

    // Numbers are written in decimal and read back at the variable's own width; a missing
    // or empty key loads the default. Each returns 1.
    int Xfer(int save, const char* section, const char* key, int* value, int def);
    int Xfer(int save, const char* section, const char* key, unsigned int* value, unsigned int def);
    int Xfer(int save, const char* section, const char* key, long* value, long def);
    int Xfer(int save, const char* section, const char* key, unsigned long* value,
             unsigned long def);
    // Saves the whole string (at most 255 characters); loads exactly `length` bytes: the text
    // padded with zeros, or cut without a terminator when it does not fit.
    int Xfer(int save, const char* section, const char* key, char* buffer, int length, char* def);

protected:
    // The worker of the above; 0 for a type below typeULong, 1 otherwise.
    int Xfer(int save, const char* section, const char* key, int type, void* data, void* def);

private:
    char m_szIniFile[128];
};

// One open registry key with typed values read against defaults, and the recursive copy
// and delete of key trees. An object that could not open its key (or was constructed while
// registry access is disabled) turns every operation into a harmless no-op.
class KORUTIL_API CRegKeyBase {
public:
    enum Mode { modeOpen = 0, modeCreate = 1 };
    enum Context { ctxLocalMachine = -1, ctxCurrentUser = -2, ctxClassesRoot = -3 };

    // keyPath, extended by "\" and subPath when subPath is not empty, under the root.
    CRegKeyBase(const char* keyPath, const char* subPath, Mode mode, Context context,
                int overrideDisable);
    // path below parent (an open key or a predefined root), passed on unchanged.
    CRegKeyBase(const char* path, Mode mode, HKEY parent, int overrideDisable);
    virtual ~CRegKeyBase();
    CRegKeyBase(const CRegKeyBase&) = delete;
    CRegKeyBase& operator=(const CRegKeyBase&) = delete;

    int IsOpen() const;
    operator HKEY() const;

    // Objects constructed while disabled (without overrideDisable) hold no key.
    static void DisableAll();
    static void EnableAll();

    void SetString(const char* name, const char* value);
    // The REG_SZ value in buffer and its length, or the default, cut to the buffer and
    // terminated, and its length.
    int GetString(const char* name, const char* defaultValue, char* buffer, int bufferSize);
    void GetString(const char* name, const char* defaultValue, CString* out);
    // Stored as a 4-byte REG_DWORD: the low 32 bits of value.
    void SetDword(const char* name, unsigned long value);
    unsigned long GetDword(const char* name, unsigned long defaultValue);
    void SetData(const char* name, void* data, int length);
    // The size of a REG_BINARY value, else 0.
    int GetDataLength(const char* name);
    // length when a REG_BINARY value of exactly length bytes was read into buffer; the
    // stored size (buffer untouched) for another size or type; 0 when there is no value.
    int GetData(const char* name, void* buffer, int length);

    // Status codes of the platform; 259 at the end or when not open.
    long EnumKey(unsigned long index, char* name, unsigned long nameSize);
    long EnumValue(unsigned long index, char* name, unsigned long* nameSize, unsigned long* type,
                   unsigned char* data, unsigned long* dataSize);

    void DeleteSubKey(const char* name);
    // Copies every value and, recursively, every subkey (with its class) into toKey.
    static void CopyKeyTree(HKEY fromKey, HKEY toKey);
    // Deletes the subkey name of parent with everything below it; 1010 for an empty name.
    static unsigned long RegDeleteKeyAll(HKEY parent, const char* name);

private:
    HKEY m_hKey;
    Mode m_mode;
    static int m_bDisableAll;
};
