#include <korutil/platform/errors.h>
#include <korutil/platform/modules.h>
#include <korutil/platform/resources.h>

#include "kernel/no_throw.h"
#include "kernel/res_reader.h"
#include "kernel/resource_registry.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <strings.h>
#include <vector>

namespace {

using korutil::detail::readResources;
using korutil::detail::ResName;
using korutil::detail::ResRecord;

// One registered image: its own copy of the bytes and the records read from it. An HRSRC is
// the address of one of its records.
struct ResourceImage {
    std::vector<unsigned char> bytes;
    std::vector<ResRecord> records;
};

using ModuleImages = std::vector<std::unique_ptr<ResourceImage>>;

// Both outlive every module's unload, which may come after this library's static destructors.
std::shared_mutex& registryLock() {
    static auto* lock = new std::shared_mutex;
    return *lock;
}

std::map<HMODULE, ModuleImages>& registry() {
    static auto* modules = new std::map<HMODULE, ModuleImages>;
    return *modules;
}

// Null names the main program, whose base never changes: it is looked up once.
HMODULE resolve(HMODULE module) {
    static const HMODULE mainProgram = GetModuleHandleA(nullptr);
    return module ? module : mainProgram;
}

// An identifier from MAKEINTRESOURCE or "#123"; otherwise a name.
ResName nameFrom(LPCSTR text) {
    ResName name;
    if (IS_INTRESOURCE(text)) {
        name.id = static_cast<std::uint16_t>(reinterpret_cast<ULONG_PTR>(text));
        return name;
    }
    if (text[0] == '#' && text[1] != '\0') {
        char* end = nullptr;
        const unsigned long id = std::strtoul(text + 1, &end, 10);
        if (*end == '\0' && id <= 0xFFFF && text[1] >= '0' && text[1] <= '9') {
            name.id = static_cast<std::uint16_t>(id);
            return name;
        }
    }
    name.isId = false;
    name.text = text;
    return name;
}

bool matches(const ResName& wanted, const ResName& have) {
    if (wanted.isId != have.isId) {
        return false;
    }
    return wanted.isId ? wanted.id == have.id
                       : strcasecmp(wanted.text.c_str(), have.text.c_str()) == 0;
}

// The record behind a handle, if it belongs to the module's registered images. The handle
// is compared, never followed, before it is found.
const ResRecord* recordOf(HMODULE module, HRSRC handle, const ResourceImage** image) {
    auto it = registry().find(resolve(module));
    if (it == registry().end()) {
        return nullptr;
    }
    const auto* wanted = reinterpret_cast<const ResRecord*>(handle);
    for (const auto& candidate : it->second) {
        for (const ResRecord& record : candidate->records) {
            if (&record == wanted) {
                *image = candidate.get();
                return &record;
            }
        }
    }
    return nullptr;
}

// The record and image of a resource; the caller holds the lock.
const ResRecord* findRecord(HMODULE hModule, LPCSTR lpName, LPCSTR lpType,
                            const ResourceImage** found) {
    auto it = registry().find(resolve(hModule));
    if (it == registry().end()) {
        SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
        return nullptr;
    }
    const ResName type = nameFrom(lpType);
    const ResName name = nameFrom(lpName);
    bool typeSeen = false;
    for (const auto& image : it->second) {
        for (const ResRecord& record : image->records) {
            if (!matches(type, record.type)) {
                continue;
            }
            typeSeen = true;
            if (matches(name, record.name)) {
                *found = image.get();
                return &record;
            }
        }
    }
    SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
    return nullptr;
}

} // namespace

namespace korutil::detail {

bool readResource(HMODULE module, LPCSTR name, LPCSTR type,
                  const std::function<void(const unsigned char* data, DWORD size)>& read) {
    std::shared_lock<std::shared_mutex> hold(registryLock());
    const ResourceImage* image = nullptr;
    const ResRecord* record = findRecord(module, name, type, &image);
    if (!record) {
        return false;
    }
    read(image->bytes.data() + record->offset, record->size);
    return true;
}

} // namespace korutil::detail

extern "C" HRSRC WINAPI FindResourceA(HMODULE hModule, LPCSTR lpName, LPCSTR lpType) {
    return korutil::detail::failOnBadAlloc(HRSRC(nullptr), [&]() -> HRSRC {
        std::shared_lock<std::shared_mutex> hold(registryLock());
        const ResourceImage* image = nullptr;
        const ResRecord* record = findRecord(hModule, lpName, lpType, &image);
        return reinterpret_cast<HRSRC>(const_cast<ResRecord*>(record));
    });
}

extern "C" HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo) {
    return korutil::detail::failOnBadAlloc(HGLOBAL(nullptr), [&]() -> HGLOBAL {
        std::shared_lock<std::shared_mutex> hold(registryLock());
        const ResourceImage* image = nullptr;
        const ResRecord* record = recordOf(hModule, hResInfo, &image);
        if (!record) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        return const_cast<unsigned char*>(image->bytes.data() + record->offset);
    });
}

extern "C" LPVOID WINAPI LockResource(HGLOBAL hResData) {
    return hResData;
}

extern "C" DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo) {
    return korutil::detail::failOnBadAlloc(DWORD(0), [&]() -> DWORD {
        std::shared_lock<std::shared_mutex> hold(registryLock());
        const ResourceImage* image = nullptr;
        const ResRecord* record = recordOf(hModule, hResInfo, &image);
        if (!record) {
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
        }
        return record->size;
    });
}

extern "C" BOOL WINAPI FreeResource(HGLOBAL) {
    return FALSE;
}

extern "C" BOOL WINAPI PlatRegisterResources(HMODULE hModule, LPCVOID lpData, DWORD cbData) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        if (!lpData) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        auto image = std::make_unique<ResourceImage>();
        const auto* bytes = static_cast<const unsigned char*>(lpData);
        image->bytes.assign(bytes, bytes + cbData);
        if (!readResources(image->bytes.data(), image->bytes.size(), image->records)) {
            SetLastError(ERROR_INVALID_DATA);
            return FALSE;
        }
        const HMODULE module = resolve(hModule);
        std::unique_lock<std::shared_mutex> hold(registryLock());
        registry()[module].push_back(std::move(image));
        return TRUE;
    });
}

extern "C" BOOL WINAPI PlatUnregisterResources(HMODULE hModule) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        const HMODULE module = resolve(hModule);
        std::unique_lock<std::shared_mutex> hold(registryLock());
        if (registry().erase(module) == 0) {
            SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
            return FALSE;
        }
        return TRUE;
    });
}
