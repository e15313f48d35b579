#include "kernel/no_throw.h"

#include <korutil/platform/errors.h>
#include <korutil/platform/memory.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unordered_map>

namespace {

struct Block {
    void* data = nullptr;
    SIZE_T size = 0;
    bool moveable = false;
    unsigned locks = 0;
};

// Every block is known twice: by its handle and by its address. A fixed block's handle is
// its address; a moveable block's handle is the address of its record, which no data block
// can share.
struct GlobalTable {
    std::mutex lock;
    std::unordered_map<std::uintptr_t, Block*> byHandle;
    std::unordered_map<std::uintptr_t, Block*> byAddress;
    SIZE_T limit = 0;
};

GlobalTable& table() {
    static GlobalTable* instance = new GlobalTable; // outlives every static destructor
    return *instance;
}

std::uintptr_t key(const void* p) {
    return reinterpret_cast<std::uintptr_t>(p);
}

HGLOBAL handleOf(Block* block) {
    return block->moveable ? static_cast<HGLOBAL>(block) : block->data;
}

Block* find(GlobalTable& t, HGLOBAL handle) {
    auto it = t.byHandle.find(key(handle));
    return it == t.byHandle.end() ? nullptr : it->second;
}

// Runs use(table, block) under the table lock for the block behind a handle; an unknown
// handle gives `unknown` with ERROR_INVALID_HANDLE.
template <class Result, class Use> Result withBlock(HGLOBAL handle, Result unknown, Use use) {
    GlobalTable& t = table();
    std::lock_guard<std::mutex> guard(t.lock);
    Block* block = find(t, handle);
    if (!block) {
        SetLastError(ERROR_INVALID_HANDLE);
        return unknown;
    }
    return use(t, *block);
}

bool tooBig(const GlobalTable& t, SIZE_T bytes) {
    return t.limit != 0 && bytes > t.limit;
}

} // namespace

extern "C" HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    return korutil::detail::failOnBadAlloc(HGLOBAL(nullptr), [&]() -> HGLOBAL {
        GlobalTable& t = table();
        std::lock_guard<std::mutex> guard(t.lock);
        if (tooBig(t, dwBytes)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        auto* block = static_cast<Block*>(std::malloc(sizeof(Block)));
        // A zero-byte block still gets an address of its own, so that it can be found again.
        void* data = (uFlags & GMEM_ZEROINIT) ? std::calloc(dwBytes ? dwBytes : 1, 1)
                                              : std::malloc(dwBytes ? dwBytes : 1);
        if (!block || !data) {
            std::free(block);
            std::free(data);
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        new (block) Block{data, dwBytes, (uFlags & GMEM_MOVEABLE) != 0, 0};
        try {
            t.byAddress.emplace(key(data), block);
            t.byHandle.emplace(key(handleOf(block)), block);
        } catch (...) {
            t.byAddress.erase(key(data));
            std::free(data);
            std::free(block);
            throw;
        }
        return handleOf(block);
    });
}

extern "C" HGLOBAL WINAPI GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags) {
    return korutil::detail::failOnBadAlloc(HGLOBAL(nullptr), [&]() -> HGLOBAL {
        return withBlock(
            hMem, static_cast<HGLOBAL>(nullptr), [&](GlobalTable& t, Block& block) -> HGLOBAL {
                if (uFlags & GMEM_MODIFY) {
                    SetLastError(ERROR_NOT_SUPPORTED);
                    return nullptr;
                }
                if (tooBig(t, dwBytes)) {
                    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                    return nullptr;
                }
                // Without GMEM_MOVEABLE a fixed or locked block keeps its address, and growing it
                // in place is not something the C heap can promise.
                const bool mayMove =
                    (uFlags & GMEM_MOVEABLE) || (block.moveable && block.locks == 0);
                if (!mayMove && dwBytes > block.size) {
                    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                    return nullptr;
                }
                void* data = block.data;
                if (mayMove) {
                    data = std::realloc(block.data, dwBytes ? dwBytes : 1);
                    if (!data) {
                        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                        return nullptr;
                    }
                }
                if ((uFlags & GMEM_ZEROINIT) && dwBytes > block.size) {
                    std::memset(static_cast<char*>(data) + block.size, 0, dwBytes - block.size);
                }
                if (data != block.data) {
                    // Re-keying the existing entries allocates nothing, so the tables cannot fail
                    // here.
                    auto byAddress = t.byAddress.extract(key(block.data));
                    byAddress.key() = key(data);
                    t.byAddress.insert(std::move(byAddress));
                    if (!block.moveable) {
                        auto byHandle = t.byHandle.extract(key(block.data));
                        byHandle.key() = key(data);
                        t.byHandle.insert(std::move(byHandle));
                    }
                    block.data = data;
                }
                block.size = dwBytes;
                return handleOf(&block);
            });
    });
}

extern "C" LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
    return korutil::detail::failOnBadAlloc(LPVOID(nullptr), [&]() -> LPVOID {
        return withBlock(hMem, static_cast<LPVOID>(nullptr),
                         [&](GlobalTable&, Block& block) -> LPVOID {
                             if (block.moveable) {
                                 ++block.locks;
                             }
                             return block.data;
                         });
    });
}

extern "C" BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
    return korutil::detail::failOnBadAlloc(BOOL(FALSE), [&]() -> BOOL {
        return withBlock(hMem, BOOL(FALSE), [&](GlobalTable&, Block& block) -> BOOL {
            if (!block.moveable || block.locks == 0) {
                SetLastError(block.moveable ? ERROR_NOT_LOCKED : NO_ERROR);
                return FALSE;
            }
            if (--block.locks == 0) {
                SetLastError(NO_ERROR);
                return FALSE;
            }
            return TRUE;
        });
    });
}

extern "C" HGLOBAL WINAPI GlobalHandle(LPCVOID pMem) {
    return korutil::detail::failOnBadAlloc(HGLOBAL(nullptr), [&]() -> HGLOBAL {
        GlobalTable& t = table();
        std::lock_guard<std::mutex> guard(t.lock);
        auto it = pMem ? t.byAddress.find(key(pMem)) : t.byAddress.end();
        if (it == t.byAddress.end()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
        }
        return handleOf(it->second);
    });
}

extern "C" SIZE_T WINAPI GlobalSize(HGLOBAL hMem) {
    return korutil::detail::failOnBadAlloc(SIZE_T(0), [&]() -> SIZE_T {
        return withBlock(hMem, SIZE_T(0),
                         [&](GlobalTable&, Block& block) -> SIZE_T { return block.size; });
    });
}

extern "C" HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) {
    return korutil::detail::failOnBadAlloc(hMem, [&]() -> HGLOBAL {
        return withBlock(hMem, hMem, [&](GlobalTable& t, Block& block) -> HGLOBAL {
            t.byHandle.erase(key(hMem));
            t.byAddress.erase(key(block.data));
            std::free(block.data);
            block.~Block();
            std::free(&block);
            return nullptr;
        });
    });
}

extern "C" SIZE_T WINAPI PlatSetGlobalBlockLimit(SIZE_T dwBytes) {
    return korutil::detail::failOnBadAlloc(SIZE_T(0), [&]() -> SIZE_T {
        GlobalTable& t = table();
        std::lock_guard<std::mutex> guard(t.lock);
        const SIZE_T previous = t.limit;
        t.limit = dwBytes;
        return previous;
    });
}
