#include <korutil/platform/errors.h>
#include <korutil/platform/modules.h>

#include "kernel/case_fold.h"
#include "kernel/file_object.h"
#include "kernel/no_throw.h"
#include "kernel/path_lookup.h"
#include "kernel/text_encoding.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

namespace {

struct LoadedModule {
    HMODULE base = nullptr;
    std::string path; // absolute
};

// A module's base is the start of its lowest loaded segment, the same address dladdr reports
// as dli_fbase, so that a library can name itself from any of its own addresses.
HMODULE baseOf(const dl_phdr_info* info) {
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        if (info->dlpi_phdr[i].p_type == PT_LOAD) {
            ElfW(Addr) start = info->dlpi_addr + info->dlpi_phdr[i].p_vaddr;
            start &= ~static_cast<ElfW(Addr)>(sysconf(_SC_PAGESIZE) - 1);
            return reinterpret_cast<HMODULE>(start);
        }
    }
    return reinterpret_cast<HMODULE>(info->dlpi_addr);
}

std::string mainProgramPath() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// A path named without regard to case, as the loader's own absolute path of it.
std::string absolutePath(const std::string& name) {
    char resolved[PATH_MAX];
    if (realpath(name.c_str(), resolved)) {
        return resolved;
    }
    const std::string found = korutil::detail::resolveCase(name);
    return realpath(found.c_str(), resolved) ? std::string(resolved) : name;
}

// Whether one of the object's loaded segments holds the address.
bool holds(const dl_phdr_info* info, const void* address) {
    const auto at = reinterpret_cast<ElfW(Addr)>(address);
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        const ElfW(Addr) start = info->dlpi_addr + segment.p_vaddr;
        if (segment.p_type == PT_LOAD && at >= start && at - start < segment.p_memsz) {
            return true;
        }
    }
    return false;
}

// Calls match(module, isMain) for each loaded module, with `address` (when given) deciding
// first whether the module's image holds it. What the match or the path lookup throws is
// carried past dl_iterate_phdr, which holds the loader's lock while it calls back and is C
// code that no exception may cross.
template <class Match>
bool findModule(Match match, LoadedModule& found, const void* address = nullptr) {
    struct Search {
        Match* match;
        LoadedModule* found;
        const void* address;
        bool first = true;
        bool hit = false;
        std::exception_ptr failure;
    } search{&match, &found, address, true, false, nullptr};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) -> int {
            auto* s = static_cast<Search*>(data);
            try {
                if (s->address && !holds(info, s->address)) {
                    s->first = false;
                    return 0;
                }
                LoadedModule module;
                module.base = baseOf(info);
                // The first object is the main program, whose name the loader leaves empty.
                const bool isMain = s->first;
                s->first = false;
                if (isMain) {
                    module.path = mainProgramPath();
                } else if (info->dlpi_name && *info->dlpi_name) {
                    module.path = absolutePath(std::string(info->dlpi_name));
                } else {
                    return 0; // the vDSO and other nameless objects
                }
                if ((*s->match)(module, isMain)) {
                    *s->found = module;
                    s->hit = true;
                    return 1;
                }
                return 0;
            } catch (...) {
                s->failure = std::current_exception();
                return 1;
            }
        },
        &search);
    if (search.failure) {
        std::rethrow_exception(search.failure);
    }
    return search.hit;
}

const char* fileNameOf(const std::string& path) {
    std::size_t slash = path.find_last_of('/');
    return path.c_str() + (slash == std::string::npos ? 0 : slash + 1);
}

} // namespace

namespace {

// GetModuleHandleA's search; the module found stays in `found`.
bool moduleNamed(LPCSTR lpModuleName, LoadedModule& found) {
    if (!lpModuleName) {
        return findModule([](const LoadedModule&, bool isMain) { return isMain; }, found);
    }
    std::string wanted = korutil::detail::nativePath(lpModuleName);
    const bool byPath = wanted.find('/') != std::string::npos;
    if (byPath) {
        wanted = absolutePath(wanted);
    }
    auto nameOf = [byPath](const LoadedModule& m) {
        return byPath ? m.path.c_str() : fileNameOf(m.path);
    };
    // A module named exactly wins; of those whose names differ only in case, the name
    // first in byte order, as for files.
    if (findModule([&](const LoadedModule& m, bool) { return wanted == nameOf(m); }, found)) {
        return true;
    }
    bool hit = false;
    LoadedModule unused;
    findModule(
        [&](const LoadedModule& m, bool) {
            if (korutil::detail::sameWithoutCase(nameOf(m), wanted) &&
                (!hit || std::strcmp(nameOf(m), nameOf(found)) < 0)) {
                found = m;
                hit = true;
            }
            return false;
        },
        unused);
    return hit;
}

} // namespace

extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    return korutil::detail::failOnBadAlloc(static_cast<HMODULE>(nullptr), [&]() -> HMODULE {
        LoadedModule found;
        if (!moduleNamed(lpModuleName, found)) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        return found.base;
    });
}

extern "C" BOOL WINAPI GetModuleHandleExA(DWORD dwFlags, LPCSTR lpModuleName, HMODULE* phModule) {
    constexpr DWORD pin = GET_MODULE_HANDLE_EX_FLAG_PIN;
    constexpr DWORD unchanged = GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
    constexpr DWORD fromAddress = GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS;
    if (phModule) {
        *phModule = nullptr;
    }
    if (!phModule || (dwFlags & ~(pin | unchanged | fromAddress)) ||
        ((dwFlags & pin) && (dwFlags & unchanged))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return korutil::detail::failOnBadAlloc(FALSE, [&]() -> BOOL {
        LoadedModule found;
        bool isMain = false;
        const bool hit = (dwFlags & fromAddress) && lpModuleName
                             ? findModule(
                                   [&](const LoadedModule&, bool main) {
                                       isMain = main;
                                       return true;
                                   },
                                   found, lpModuleName)
                             : moduleNamed(lpModuleName, found);
        if (!hit) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return FALSE;
        }
        isMain = isMain || !lpModuleName;
        // The loader counts references by path; the main program is never unloaded anyway.
        if (!(dwFlags & unchanged) && !isMain) {
            const int mode = RTLD_LAZY | RTLD_NOLOAD | ((dwFlags & pin) ? RTLD_NODELETE : 0);
            if (!dlopen(found.path.c_str(), mode)) {
                SetLastError(ERROR_MOD_NOT_FOUND);
                return FALSE;
            }
        }
        *phModule = found.base;
        return TRUE;
    });
}

extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    return korutil::detail::failOnBadAlloc(DWORD{0}, [&]() -> DWORD {
        LoadedModule found;
        const bool hit =
            findModule([&](const LoadedModule& m,
                           bool isMain) { return hModule ? m.base == hModule : isMain; },
                       found);
        if (!hit) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        if (!lpFilename || nSize == 0) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        const std::size_t length = found.path.size();
        if (length >= nSize) {
            // Cut without splitting a UTF-8 sequence; the result still reports the full buffer.
            const std::size_t cut =
                korutil::detail::utf8CutPoint(found.path.data(), length, nSize - 1);
            std::memcpy(lpFilename, found.path.data(), cut);
            lpFilename[cut] = '\0';
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return nSize;
        }
        std::memcpy(lpFilename, found.path.c_str(), length + 1);
        return static_cast<DWORD>(length);
    });
}
