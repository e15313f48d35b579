#include "kernel/file_object.h"
#include "kernel/ini_document.h"
#include "kernel/no_throw.h"
#include "kernel/profile_cache.h"
#include "kernel/profile_groups.h"
#include "kernel/profile_writer.h"
#include "kernel/text_encoding.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/profiles.h>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

using namespace korutil::detail;

thread_local bool t_deferNext = false;

struct ProfileFile {
    std::string path;
    bool inConfigHome = false; // a bare name: the directory is created when missing
};

std::string configHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    if (!home || !*home) {
        const passwd* pw = getpwuid(getuid());
        home = pw ? pw->pw_dir : "/tmp";
    }
    return std::string(home) + "/.config";
}

ProfileFile profileFile(const char* fileName) {
    std::string name = nativePath(fileName);
    if (name.find('/') != std::string::npos) {
        return ProfileFile{std::move(name), false};
    }
    return ProfileFile{configHome() + "/" + name, true};
}

DWORD copyOut(const std::string& text, LPSTR out, DWORD size) {
    if (size == 0 || !out) {
        return 0;
    }
    const std::size_t n = utf8CutPoint(text.data(), text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
    return static_cast<DWORD>(n);
}

// A list of zero-terminated names ended by a second zero, cut to the buffer as Windows does.
DWORD copyList(const std::vector<std::string>& names, LPSTR out, DWORD size) {
    if (size == 0 || !out) {
        return 0;
    }
    if (size == 1) {
        out[0] = '\0';
        return 0;
    }
    std::string list;
    for (const std::string& name : names) {
        list += name;
        list += '\0';
    }
    if (list.size() + 1 <= size) {
        std::memcpy(out, list.data(), list.size());
        out[list.size()] = '\0';
        return static_cast<DWORD>(list.size());
    }
    const std::size_t n = utf8CutPoint(list.data(), list.size(), size - 2);
    std::memcpy(out, list.data(), n);
    out[n] = '\0';
    out[n + 1] = '\0';
    return static_cast<DWORD>(n);
}

DWORD getProfileString(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                       DWORD nSize, LPCSTR lpFileName) {
    std::shared_ptr<const IniDocument> doc;
    DWORD error = ERROR_FILE_NOT_FOUND;
    if (lpFileName && *lpFileName) {
        const ProfileFile file = profileFile(lpFileName);
        doc = withPending(file.path, [&] { return currentDocument(file.path, &error); });
    }
    if (!doc) {
        SetLastError(error);
    }
    if (!lpAppName) {
        return copyList(doc ? doc->sectionNames() : std::vector<std::string>(), lpReturnedString,
                        nSize);
    }
    if (!lpKeyName) {
        return copyList(doc ? doc->keyNames(lpAppName) : std::vector<std::string>(),
                        lpReturnedString, nSize);
    }
    if (const std::string* value = doc ? doc->value(lpAppName, lpKeyName) : nullptr) {
        return copyOut(*value, lpReturnedString, nSize);
    }
    std::string def = lpDefault ? lpDefault : "";
    while (!def.empty() && def.back() == ' ') {
        def.pop_back();
    }
    return copyOut(def, lpReturnedString, nSize);
}

BOOL writeProfileString(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString, LPCSTR lpFileName) {
    const bool deferred = std::exchange(t_deferNext, false);
    if (!lpAppName && !lpKeyName && !lpString) {
        // The Windows flush, which reports FALSE however it went; writes held back reach the
        // file now.
        DWORD error = NO_ERROR;
        if (!lpFileName) {
            error = flushPending(nullptr);
        } else if (*lpFileName) {
            const std::string path = profileFile(lpFileName).path;
            error = flushPending(&path);
        }
        SetLastError(error);
        return FALSE;
    }
    if (!lpAppName || !lpFileName || !*lpFileName || !readsBackAsSection(lpAppName) ||
        (lpKeyName && !readsBackAsKey(lpKeyName)) || (lpString && !readsBackAsValue(lpString))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    ProfileWrite write;
    write.section = trimBlanks(lpAppName);
    if (lpKeyName) {
        write.key = std::string(trimBlanks(lpKeyName));
        if (lpString) {
            write.value = std::string(lpString);
        }
    }
    const ProfileFile file = profileFile(lpFileName);
    DWORD error;
    if (deferred) {
        error = deferWrite(file.path, file.inConfigHome, std::move(write));
    } else {
        // Writes held back for the file come first, so that the file keeps their order.
        flushPending(&file.path);
        error = writeProfileFile(file.path, file.inConfigHome, {std::move(write)});
    }
    if (error != NO_ERROR) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

} // namespace

extern "C" DWORD WINAPI GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName,
                                                 LPCSTR lpDefault, LPSTR lpReturnedString,
                                                 DWORD nSize, LPCSTR lpFileName) {
    return failOnBadAlloc(DWORD(0), [&] {
        return getProfileString(lpAppName, lpKeyName, lpDefault, lpReturnedString, nSize,
                                lpFileName);
    });
}

extern "C" BOOL WINAPI WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName,
                                                  LPCSTR lpString, LPCSTR lpFileName) {
    return failOnBadAlloc(BOOL(FALSE), [&] {
        return writeProfileString(lpAppName, lpKeyName, lpString, lpFileName);
    });
}

extern "C" void WINAPI PlatDeferNextProfileWrite(void) {
    t_deferNext = true;
}
