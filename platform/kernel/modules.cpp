#include <korutil/platform/errors.h>
#include <korutil/platform/modules.h>

#include "kernel/case_fold.h"
#include "kernel/file_object.h"
#include "kernel/no_throw.h"
#include "kernel/path_lookup.h"
#include "kernel/text_encoding.h"

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

// What the match or the path lookup throws is carried past dl_iterate_phdr, which holds the
// loader's lock while it calls back and is C code that no exception may cross.
template <class Match> bool findModule(Match match, LoadedModule& found) {
    struct Search {
        Match* match;
        LoadedModule* found;
        bool first = true;
        bool hit = false;
        std::exception_ptr failure;
    } search{&match, &found, true, false, nullptr};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) -> int {
            auto* s = static_cast<Search*>(data);
            try {
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

extern "C" HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    return korutil::detail::failOnBadAlloc(HMODULE(nullptr), [&]() -> HMODULE {
        LoadedModule found;
        bool hit;
        if (!lpModuleName) {
            hit = findModule([](const LoadedModule&, bool isMain) { return isMain; }, found);
        } else {
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
            hit =
                findModule([&](const LoadedModule& m, bool) { return wanted == nameOf(m); }, found);
            if (!hit) {
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
            }
        }
        if (!hit) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        return found.base;
    });
}

extern "C" DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    return korutil::detail::failOnBadAlloc(DWORD(0), [&]() -> DWORD {
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
